#pragma once
// Small text helpers shared by the disassemblers, the listing and the monitor.
#include <string>

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
