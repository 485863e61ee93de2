// Starting the program that follows a successful dial.
#pragma once

#include <string>

// Starts the command line without a shell and does not wait for it. Hidden: no terminal,
// standard streams on /dev/null, a session of its own. False when it cannot be started.
bool StartFollowUpProgram(const std::string& commandLine, bool hidden);
