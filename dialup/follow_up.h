// Starting the program that follows a successful dial.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Starts the command line and does not wait for it; false when it cannot be started. Here:
// without a shell; hidden means no terminal, standard streams on /dev/null, a session of its
// own. On Windows: CreateProcessA with the text as the whole command line; hidden is SW_HIDE.
bool StartFollowUpProgram(const std::string& commandLine, bool hidden);

// POSIX: the follow-up program's argument vector: the whole text when it is the path of an
// executable file (a path with blanks from the file chooser), else the words of
// SplitCommandLine. Nothing when there is no program to start.
std::optional<std::vector<std::string>> FollowUpArguments(const std::string& commandLine);
