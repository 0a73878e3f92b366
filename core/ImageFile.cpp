#include "core/ImageFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <ostream>
#include <system_error>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// digits hex digits of text from pos; false when any is missing or not hex.
bool ParseHex(std::string_view text, size_t pos, size_t digits, uint32_t& value) {
    if (pos > text.size() || text.size() - pos < digits) return false;
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int digit = HexValue(text[pos + i]);
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

void AppendHex(std::string& text, uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text.push_back(kDigits[value >> shift & 0xF]);
}

// The address kind of a record starting at address: 1 (16 bits), 2 (24), 3 (32).
int AddressKind(uint32_t address) {
    if (address < 0x10000) return 1;
    if (address > 0xFFFFFF) return 3;
    return 2;
}

std::string SystemReason() {
    const int error = errno;
    return error ? std::string(": ") + std::strerror(error) : std::string();
}

}  // namespace

void SImageReport::Reject(uint32_t line) {
    ++rejectedCount;
    if (rejectedLines.size() < kListedLines) rejectedLines.push_back(line);
}

CImageFile::~CImageFile() {
    Abandon();
}

bool CImageFile::Fail(std::string text) {
    m_report.error = std::move(text);
    return false;
}

bool CImageFile::OpenRead(const std::string& path, ByteSink sink) {
    if (!sink) return Fail("Reading " + path + " needs somewhere to put the bytes.");
    if (const std::string problem = NotARegularFile(path); !problem.empty())
        return Fail(path + " " + problem + ".");
    errno = 0;
    m_inFile.open(path, std::ios::in | std::ios::binary);
    if (!m_inFile.is_open()) return Fail("Could not open " + path + SystemReason() + ".");
    return AttachRead(m_inFile, std::move(sink));
}

bool CImageFile::AttachRead(std::istream& in, ByteSink sink) {
    if (!sink) return Fail("Reading an image needs somewhere to put the bytes.");
    m_in = &in;
    m_sink = std::move(sink);
    return true;
}

bool CImageFile::OpenWrite(const std::string& path) {
    std::string reason;
    if (!m_atomic.Open(path, &reason)) return Fail("Could not write " + path + ": " + reason + ".");
    m_path = path;
    m_outFile.clear();
    return AttachWrite(m_outFile);
}

bool CImageFile::AttachWrite(std::ostream& out) {
    m_out = &out;
    m_position = 0;
    m_records = 0;
    m_addressKind = 0;
    return true;
}

bool CImageFile::NextLine(size_t maxLength, bool& tooLong) {
    m_line.clear();
    tooLong = false;
    if (!m_in) return false;
    std::streambuf* buffer = m_in->rdbuf();
    if (!buffer) return false;
    using Traits = std::char_traits<char>;
    bool any = false;
    size_t length = 0;  // counts beyond what is kept
    for (;;) {
        const Traits::int_type c = buffer->sbumpc();
        if (Traits::eq_int_type(c, Traits::eof())) break;
        any = true;
        if (c == '\n') break;
        ++length;
        // One character more than the limit is kept so a CR just beyond it
        // can still be told from a long line.
        if (m_line.size() <= maxLength) m_line.push_back(Traits::to_char_type(c));
    }
    if (!any) return false;
    ++m_report.lines;
    if (!m_line.empty() && m_line.back() == '\r' && length == m_line.size()) {
        m_line.pop_back();
        --length;
    }
    if (length > maxLength) {
        tooLong = true;
        m_line.resize(std::min(m_line.size(), maxLength));
    }
    return true;
}

void CImageFile::Deliver(uint32_t address, uint8_t value) {
    m_sink(address, value);
    ++m_report.bytes;
}

void CImageFile::EmitLine() {
    if (m_out) m_out->write(m_line.data(), static_cast<std::streamsize>(m_line.size()));
}

bool CImageFile::Commit() {
    if (!m_out) return false;
    m_out->flush();
    const bool good = m_out->good();
    m_out = nullptr;
    if (!m_atomic.IsOpen()) return good || Fail("The image could not be written.");
    std::string reason = m_atomic.WriteError() ? std::strerror(m_atomic.WriteError())
                                               : "the image could not be written";
    if (!good) m_atomic.Abandon();
    if (!good || !m_atomic.Commit(&reason)) {
        return Fail("Could not write " + m_path + ": " + reason + "; the file was left as it was.");
    }
    return true;
}

void CImageFile::Abandon() {
    m_out = nullptr;
    m_atomic.Abandon();
}

// ---- S-records ----

bool CSRecordFile::Read() {
    if (!IsReading()) return false;
    m_records = 0;
    m_addressKind = 0;
    bool tooLong = false;
    while (NextLine(kMaxSRecordLine, tooLong)) {
        if (tooLong) {
            Reject();
        } else {
            ReadLine(m_line);
        }
    }
    return m_report.Clean();
}

void CSRecordFile::ReadLine(std::string_view line) {
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return Reject();
    const int type = line[1] - '0';
    if (type == 0 || type == 4 || type == 6) return;

    uint32_t count = 0;
    if (!ParseHex(line, 2, 2, count)) return Reject();

    if (type == 5) {
        // Only the 16-bit count is looked at; it counts the data records since
        // the start of the file.
        if (count != 3) return;
    } else if (type >= 7) {
        // 7 ends S3 data, 8 S2, 9 S1; a file without data takes any of them.
        const int kind = 10 - type;
        if (m_addressKind != 0 && m_addressKind != kind) return Reject();
        if (count != static_cast<uint32_t>(12 - type)) return;
    }

    // Every record is checked whole before a byte of it is used.
    if (line.size() != 2 * count + 4) return Reject();
    // S1-S3: 2-4 address bytes; S5: the 2-byte count; S7-S9: 4-2 entry bytes.
    const uint32_t addressBytes = type <= 3 ? type + 1 : type == 5 ? 2 : 11 - type;
    if (count < addressBytes + 1) return Reject();
    if (type <= 3) ++m_records;

    uint8_t bytes[kMaxSRecordLine / 2];
    const size_t total = count + 1;  // the count byte, the rest, the checksum
    if (total > sizeof bytes) return Reject();
    uint32_t sum = 0;
    for (size_t i = 0; i < total; ++i) {
        uint32_t value = 0;
        if (!ParseHex(line, 2 + 2 * i, 2, value)) return Reject();
        bytes[i] = static_cast<uint8_t>(value);
        sum += value;
    }
    if ((sum & 0xFF) != 0xFF) return Reject();

    uint32_t address = 0;
    for (uint32_t i = 1; i <= addressBytes; ++i)
        address = address << 8 | bytes[i];

    if (type <= 3) {
        for (size_t i = 1 + addressBytes; i + 1 < total; ++i) {
            Deliver(address, bytes[i]);
            if (address == 0xFFFFFFFF) {
                m_report.beyondEnd += total - 2 - i;
                break;
            }
            ++address;
        }
        m_addressKind = type;
    } else if (type == 5) {
        if (address != m_records) Reject();
    } else {
        m_report.entry = address;
    }
}

int CSRecordFile::EndRecordTypeFor(uint32_t lastAddress) {
    return 10 - AddressKind(lastAddress);
}

void CSRecordFile::WriteHeader(std::string_view text) {
    if (!IsWriting() || m_position != 0) return;
    text = text.substr(0, kMaxHeader);
    const uint32_t count = static_cast<uint32_t>(text.size()) + 3;  // address, checksum
    uint32_t sum = count;
    m_line = "S0";
    AppendHex(m_line, count, 2);
    m_line += "0000";
    for (const char c : text) {
        AppendHex(m_line, static_cast<uint8_t>(c), 2);
        sum += static_cast<uint8_t>(c);
    }
    AppendHex(m_line, ~sum & 0xFF, 2);
    m_line.push_back('\n');
    EmitLine();
}

void CSRecordFile::WriteByte(uint32_t address, uint8_t value) {
    if (!IsWriting()) return;
    const int kind = AddressKind(address);
    if (m_position != 0 && (address != m_nextAddress || kind != m_addressKind)) EndRecord();
    if (m_position == 0) {
        m_line.clear();
        m_sum = (address & 0xFF) + (address >> 8 & 0xFF);
        m_line = kind == 1 ? "S1  " : kind == 2 ? "S2  " : "S3  ";
        if (kind == 1) {
            AppendHex(m_line, address, 4);
        } else if (kind == 2) {
            m_sum += address >> 16 & 0xFF;
            AppendHex(m_line, address, 6);
        } else {
            m_sum += (address >> 16 & 0xFF) + (address >> 24);
            AppendHex(m_line, address, 8);
        }
        m_position = static_cast<int>(m_line.size());
        m_addressKind = kind;
    }
    AppendHex(m_line, value, 2);
    m_position += 2;
    m_sum += value;
    m_nextAddress = address + 1;
    ++m_report.bytes;
    if (m_position == kFullPosition) {
        m_line[2] = '2';
        m_line[3] = '4';
        m_sum += 0x24;
        AppendHex(m_line, ~m_sum & 0xFF, 2);
        m_line.push_back('\n');
        EmitLine();
        ++m_records;
        m_position = 0;
    }
}

void CSRecordFile::EndRecord() {
    if (m_position == 0) return;
    const uint32_t count = static_cast<uint32_t>(m_position - 2) / 2;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    m_line[2] = kDigits[count >> 4 & 0xF];
    m_line[3] = kDigits[count & 0xF];
    m_sum += count;
    AppendHex(m_line, ~m_sum & 0xFF, 2);
    m_line.push_back('\n');
    EmitLine();
    ++m_records;
    m_position = 0;
}

void CSRecordFile::Flush() {
    if (!IsWriting()) return;
    EndRecord();
    if (m_records >= 1 && m_records <= 0xFFFF) {
        m_line = "S503";
        AppendHex(m_line, m_records, 4);
        AppendHex(m_line, ~((m_records & 0xFF) + (m_records >> 8) + 3) & 0xFF, 2);
        m_line.push_back('\n');
        EmitLine();
    }
    m_records = 0;
}

bool CSRecordFile::Close(uint32_t entry) {
    if (!IsWriting()) return false;
    Flush();
    const int addressBytes = m_addressKind == 1 ? 2 : m_addressKind == 2 ? 3 : 4;
    const uint32_t count = static_cast<uint32_t>(addressBytes) + 1;
    m_line = m_addressKind == 1 ? "S903" : m_addressKind == 2 ? "S804" : "S705";
    uint32_t sum = count;
    for (int i = 0; i < addressBytes; ++i)
        sum += entry >> (8 * i) & 0xFF;
    AppendHex(m_line, entry, 2 * addressBytes);
    AppendHex(m_line, ~sum & 0xFF, 2);
    m_line.push_back('\n');
    EmitLine();
    return Commit();
}

// ---- hex dump ----

bool CHexDumpFile::Read(uint32_t offset) {
    if (!IsReading()) return false;
    bool tooLong = false;
    while (NextLine(kMaxHexDumpLine, tooLong)) {
        if (tooLong) {
            Reject();
        } else {
            ReadLine(m_line, offset);
        }
    }
    return m_report.Clean();
}

void CHexDumpFile::ReadLine(std::string_view line, uint32_t offset) {
    uint32_t count = 0;
    uint32_t address = 0;
    if (line.empty() || line[0] != '-' || !ParseHex(line, 2, 2, count) ||
        line.size() != 3 * count + 9 || !ParseHex(line, 5, 4, address))
        return Reject();
    uint8_t bytes[(kMaxHexDumpLine - 9) / 3];
    if (count > sizeof bytes) return Reject();
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t value = 0;
        if (!ParseHex(line, 10 + 3 * k, 2, value)) return Reject();
        bytes[k] = static_cast<uint8_t>(value);
    }
    for (uint32_t k = 0; k < count; ++k) {
        const uint64_t at = uint64_t{address} + offset + k;
        if (at > 0xFFFFFFFF) {
            m_report.beyondEnd += count - k;
            break;
        }
        Deliver(static_cast<uint32_t>(at), bytes[k]);
    }
}

void CHexDumpFile::WriteByte(uint32_t address, uint8_t value) {
    if (!IsWriting()) return;
    if (m_position != 0 && address != m_nextAddress) Flush();
    if (m_position == 0) {
        m_line = "-    ";
        AppendHex(m_line, address & 0xFFFF, 4);
        m_position = static_cast<int>(m_line.size());
    }
    m_line.push_back(' ');
    AppendHex(m_line, value, 2);
    m_position += 3;
    m_nextAddress = address + 1;
    ++m_report.bytes;
    if (m_position == kFullPosition) {
        m_line[2] = '1';
        m_line[3] = '0';
        m_line += "\r\n";
        EmitLine();
        m_position = 0;
    }
}

void CHexDumpFile::Flush() {
    if (!IsWriting() || m_position == 0) return;
    const uint32_t count = static_cast<uint32_t>(m_position - 9) / 3;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    m_line[2] = kDigits[count >> 4 & 0xF];
    m_line[3] = kDigits[count & 0xF];
    m_line += "\r\n";
    EmitLine();
    m_position = 0;
}

bool CHexDumpFile::Close() {
    if (!IsWriting()) return false;
    Flush();
    return Commit();
}
