// What the tests need of the system around them, said once for every system: a folder of their
// own, environment variables that a death test's child inherits, a command that leaves a mark.
#pragma once

#include <string>

// A new, empty folder under the system's temporary folder, its name starting with prefix; empty
// when none could be made. The caller removes it.
std::string MakeTempDir(const std::string& prefix);

// Changes this process's environment; programs it starts afterwards (a death test's child
// among them) see the change.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Writes text to standard error in one call, past the C library's buffers: lines of several
// threads do not mix, and nothing is lost when the process ends at once.
void WriteToStandardError(const std::string& text);

// The system's words, as the program passes them on, for a path whose folder does not exist.
std::string NoSuchFolderText();

// This process's id: test programs run side by side, and names they share must differ.
int ProcessId();

// A command line that the follow-up start can run to create the empty file at path.
std::string TouchCommand(const std::string& path);
