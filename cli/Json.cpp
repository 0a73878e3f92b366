#include "cli/Json.h"

#include <cstdio>

std::string CJsonWriter::Quote(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': quoted += "\\\""; break;
            case '\\': quoted += "\\\\"; break;
            case '\n': quoted += "\\n"; break;
            case '\r': quoted += "\\r"; break;
            case '\t': quoted += "\\t"; break;
            default:
                if (byte < 0x20 || byte >= 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04X", byte);
                    quoted += escape;
                } else {
                    quoted += c;
                }
        }
    }
    quoted += '"';
    return quoted;
}

void CJsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_empty.empty()) {
        if (!m_empty.back()) m_text += ',';
        m_empty.back() = false;
    }
}

CJsonWriter& CJsonWriter::BeginObject() {
    BeforeValue();
    m_text += '{';
    m_empty.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndObject() {
    m_text += '}';
    m_empty.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray() {
    BeforeValue();
    m_text += '[';
    m_empty.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndArray() {
    m_text += ']';
    m_empty.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::Key(std::string_view key) {
    BeforeValue();
    m_text += Quote(key);
    m_text += ':';
    m_afterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view text) {
    BeforeValue();
    m_text += Quote(text);
    return *this;
}

CJsonWriter& CJsonWriter::Number(int64_t value) {
    BeforeValue();
    m_text += std::to_string(value);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value) {
    BeforeValue();
    m_text += value ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Null() {
    BeforeValue();
    m_text += "null";
    return *this;
}
