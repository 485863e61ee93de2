// Why something failed, for whoever looks into it afterwards. On Linux the lines go to standard
// error. A Windows GUI program has none: there they also go to a log file in the user's local
// application data (Talvenmark\Quillmere\Quillmere.log, 1 MB at most, the full one kept as
// Quillmere.log.1) and to the debugger's output.
#pragma once

#include <string>
#include <string_view>

// One line, given without its newline. Any thread may call it.
void Diagnose(std::string_view line);
// The same line from a printf format, which says without its newline.
void DiagnoseFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What every system prints for a line: the one place that shapes the text on its way out. Every
// control character in it is shown as an escape (PrintableText), so it is one line, and the
// newline is added.
std::string DiagnosticText(std::string_view line);
