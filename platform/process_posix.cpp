#include "platform/process.h"

#include "platform/win_thread.h"

#include <cstdio>
#include <unistd.h>

void ExitProcess(int code) {
    // A worker that has ended (the dial, just before the follow-up program) is joined: it has
    // at most its last instructions left, and no thread ends the process unjoined.
    ReapFinishedThreads();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(code);
}
