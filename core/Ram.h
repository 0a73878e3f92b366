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
    uint32_t Read(uint32_t address, uint32_t size) override;
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool force) override;

    // Replaces the buffer with one of bytes bytes, zero-filled. Sizes above
    // kMaxSize are refused: false, with the reason in error, and the old
    // buffer kept.
    bool SetSize(uint32_t bytes, std::string* error = nullptr);
    uint32_t GetSize() const { return m_size; }
    void SetWritable(bool writable) { m_writable = writable; }
    bool IsWritable() const { return m_writable; }
    // The contents, for the workspace file and the tests; size bytes.
    const uint8_t* Data() const { return m_buffer.get(); }

private:
    std::unique_ptr<uint8_t[]> m_buffer;
    uint32_t m_size = 0;
    Relaxed<bool> m_writable{true};
};
