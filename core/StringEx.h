#pragma once
// Small text helpers shared by every layer: formatting, hex numbers, case.
#include <cstdint>
#include <string>
#include <string_view>

// Formats the values printf-style, appends them to text and returns the number
// of characters appended.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
int AppendFormat(std::string& text, const char* format, ...);

// printf-style formatting into a new string.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
FormatText(const char* format, ...);

// The value of a hex digit, or -1.
int HexDigitValue(char c);

// The standard base-16 string-to-unsigned conversion of a 32-bit unsigned
// long: blanks, an optional sign and "0x" are skipped; reading stops at the
// first character that is not a hex digit; too large a value gives
// 0xFFFFFFFF; a minus sign negates. *consumed (when given) is the number of
// characters read, 0 when there was no number (which reads as 0).
uint32_t ParseHexNumber(std::string_view text, size_t* consumed = nullptr);
// The same on a terminated text; *end is where reading stopped, or text
// itself when there was no number.
uint32_t ParseHexNumber(const char* text, const char** end);

// The whole of text as one hex number of at most eight significant digits,
// with an optional "0x" or "$" in front; false for anything else.
bool ParseHexExact(std::string_view text, uint32_t& value);

// "%X" of value.
std::string HexString(uint32_t value);

// ASCII letters in upper case, everything else as it is.
inline char UpperCase(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string UpperCase(std::string_view text);

// A name read from a file, fit for a one-line message: control characters
// (and DEL) as \xNN, and cut after maxLength characters of the name with "...".
inline constexpr size_t kPrintableNameLength = 64;
std::string PrintableText(std::string_view text, size_t maxLength = kPrintableNameLength);
