// Text from outside (a device's name, a service's error, a setting) on its way to a terminal, a
// log or a trace: no control character may reach a terminal, and a record stays one line.
#pragma once

#include <string>
#include <string_view>

// text with every control character written as a visible escape: tab, line feed and carriage
// return as "\t", "\n", "\r", the other C0 controls and DEL as "\x1b", the C1 controls and the
// line and paragraph separators as "\u0085", "\u2028", and a byte that is no part of UTF-8 as
// "\x9b" (a terminal may take a lone C1 byte as a control). Everything else stays as it is,
// backslashes included: the text is for reading, not for parsing back.
std::string PrintableText(std::string_view text);
