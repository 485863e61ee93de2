// The program's arguments on Windows, in UTF-8: the system's command line split as the C
// runtime splits it, with argv[0] the executable's real path (its name names the settings).
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ProgramArguments();

// Pointers into args for interfaces that take argc/argv; valid while args lives.
std::vector<const char*> ArgvOf(const std::vector<std::string>& args);
