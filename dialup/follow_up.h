// Starting the program that follows a successful dial.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Starts the command line and does not wait for it; false when it cannot be started. Here:
// without a shell; hidden means no terminal, standard streams on /dev/null, a session of its
// own. On Windows: CreateProcessA with the text as the whole command line; hidden is SW_HIDE.
bool StartFollowUpProgram(const std::string& commandLine, bool hidden);

// The command line that starts the file picked in the file chooser. Here: the path quoted as a
// shell word where it needs it (blanks, quotes); on Windows the path as it is, which the start
// passes quoted when it names a file as a whole.
std::string CommandLineForFile(const std::string& path);
// The other way: the file a command line starts, for the file chooser to begin with.
std::string FileOfCommandLine(const std::string& commandLine);

// POSIX: the follow-up program's argument vector, the words of SplitCommandLine. Nothing when
// there is no program to start.
std::optional<std::vector<std::string>> FollowUpArguments(const std::string& commandLine);
