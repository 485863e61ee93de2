// Starting a program by an argument vector, never through a shell.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct SpawnOptions {
    bool searchPath = true;  // a program name without "/" is looked up in PATH
    bool newSession = false; // its own session: no controlling terminal, no signals from ours
    bool nullStdin = false;
    bool nullStdio = false;      // stdin, stdout and stderr all on /dev/null
    bool stdoutToStderr = false; // what it prints is diagnostics, not our output
};

struct SpawnResult {
    pid_t pid = -1; // the child, when started
    int error = 0;  // errno of the failed start
};

// The child starts with an empty signal mask and default dispositions, and inherits no
// descriptor beyond the standard three. Nothing waits for it: that is the caller's business.
SpawnResult SpawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options);
