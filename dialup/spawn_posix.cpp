#include "dialup/spawn.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>

extern char** environ;

namespace {
// posix_spawn's attribute and action objects, released on every path.
struct SpawnAttr {
    posix_spawnattr_t attr;
    SpawnAttr() { posix_spawnattr_init(&attr); }
    ~SpawnAttr() { posix_spawnattr_destroy(&attr); }
};
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};
} // namespace

SpawnResult SpawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options) {
    if (argv.empty() || argv[0].empty())
        return {-1, ENOENT};
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    SpawnAttr attr;
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.newSession || options.nullStdio)
        flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attr.attr, flags);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr.attr, &none);
    // A signal our own process ignores (SIGPIPE, say) must not stay ignored in the child.
    posix_spawnattr_setsigdefault(&attr.attr, &all);

    SpawnActions files;
    if (options.nullStdin || options.nullStdio)
        posix_spawn_file_actions_addopen(&files.actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.stdoutToStderr && !options.nullStdio)
        posix_spawn_file_actions_adddup2(&files.actions, 2, 1);
    if (options.nullStdio) {
        posix_spawn_file_actions_addopen(&files.actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files.actions, 2, "/dev/null", O_WRONLY, 0);
    }
    // The serial port, eventfds and sockets stay ours, even one opened without O_CLOEXEC.
    posix_spawn_file_actions_addclosefrom_np(&files.actions, 3);

    pid_t pid = -1;
    const int rc =
        options.searchPath
            ? posix_spawnp(&pid, args[0], &files.actions, &attr.attr, args.data(), environ)
            : posix_spawn(&pid, args[0], &files.actions, &attr.attr, args.data(), environ);
    if (rc != 0)
        return {-1, rc};
    return {pid, 0};
}
