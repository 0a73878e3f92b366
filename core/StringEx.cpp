#include "core/StringEx.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

static int AppendFormatV(std::string& text, const char* format, va_list args) {
    char small[128];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length <= 0) return 0;
    if (static_cast<size_t>(length) < sizeof small) {
        text.append(small, static_cast<size_t>(length));
    } else {
        const size_t old = text.size();
        text.resize(old + static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data() + old, static_cast<size_t>(length) + 1, format, args);
        text.resize(old + static_cast<size_t>(length));
    }
    return length;
}

int AppendFormat(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int appended = AppendFormatV(text, format, args);
    va_end(args);
    return appended;
}

std::string FormatText(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    AppendFormatV(text, format, args);
    va_end(args);
    return text;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

uint32_t ParseHexNumber(std::string_view text, size_t* consumed) {
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        HexDigitValue(text[i + 2]) >= 0)
        i += 2;
    const size_t first = i;
    uint64_t value = 0;
    bool overflow = false;
    for (int digit; i < text.size() && (digit = HexDigitValue(text[i])) >= 0; ++i) {
        value = value << 4 | static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFF) {
            overflow = true;
            value = 0xFFFFFFFF;
        }
    }
    if (i == first) {
        if (consumed) *consumed = 0;
        return 0;
    }
    if (consumed) *consumed = i;
    if (overflow) return 0xFFFFFFFF;
    const auto result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

uint32_t ParseHexNumber(const char* text, const char** end) {
    size_t consumed = 0;
    const uint32_t value = ParseHexNumber(std::string_view(text, std::strlen(text)), &consumed);
    if (end) *end = text + consumed;
    return value;
}

bool ParseHexExact(std::string_view text, uint32_t& value) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    } else if (text.starts_with("$")) {
        text.remove_prefix(1);
    }
    // Leading zeros do not count towards the eight digits.
    while (text.size() > 1 && text.front() == '0')
        text.remove_prefix(1);
    if (text.empty() || text.size() > 8) return false;
    uint32_t result = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return false;
        result = result << 4 | static_cast<uint32_t>(digit);
    }
    value = result;
    return true;
}

std::string HexString(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = UpperCase(c);
    return upper;
}

std::string PrintableText(std::string_view text, size_t maxLength) {
    std::string shown;
    const size_t kept = std::min(text.size(), maxLength);
    for (size_t i = 0; i < kept; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            AppendFormat(shown, "\\x%02X", c);
        else
            shown.push_back(static_cast<char>(c));
    }
    if (kept < text.size()) shown += "...";
    return shown;
}
