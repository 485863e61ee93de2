// Every blocking wait of the POSIX port sits in ppoll(). A test that must act while such a wait
// is under way (cancel it, hang the line up) waits until the waiting thread is in there.
#pragma once

#include "tests/support/text.h"
#include "tests/support/wait_until.h"

#include <string>
#include <sys/syscall.h>
#include <sys/types.h>

// Whether thread tid of this process entered ppoll() within ten seconds.
inline bool WaitUntilInPpoll(pid_t tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    const std::string ppoll = std::to_string(SYS_ppoll) + " ";
    return WaitUntil([&] { return ReadText(path).rfind(ppoll, 0) == 0; });
}
