#include "platform/diagnostics.h"

#include <cstdarg>
#include <cstdio>

void DiagnoseFormat(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string line(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(line.data(), line.size() + 1, format, again);
    va_end(again);
    Diagnose(line);
}

std::string DiagnosticText(std::string_view line) {
    std::string text(line);
    text += '\n';
    return text;
}
