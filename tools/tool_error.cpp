// tool_error.cpp - see tool_error.h.
#include "tool_error.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

void tool_fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::vector<char> text(length > 0 ? (size_t)length + 1 : 1, '\0');
    if (length > 0) vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    throw ToolError(text.data());
}
