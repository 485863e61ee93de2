#include "dialup/follow_up.h"

#include "dialup/child_reaper.h"
#include "dialup/command_line.h"
#include "dialup/spawn.h"
#include "platform/diagnostics.h"

#include <cstring>

std::optional<std::vector<std::string>> FollowUpArguments(const std::string& commandLine) {
    // No file name or argument can hold a NUL (the settings file can: "\x00"); cut there, the
    // text would start something other than it says.
    if (commandLine.find('\0') != std::string::npos)
        return std::nullopt;
    // The first word is the program, as a shell reads it; the whole text is never tried as a
    // path: in a folder others can write to, a file named "tool.sh hello" would run instead.
    auto words = SplitCommandLine(commandLine);
    if (!words || words->empty() || (*words)[0].empty())
        return std::nullopt;
    return words;
}

std::string CommandLineForFile(const std::string& path) {
    if (!path.empty() &&
        path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789/._-+,:@%") == std::string::npos)
        return path;
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string FileOfCommandLine(const std::string& commandLine) {
    const auto words = FollowUpArguments(commandLine);
    return words ? words->front() : commandLine;
}

bool StartFollowUpProgram(const std::string& commandLine, bool hidden) {
    const auto argv = FollowUpArguments(commandLine);
    if (!argv) {
        DiagnoseFormat("Quillmere: no program in the command line '%s'", commandLine.c_str());
        return false;
    }
    SpawnOptions options;
    options.searchPath = true;
    options.nullStdio = hidden;
    const SpawnResult started = SpawnProcess(*argv, options);
    if (started.pid < 0) {
        DiagnoseFormat("Quillmere: cannot start '%s': %s", (*argv)[0].c_str(),
                       std::strerror(started.error));
        return false;
    }
    ReapInBackground(started.pid);
    return true;
}
