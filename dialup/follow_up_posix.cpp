#include "dialup/follow_up.h"

#include "dialup/child_reaper.h"
#include "dialup/command_line.h"
#include "dialup/spawn.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::optional<std::vector<std::string>> FollowUpArguments(const std::string& commandLine) {
    // No file name or argument can hold a NUL (the settings file can: "\x00"); cut there, the
    // text would start something other than it says.
    if (commandLine.find('\0') != std::string::npos)
        return std::nullopt;
    // Only a text with "/" names a file as it is; a bare name goes through the PATH search like
    // any other first word, so a file of that name in the current folder is not preferred.
    struct stat st {};
    if (commandLine.find('/') != std::string::npos && ::stat(commandLine.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode) && ::access(commandLine.c_str(), X_OK) == 0)
        return std::vector<std::string>{commandLine};
    auto words = SplitCommandLine(commandLine);
    if (!words || words->empty() || (*words)[0].empty())
        return std::nullopt;
    return words;
}

bool StartFollowUpProgram(const std::string& commandLine, bool hidden) {
    const auto argv = FollowUpArguments(commandLine);
    if (!argv) {
        std::fprintf(stderr, "Quillmere: no program in the command line '%s'\n",
                     commandLine.c_str());
        return false;
    }
    SpawnOptions options;
    options.searchPath = true;
    options.nullStdio = hidden;
    const SpawnResult started = SpawnProcess(*argv, options);
    if (started.pid < 0) {
        std::fprintf(stderr, "Quillmere: cannot start '%s': %s\n", (*argv)[0].c_str(),
                     std::strerror(started.error));
        return false;
    }
    ReapInBackground(started.pid);
    return true;
}
