// Collecting the exit of children nobody waits for, so that none stays a zombie. Each child is
// waited for by its own pid: a waitpid(-1) or an ignored SIGCHLD would steal the exit status of
// a pppd that a dial is waiting for.
#pragma once

#include <sys/types.h>

// Hands the child to the reaper thread, which waits for it without blocking anyone.
void ReapInBackground(pid_t pid);
// Children handed over and not yet reaped; for tests.
int ChildrenAwaitingReap();
