// Turning the follow-up command line into an argument vector without a shell.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Splits the text into words as a POSIX shell would, and does nothing else a shell does:
// blanks, tabs and line feeds separate words; single quotes keep everything up to the next one;
// double quotes keep everything, a backslash in them escaping only $ ` " \ and a line feed;
// outside quotes a backslash keeps the next character. Nothing is expanded: $VAR, $(...), `...`,
// ~ and * stay as written, and ; | & < > are ordinary characters. Nothing when a quote is
// left open.
std::optional<std::vector<std::string>> SplitCommandLine(std::string_view text);
