// Text at the Windows boundary. The program keeps its text in UTF-8; the system's W functions
// take UTF-16, its A functions the ANSI code page (Windows-1252 on a German system).
#pragma once

#include <string>
#include <string_view>

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
// Characters the code page lacks become '?', as the system's own conversion makes them.
std::string AnsiFromUtf8(std::string_view text);
std::string Utf8FromAnsi(std::string_view text);
// FormatMessage's words for a system error code, with the number, for debug output.
std::string SystemErrorText(unsigned long error);
