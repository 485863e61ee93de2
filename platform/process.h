// Ending the process.
#pragma once

// Ends the whole process at once from any thread, as the system's ExitProcess does: no
// destructors, no waiting for other threads. Standard streams are flushed first.
[[noreturn]] void ExitProcess(int code);
