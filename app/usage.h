// What `Quillmere --help` and `Quillmere --version` print. Only the whole command line counts, as
// with "/d": anything else, "--help foo" included, starts the dialog as it always did.
#pragma once

#include <string>

enum class InfoRequest { None, Help, Version };

InfoRequest InfoRequestOf(const std::string& commandLine);

// The usage, in German as all the program says; programName as the program was started, the
// settings file as the program would read it.
std::string UsageText(const std::string& programName, const std::string& settingsFile);
// "Quillmere 1.0.0.1" and the copyright, from the version resource.
std::string VersionText();
