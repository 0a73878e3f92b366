#include "core/Archive.h"

#include <cstring>

CArchive::CArchive() : m_storing(true) {}

CArchive::CArchive(std::span<const uint8_t> data) : m_storing(false), m_in(data) {}

void CArchive::WriteU16(uint16_t value) {
    m_out.push_back(static_cast<uint8_t>(value));
    m_out.push_back(static_cast<uint8_t>(value >> 8));
}

void CArchive::WriteU32(uint32_t value) {
    WriteU16(static_cast<uint16_t>(value));
    WriteU16(static_cast<uint16_t>(value >> 16));
}

// Length < 255: one byte; < 0xFFFE: 0xFF and a u16; otherwise 0xFF, 0xFFFF, u32.
void CArchive::WriteString(const std::string& text) {
    const size_t length = text.size();
    if (length < 0xFF) {
        m_out.push_back(static_cast<uint8_t>(length));
    } else if (length < 0xFFFE) {
        m_out.push_back(0xFF);
        WriteU16(static_cast<uint16_t>(length));
    } else {
        m_out.push_back(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(length));
    }
    WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), length);
}

void CArchive::WriteBytes(const uint8_t* data, size_t count) {
    if (count) m_out.insert(m_out.end(), data, data + count);
}

bool CArchive::Take(size_t count) {
    if (m_failed) return false;
    if (m_storing || Remaining() < count) {
        Fail("the file ends early");
        return false;
    }
    return true;
}

uint16_t CArchive::ReadU16() {
    if (!Take(2)) return 0;
    uint16_t value = static_cast<uint16_t>(m_in[m_pos] | m_in[m_pos + 1] << 8);
    m_pos += 2;
    return value;
}

uint32_t CArchive::ReadU32() {
    if (!Take(4)) return 0;
    uint32_t low = ReadU16();
    uint32_t high = ReadU16();
    return low | high << 16;
}

std::string CArchive::ReadString() {
    bool wide = false;
    if (!Take(1)) return {};
    uint32_t length = m_in[m_pos++];
    if (length == 0xFF) {
        length = ReadU16();
        if (length == 0xFFFE) {  // marker: 2-byte characters, the real prefix follows
            wide = true;
            if (!Take(1)) return {};
            length = m_in[m_pos++];
            if (length == 0xFF) length = ReadU16();
        }
        if (length == 0xFFFF) length = ReadU32();
    }
    const size_t bytes = wide ? size_t{length} * 2 : size_t{length};
    if (!Take(bytes)) return {};
    std::string text;
    text.reserve(length);
    for (uint32_t i = 0; i < length; ++i) {
        if (wide) {
            const unsigned code = m_in[m_pos + 2 * i] | m_in[m_pos + 2 * i + 1] << 8;
            text.push_back(code < 0x100 ? static_cast<char>(code) : '?');
        } else {
            text.push_back(static_cast<char>(m_in[m_pos + i]));
        }
    }
    m_pos += bytes;
    return text;
}

bool CArchive::ReadBytes(uint8_t* data, size_t count) {
    if (!Take(count)) {
        if (count) std::memset(data, 0, count);
        return false;
    }
    if (count) std::memcpy(data, m_in.data() + m_pos, count);
    m_pos += count;
    return true;
}

void CArchive::Fail(std::string reason) {
    if (m_failed) return;
    m_failed = true;
    m_error = std::move(reason);
}
