#include "dialup/follow_up.h"

#include "dialup/child_reaper.h"
#include "dialup/command_line.h"
#include "dialup/spawn.h"

#include <cstdio>
#include <cstring>

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
