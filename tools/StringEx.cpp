#include "tools/StringEx.h"

#include <cstdarg>
#include <cstdio>

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
