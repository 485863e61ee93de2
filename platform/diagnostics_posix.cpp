#include "platform/diagnostics.h"

#include <cstdio>

// Standard error is unbuffered: the line leaves in one write, whole even if threads write at
// once or the process ends right after.
void Diagnose(std::string_view line) {
    const std::string text = DiagnosticText(line);
    std::fwrite(text.data(), 1, text.size(), stderr);
}
