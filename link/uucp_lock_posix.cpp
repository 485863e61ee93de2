#include "link/uucp_lock_posix.h"

#include "link/port_ownership_posix.h"
#include "platform/regular_file_posix.h"
#include "platform/unique_fd_posix.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// HDB lock files hold the pid as text, which some programs indent with tabs or follow with
// their name; very old ones hold it as a binary int.
std::optional<pid_t> ParseLockPid(const std::string& text) {
    if (text.size() == sizeof(std::int32_t) && text.find('\0') != std::string::npos) {
        std::int32_t binary = 0;
        std::memcpy(&binary, text.data(), sizeof binary);
        return binary > 0 ? std::optional<pid_t>(binary) : std::nullopt;
    }
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    long long pid = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 10) {
        pid = pid * 10 + (text[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0 || (i < text.size() && text[i] >= '0' && text[i] <= '9'))
        return std::nullopt;
    return pid > 0 && pid <= INT_MAX ? std::optional<pid_t>(static_cast<pid_t>(pid)) : std::nullopt;
}

std::optional<pid_t> ReadHolder(int fd) {
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    return n > 0 ? ParseLockPid(std::string(buf, static_cast<std::size_t>(n))) : std::nullopt;
}

// The lock folder is writable by all: a FIFO put under a lock file's name would hold a plain
// read (on the UI thread, in the start-up probe) until someone writes to it.
std::optional<pid_t> LockHolder(const std::string& lockPath) {
    const RegularFile file = OpenRegularFile(lockPath, O_RDONLY);
    return file.fd ? ReadHolder(file.fd.Get()) : std::nullopt;
}

// A lock file without a pid may be one another program has created but not yet written.
constexpr std::chrono::seconds kUnwrittenLockGrace{5};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

UucpLock::UucpLock(UucpLock&& other) noexcept : m_path(std::exchange(other.m_path, {})) {}

UucpLock::~UucpLock() {
    Release();
}

UucpLock::Attempt UucpLock::Acquire(const std::string& dir, const std::string& fileName,
                                    const std::function<void()>& beforeTakeOver) {
    const std::string path = dir + "/" + fileName;
    const pid_t self = ::getpid();
    // Written under a private name and linked into place, so that nobody ever reads a
    // lock file that is still empty.
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        dir + "/LTMP." + std::to_string(self) + "." + std::to_string(counter++);
    const std::string aside =
        dir + "/LSTALE." + std::to_string(self) + "." + std::to_string(counter++);
    const std::string text = UucpLockText(self);

    for (int round = 0; round < 3; ++round) {
        UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!fd)
            return {}; // no lock folder, or one we may not write: tolerated
        const bool written =
            ::write(fd.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
        fd.Reset();
        const int linked = written ? ::link(temp.c_str(), path.c_str()) : -1;
        const int linkErr = errno;
        ::unlink(temp.c_str());
        if (linked == 0) {
            m_path = path;
            return {State::Taken, 0, {}};
        }
        if (!written || linkErr != EEXIST)
            return {};

        // Kept open until the take-over is done, so that its inode cannot be reused by a
        // new lock file meanwhile. Anything but a regular file is nobody's lock and no stale
        // one either: someone put it there, and the port stays theirs.
        struct stat judged {};
        std::optional<pid_t> holder;
        const RegularFile lockFile = OpenRegularFile(path, O_RDONLY);
        if (!lockFile.notAFile.empty())
            return {State::Busy, 0, lockFile.notAFile};
        if (lockFile.fd) {
            if (::fstat(lockFile.fd.Get(), &judged) != 0)
                return {};
            holder = ReadHolder(lockFile.fd.Get());
        } else if (::lstat(path.c_str(), &judged) != 0) { // unreadable: judged by its age
            if (errno == ENOENT)
                continue;
            return {};
        }
        if (holder && ProcessAlive(*holder))
            return {State::Busy, *holder, {}};
        const auto age = std::chrono::system_clock::now() -
                         std::chrono::system_clock::from_time_t(judged.st_mtime);
        if (!holder && age < kUnwrittenLockGrace)
            return {State::Busy, 0, {}};

        // Stale. Moved aside first and only then checked to be the file judged: unlinking
        // by name could remove the lock another program has just put in its place.
        if (beforeTakeOver)
            beforeTakeOver();
        if (::rename(path.c_str(), aside.c_str()) != 0) {
            if (errno == ENOENT)
                continue;
            return {};
        }
        struct stat moved {};
        const bool same = ::lstat(aside.c_str(), &moved) == 0 && SameFile(moved, judged);
        if (same) {
            ::unlink(aside.c_str());
            continue;
        }
        // Someone else's fresh lock: put back (unless yet another has come meanwhile).
        const auto newHolder = LockHolder(aside);
        ::link(aside.c_str(), path.c_str());
        ::unlink(aside.c_str());
        return {State::Busy, newHolder.value_or(0), {}};
    }
    return {State::Busy, 0, {}}; // someone keeps taking it as fast as we free it
}

void UucpLock::Release() {
    if (m_path.empty())
        return;
    if (LockHolder(m_path) == ::getpid())
        ::unlink(m_path.c_str());
    m_path.clear();
}

std::string UucpLockFileName(const std::string& resolvedDevice) {
    const auto slash = resolvedDevice.find_last_of('/');
    return "LCK.." +
           (slash == std::string::npos ? resolvedDevice : resolvedDevice.substr(slash + 1));
}

std::vector<std::string> UucpLockFileNames(const std::string& resolvedDevice) {
    std::vector<std::string> names{UucpLockFileName(resolvedDevice)};
    const std::string dev = "/dev/";
    if (resolvedDevice.starts_with(dev)) {
        std::string flat = "LCK.." + resolvedDevice.substr(dev.size());
        std::replace(flat.begin(), flat.end(), '/', '_');
        if (flat != names.front())
            names.push_back(flat);
    }
    return names;
}

std::string UucpLockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}
