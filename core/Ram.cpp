#include "core/Ram.h"

#include <new>
#include <vector>

#include "core/Archive.h"
#include "core/Devices.h"

// Bytes are relaxed atomics (CDevices::LoadByte): the run thread reaches
// plain memory directly while other threads come here under the bus lock.
uint32_t CRam::Read(uint32_t address, uint32_t size) {
    const uint64_t offset = uint64_t{address} - GetFrom();
    if (!m_buffer || size < 1 || size > 4 || offset + size > m_size) return kNothing;
    return CDevices::LoadLittle(m_buffer.get() + offset, size);
}

uint32_t CRam::Write(uint32_t address, uint32_t value, uint32_t size, bool force) {
    const uint64_t offset = uint64_t{address} - GetFrom();
    if (!m_buffer || (!m_writable && !force) || size < 1 || size > 4 || offset + size > m_size)
        return kNothing;
    CDevices::StoreLittle(m_buffer.get() + offset, value, size);
    return kNothing;
}

void CRam::InstallBuffer(std::unique_ptr<uint8_t[]>& buffer, uint32_t bytes) {
    ChangeStructure([&] {
        m_buffer.swap(buffer);
        m_size = bytes;
    });
}

bool CRam::SetSize(uint32_t bytes, std::string* error) {
    if (bytes > kMaxSize) {
        if (error) *error = "A memory device can hold at most 16 MiB (0x1000000 bytes).";
        return false;
    }
    std::unique_ptr<uint8_t[]> buffer(bytes ? new (std::nothrow) uint8_t[bytes]() : nullptr);
    if (bytes && !buffer) {
        if (error) *error = "Not enough memory for the memory device.";
        return false;
    }
    // The old buffer is freed here, once no thread can reach it any more.
    InstallBuffer(buffer, bytes);
    return true;
}

void CRam::SetWritable(bool writable) {
    ChangeStructure([&] { m_writable = writable; });
}

void CRam::SerializeSettings(CArchive& ar) {
    CDevice::SerializeSettings(ar);
    bool writable = m_writable;
    ar.Transfer(writable);
    if (ar.IsLoading() && !ar.Failed()) SetWritable(writable);
}

// The CDevice record, then the size and exactly size bytes. A loaded memory
// device is writable.
void CRam::Serialize(CArchive& ar) {
    CDevice::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteU32(m_size);
        std::vector<uint8_t> bytes(m_size);
        for (uint32_t i = 0; i < m_size; ++i)
            bytes[i] = CDevices::LoadByte(m_buffer.get() + i);
        ar.WriteBytes(bytes.data(), bytes.size());
        return;
    }
    const uint32_t size = ar.ReadU32();
    if (ar.Failed()) return;
    if (size > ar.Remaining()) {
        ar.Fail("a memory device is larger than the rest of the file");
        return;
    }
    if (size > kMaxSize) {
        ar.Fail("A memory device can hold at most 16 MiB (0x1000000 bytes).");
        return;
    }
    // Filled before it is installed, so no other thread ever sees it half read.
    std::unique_ptr<uint8_t[]> buffer(size ? new (std::nothrow) uint8_t[size]() : nullptr);
    if (size && !buffer) {
        ar.Fail("Not enough memory for the memory device.");
        return;
    }
    ar.ReadBytes(buffer.get(), size);
    InstallBuffer(buffer, size);
    SetWritable(true);
}
