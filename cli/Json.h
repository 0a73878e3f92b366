#pragma once
// A small writer of well-formed JSON text: commas and nesting are tracked,
// strings escaped. Text bytes from 0x80 up are taken as Latin-1 characters
// (names in workspace files are one byte a character), so the output is
// always valid UTF-8.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CJsonWriter {
public:
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    CJsonWriter& Key(std::string_view key);
    CJsonWriter& String(std::string_view text);
    CJsonWriter& Number(int64_t value);
    CJsonWriter& Bool(bool value);
    CJsonWriter& Null();

    const std::string& Text() const { return m_text; }

    // text as a JSON string literal, quotes included.
    static std::string Quote(std::string_view text);

private:
    void BeforeValue();

    std::string m_text;
    // One entry per open object or array: true until its first member.
    std::vector<bool> m_empty;
    bool m_afterKey = false;
};
