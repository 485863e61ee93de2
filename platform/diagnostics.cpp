#include "platform/diagnostics.h"

#include "platform/printable_text.h"

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

// Diagnostics carry outside text (a service's error, a device's name): as given it could move
// the cursor, fake a line of its own or talk to the terminal.
std::string DiagnosticText(std::string_view line) {
    return PrintableText(line) + '\n';
}
