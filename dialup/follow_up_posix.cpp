#include "dialup/follow_up.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

// Minimal start: the whole text as one program; replaced by the argument splitting below.
bool StartFollowUpProgram(const std::string& commandLine, bool hidden) {
    std::vector<char*> argv{const_cast<char*>(commandLine.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (hidden)
        for (int fd = 0; fd <= 2; ++fd)
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}
