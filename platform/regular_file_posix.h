// Opening a path in a folder others may write to (the lock folder, /tmp): anyone may have put
// something under the name first. A FIFO would hold the open until someone writes to it, a
// device acts on being opened, and a link would have us read or write what it points to. So
// only a regular file is opened, never through a link, and the open never waits.
#pragma once

#include "platform/unique_fd_posix.h"

#include <string>
#include <sys/types.h>

struct RegularFile {
    UniqueFd fd;          // open when the path is a regular file
    int error = 0;        // otherwise the open's errno, when it failed
    std::string notAFile; // or what stands there instead, as stat(1) names it: "fifo", ...
};

// flags: the access and creation flags; O_NOFOLLOW, O_NONBLOCK, O_NOCTTY and O_CLOEXEC are
// added (O_NONBLOCK means nothing for a regular file).
RegularFile OpenRegularFile(const std::string& path, int flags, mode_t mode = 0644);
