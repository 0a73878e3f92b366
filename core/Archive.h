#pragma once
// The byte stream of the workspace file: little-endian integers, length-prefixed
// strings and raw bytes. Every record is written by one Serialize that both
// stores and loads through the Transfer calls. Loading never reads past the
// data: a short read marks the archive failed, yields zeros, and every later
// read yields zeros too, so a Serialize may run to its end and the caller
// checks Failed() once.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "core/Relaxed.h"

class CArchive {
public:
    // An archive that stores into an in-memory buffer.
    CArchive();
    // An archive that loads from data; the data must outlive the archive.
    explicit CArchive(std::span<const uint8_t> data);

    bool IsStoring() const { return m_storing; }
    bool IsLoading() const { return !m_storing; }

    // Storing.
    void WriteU16(uint16_t value);
    void WriteU32(uint32_t value);
    void WriteString(const std::string& text);
    void WriteBytes(const uint8_t* data, size_t count);
    const std::vector<uint8_t>& Data() const { return m_out; }

    // Loading.
    uint16_t ReadU16();
    uint32_t ReadU32();
    std::string ReadString();
    // Reads count bytes into data; fails (and fills zeros) when fewer remain.
    bool ReadBytes(uint8_t* data, size_t count);
    size_t Remaining() const { return m_in.size() - m_pos; }
    size_t Position() const { return m_storing ? m_out.size() : m_pos; }

    // Either direction: every integer field is 4 bytes in the file.
    template <class T>
    void Transfer(T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            if (m_storing)
                WriteU32(value ? 1u : 0u);
            else
                value = ReadU32() != 0;
        } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
            if (m_storing)
                WriteU32(static_cast<uint32_t>(value));
            else
                value = static_cast<T>(ReadU32());
        } else {
            static_assert(sizeof(T) == 0, "Transfer takes integers, enums and bool");
        }
    }
    template <class T>
    void Transfer(Relaxed<T>& value) {
        T plain = value.Load();
        Transfer(plain);
        if (!m_storing) value.Store(plain);
    }
    void Transfer(std::string& text) {
        if (m_storing)
            WriteString(text);
        else
            text = ReadString();
    }

    // Failure while loading: the first reason is kept.
    void Fail(std::string reason);
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_error; }

private:
    bool Take(size_t count);

    bool m_storing;
    std::vector<uint8_t> m_out;
    std::span<const uint8_t> m_in;
    size_t m_pos = 0;
    bool m_failed = false;
    std::string m_error;
};
