#include "platform/process.h"

#include "platform/win_thread.h"

#include <cstdio>

#include "platform/windows_api.h"

void ExitProcess(int code) {
    ReapFinishedThreads();
    std::fflush(stdout);
    std::fflush(stderr);
    ::ExitProcess(static_cast<WinUINT>(code));
}
