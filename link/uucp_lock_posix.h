// The UUCP lock file that pppd and the terminal programs honour: "LCK..<name>" in the lock
// folder, holding the owner's pid as HDB text.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// The lock file of one port, removed again when this object goes.
class UucpLock {
public:
    enum class State { Taken, Busy, NotTaken };
    struct Attempt {
        State state = State::NotTaken;
        pid_t holder = 0; // Busy: the holder, when the lock file names a live one
        // Busy: what stands under the lock file's name instead of a file ("fifo"), if so.
        std::string notAFile;
    };

    UucpLock() = default;
    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&&) = delete;
    ~UucpLock();

    // Takes dir/fileName, or tells who holds it. NotTaken when the folder cannot be written.
    // beforeTakeOver runs once a lock has been judged stale, before it is taken over.
    Attempt Acquire(const std::string& dir, const std::string& fileName,
                    const std::function<void()>& beforeTakeOver);

private:
    void Release();

    std::string m_path;
};

// "LCK..ttyUSB0" for /dev/ttyUSB0: the last component of the resolved path.
std::string UucpLockFileName(const std::string& resolvedDevice);

// Every name other programs lock the device by: "LCK..7" as pppd names /dev/pts/7 and
// "LCK..pts_7" as minicom does; one name where both agree, as for /dev/ttyUSB0.
std::vector<std::string> UucpLockFileNames(const std::string& resolvedDevice);

// The HDB lock file text: the pid right-aligned in ten characters and a line feed.
std::string UucpLockText(pid_t pid);
