#pragma once
// CRam: a byte array on the bus, RAM or (writes refused) ROM.
// Offset = mapped address - From; values are little-endian, the byte at the
// offset least significant. An access that would run past the buffer reads
// 0xFFFFFFFF and stores nothing.
#include <cstdint>
#include <memory>
#include <string>

#include "core/Device.h"

class CRam : public CDevice {
public:
    static constexpr const char* kClassName = "CRam";
    // No core addresses more than 24 bits.
    static constexpr uint32_t kMaxSize = 16u << 20;

    const char* GetClassName() const override { return kClassName; }
    void Serialize(CArchive& ar) override;
    void SerializeSettings(CArchive& ar) override;
    uint32_t Read(uint32_t address, uint32_t size) override;
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool force) override;

    // Replaces the buffer with one of bytes bytes, zero-filled. Sizes above
    // kMaxSize are refused: false, with the reason in error, and the old
    // buffer kept.
    // On a bus both hold the workspace's run thread between passes
    // (CDevices::ChangeStructure); call them without the bus lock.
    bool SetSize(uint32_t bytes, std::string* error = nullptr);
    uint32_t GetSize() const { return m_size; }
    void SetWritable(bool writable);
    bool IsWritable() const { return m_writable; }
    // The contents, size bytes, for the tests. Plain reads of it are only
    // for a workspace where nothing runs: the run thread writes memory
    // without the bus lock, so everything else goes through the bus (or
    // reads bytes as CDevices::LoadByte does).
    const uint8_t* Data() const { return m_buffer.get(); }

private:
    friend class CDevices;  // the page map points into the buffer

    // Swaps in a new buffer of bytes bytes; the old one comes back in buffer.
    void InstallBuffer(std::unique_ptr<uint8_t[]>& buffer, uint32_t bytes);

    std::unique_ptr<uint8_t[]> m_buffer;
    uint32_t m_size = 0;
    Relaxed<bool> m_writable{true};
};
