#include "core/Ram.h"

#include <mutex>
#include <new>

#include "core/Archive.h"
#include "core/Devices.h"

uint32_t CRam::Read(uint32_t address, uint32_t size) {
    const uint64_t offset = uint64_t{address} - GetFrom();
    if (!m_buffer || size < 1 || size > 4 || offset + size > m_size) return kNothing;
    const uint8_t* p = m_buffer.get() + offset;
    uint32_t value = 0;
    for (uint32_t i = size; i-- > 0;)
        value = value << 8 | p[i];
    return value;
}

uint32_t CRam::Write(uint32_t address, uint32_t value, uint32_t size, bool force) {
    const uint64_t offset = uint64_t{address} - GetFrom();
    if (!m_buffer || (!m_writable && !force) || size < 1 || size > 4 || offset + size > m_size)
        return kNothing;
    uint8_t* p = m_buffer.get() + offset;
    for (uint32_t i = 0; i < size; ++i, value >>= 8)
        p[i] = static_cast<uint8_t>(value);
    return kNothing;
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
    if (CDevices* bus = GetOwner()) {
        std::lock_guard guard(bus->Lock());
        m_buffer.swap(buffer);
        m_size = bytes;
    } else {
        m_buffer.swap(buffer);
        m_size = bytes;
    }
    return true;
}

// The CDevice record, then the size and exactly size bytes. A loaded memory
// device is writable.
void CRam::Serialize(CArchive& ar) {
    CDevice::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteU32(m_size);
        ar.WriteBytes(m_buffer.get(), m_size);
        return;
    }
    const uint32_t size = ar.ReadU32();
    if (ar.Failed()) return;
    if (size > ar.Remaining()) {
        ar.Fail("a memory device is larger than the rest of the file");
        return;
    }
    std::string error;
    if (!SetSize(size, &error)) {
        ar.Fail(error);
        return;
    }
    ar.ReadBytes(m_buffer.get(), size);
    m_writable = true;
}
