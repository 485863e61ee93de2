// pidfd calls made directly: the C library's own header lacks C++ linkage in some versions.
#pragma once

#include <csignal>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

inline int PidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

inline int PidfdSendSignal(int pidfd, int sig) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0));
}
