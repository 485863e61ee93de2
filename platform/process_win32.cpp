#include "platform/process.h"

#include <cstdio>

#include "platform/windows_api.h"

void ExitProcess(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    ::ExitProcess(static_cast<UINT>(code));
}
