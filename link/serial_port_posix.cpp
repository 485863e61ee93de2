#include "link/serial_port_posix.h"
#include "link/system_serial_port.h"

#include "link/termios_settings.h"
#include "platform/cancel_token.h"
#include "platform/unique_fd_posix.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// How often the modem lines and the output queue are looked at while waiting.
constexpr Milliseconds kLinePollInterval{5};

std::string ErrnoText(int err) {
    return std::strerror(err);
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::string> ResolvePath(const std::string& path) {
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf))
        return std::nullopt;
    return std::string(buf);
}

bool ProcessAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

std::string ProcessName(pid_t pid) {
    auto comm = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm");
    if (!comm)
        return {};
    while (!comm->empty() && (comm->back() == '\n' || comm->back() == '\r'))
        comm->pop_back();
    return *comm;
}

std::string DescribeProcess(pid_t pid) {
    std::string text = "process " + std::to_string(pid);
    const std::string name = ProcessName(pid);
    if (!name.empty())
        text += " (" + name + ")";
    return text;
}

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

std::optional<pid_t> LockHolder(const std::string& lockPath) {
    const auto text = ReadSmallFile(lockPath);
    return text ? ParseLockPid(*text) : std::nullopt;
}

// A lock file without a pid may be one another program has created but not yet written.
constexpr std::chrono::seconds kUnwrittenLockGrace{5};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The UUCP lock file of one port, removed again when this object goes.
class UucpLock {
public:
    enum class State { Taken, Busy, NotTaken };
    struct Attempt {
        State state = State::NotTaken;
        pid_t holder = 0;
    };

    UucpLock() = default;
    UucpLock(UucpLock&& other) noexcept : m_path(std::exchange(other.m_path, {})) {}
    UucpLock& operator=(UucpLock&&) = delete;
    ~UucpLock() { Release(); }

    // beforeTakeOver runs once a lock has been judged stale, before it is taken over.
    Attempt Acquire(const std::string& dir, const std::string& fileName,
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
                return {State::Taken};
            }
            if (!written || linkErr != EEXIST)
                return {};

            // Kept open until the take-over is done, so that its inode cannot be reused by a
            // new lock file meanwhile.
            struct stat judged {};
            std::optional<pid_t> holder;
            UniqueFd lockFd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (lockFd) {
                if (::fstat(lockFd.Get(), &judged) != 0)
                    return {};
                char buf[64];
                const ssize_t n = ::read(lockFd.Get(), buf, sizeof buf);
                if (n > 0)
                    holder = ParseLockPid(std::string(buf, static_cast<std::size_t>(n)));
            } else if (::lstat(path.c_str(), &judged) != 0) { // unreadable: judged by its age
                if (errno == ENOENT)
                    continue;
                return {};
            }
            if (holder && ProcessAlive(*holder))
                return {State::Busy, *holder};
            const auto age = std::chrono::system_clock::now() -
                             std::chrono::system_clock::from_time_t(judged.st_mtime);
            if (!holder && age < kUnwrittenLockGrace)
                return {State::Busy};

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
            return {State::Busy, newHolder.value_or(0)};
        }
        return {State::Busy}; // someone keeps taking it as fast as we free it
    }

private:
    void Release() {
        if (m_path.empty())
            return;
        if (LockHolder(m_path) == ::getpid())
            ::unlink(m_path.c_str());
        m_path.clear();
    }

    std::string m_path;
};

// A process that has the device open, as far as /proc shows us: some programs take no lock
// at all, and another user's processes stay hidden unless we are root. Only targets in /dev
// are looked at: stat() on a file of a hung network mount would hang with it.
std::optional<pid_t> OtherProcessWithDeviceOpen(dev_t rdev) {
    namespace fs = std::filesystem;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (fs::directory_iterator proc("/proc", ec), end; !ec && proc != end; proc.increment(ec)) {
        const std::string pid = proc->path().filename().string();
        if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdEc;
        for (fs::directory_iterator fd(proc->path() / "fd", fdEc); !fdEc && fd != end;
             fd.increment(fdEc)) {
            std::error_code linkEc;
            const fs::path target = fs::read_symlink(fd->path(), linkEc);
            struct stat st {};
            if (!linkEc && target.string().starts_with("/dev/") &&
                ::stat(target.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev)
                return static_cast<pid_t>(std::stol(pid));
        }
    }
    return std::nullopt;
}

std::string DeviceGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    std::vector<char> buf(16384);
    group grp{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &grp, buf.data(), buf.size(), &found) != 0 || !found)
        return std::to_string(st.st_gid);
    return found->gr_name;
}

class PosixSerialPort : public ISerialPort {
public:
    PosixSerialPort(UniqueFd fd, std::vector<UucpLock> locks, std::shared_ptr<CancelToken> cancel,
                    const PosixPortEnvironment& env)
        : m_locks(std::move(locks)), m_fd(std::move(fd)), m_cancel(std::move(cancel)), m_env(env) {}
    ~PosixSerialPort() override {
        ::ioctl(m_fd.Get(), TIOCNXCL);
        ::flock(m_fd.Get(), LOCK_UN);
    }

    bool SetLine(const LineSettings& line) override;
    bool ReadCts(bool& on) override;
    bool WaitForCts(bool on, Timeout timeout) override;
    bool Write(std::span<const std::uint8_t> data, std::size_t& written, Timeout timeout) override;
    bool Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) override;
    bool Purge() override;
    std::string LastError() const override { return m_lastError; }

private:
    enum class Wake { Ready, TimedOut, Cancelled, Failed };

    // Waits for events on fd (or only for the time when fd < 0), the cancel, or the deadline.
    Wake Wait(int fd, short events, std::optional<SteadyClock::time_point> deadline,
              short& revents);
    Wake Pause(SteadyClock::duration interval, std::optional<SteadyClock::time_point> deadline);
    bool Cancelled() const { return m_cancel && m_cancel->IsCancelled(); }

    bool Fail(const char* operation, int err) {
        m_lastError = std::string(operation) + ": " + ErrnoText(err);
        return false;
    }
    bool Fail(const char* operation, const std::string& text) {
        m_lastError = std::string(operation) + ": " + text;
        return false;
    }

    std::vector<UucpLock> m_locks; // declared first: removed only after the descriptor is closed
    UniqueFd m_fd;
    std::shared_ptr<CancelToken> m_cancel;
    PosixPortEnvironment m_env;
    std::uint32_t m_baud = 0; // as last set; paces the wait for the output queue
    std::string m_lastError;
};

} // namespace

namespace {

std::optional<SteadyClock::time_point> DeadlineAfter(Timeout timeout) {
    if (!timeout)
        return std::nullopt;
    return SteadyClock::now() + *timeout;
}

// ppoll() takes the time left exactly: a drain wait of a fraction of a millisecond must not
// turn into a whole one, 64 times per link-test cycle.
std::optional<timespec> PollTimeout(std::optional<SteadyClock::time_point> deadline) {
    if (!deadline)
        return std::nullopt;
    auto left = *deadline - SteadyClock::now();
    if (left < SteadyClock::duration::zero())
        left = SteadyClock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

bool Passed(std::optional<SteadyClock::time_point> deadline) {
    return deadline && SteadyClock::now() >= *deadline;
}

std::optional<SteadyClock::time_point> Earlier(std::optional<SteadyClock::time_point> a,
                                               std::optional<SteadyClock::time_point> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

} // namespace

PosixSerialPort::Wake PosixSerialPort::Wait(int fd, short events,
                                            std::optional<SteadyClock::time_point> deadline,
                                            short& revents) {
    revents = 0;
    for (;;) {
        if (Cancelled())
            return Wake::Cancelled;
        pollfd fds[2] = {{fd, events, 0}, {m_cancel ? m_cancel->Fd() : -1, POLLIN, 0}};
        const std::optional<timespec> timeout = PollTimeout(deadline);
        const int n = ::ppoll(fds, 2, timeout ? &*timeout : nullptr, nullptr);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Wake::Failed;
        }
        if (fds[1].revents != 0)
            return Wake::Cancelled;
        if (n == 0) {
            if (Passed(deadline))
                return Wake::TimedOut;
            continue; // woke a hair early
        }
        revents = fds[0].revents;
        return Wake::Ready;
    }
}

PosixSerialPort::Wake PosixSerialPort::Pause(SteadyClock::duration interval,
                                             std::optional<SteadyClock::time_point> deadline) {
    short revents = 0;
    const Wake wake = Wait(-1, 0, Earlier(SteadyClock::now() + interval, deadline), revents);
    if (wake == Wake::TimedOut && !Passed(deadline))
        return Wake::Ready;
    return wake;
}

bool PosixSerialPort::SetLine(const LineSettings& line) {
    termios wanted{};
    if (::tcgetattr(m_fd.Get(), &wanted) != 0)
        return Fail("SetLine", errno);
    if (!ApplyLineToTermios(line, wanted))
        return Fail("SetLine",
                    "line settings not supported (" + std::to_string(line.baudRate) + " baud)");
    int rc;
    while ((rc = ::tcsetattr(m_fd.Get(), TCSANOW, &wanted)) != 0 && errno == EINTR) {
    }
    if (rc != 0)
        return Fail("SetLine", errno);

    // tcsetattr() succeeds when any of the changes was taken; a driver that cannot do the
    // speed keeps its old one without complaint.
    termios now{};
    if (::tcgetattr(m_fd.Get(), &now) != 0)
        return Fail("SetLine", errno);
    if (::cfgetospeed(&now) != ::cfgetospeed(&wanted) ||
        (::cfgetispeed(&now) != ::cfgetispeed(&wanted) && ::cfgetispeed(&now) != B0)) {
        const auto had = BaudFromSpeed(::cfgetospeed(&now));
        return Fail("SetLine", "the port did not take " + std::to_string(line.baudRate) +
                                   " baud (it runs at " +
                                   (had ? std::to_string(*had) : std::string("?")) + ")");
    }

    m_baud = line.baudRate;
    // A device without modem lines answers ENOTTY or EINVAL: it has none to switch.
    int off = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(m_fd.Get(), TIOCMBIC, &off) != 0 && errno != ENOTTY && errno != EINVAL)
        return Fail("SetLine", errno);
    return true;
}

bool PosixSerialPort::ReadCts(bool& on) {
    on = false;
    int lines = 0;
    if (const int err = m_env.readModemLines(m_fd.Get(), lines))
        return Fail("ReadCts", err);
    on = (lines & TIOCM_CTS) != 0;
    return true;
}

bool PosixSerialPort::WaitForCts(bool on, Timeout timeout) {
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return Fail("WaitForCts", "cancelled");
    for (;;) {
        int lines = 0;
        if (const int err = m_env.readModemLines(m_fd.Get(), lines))
            return Fail("WaitForCts", err);
        if (((lines & TIOCM_CTS) != 0) == on)
            return true;
        switch (Pause(kLinePollInterval, deadline)) {
        case Wake::Ready:
            break;
        case Wake::TimedOut:
            return Fail("WaitForCts", "timed out");
        case Wake::Cancelled:
            return Fail("WaitForCts", "cancelled");
        case Wake::Failed:
            return Fail("WaitForCts", errno);
        }
    }
}

bool PosixSerialPort::Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) {
    got = 0;
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return Fail("Read", "cancelled");
    for (;;) {
        while (got < buffer.size()) {
            const ssize_t n = ::read(m_fd.Get(), buffer.data() + got, buffer.size() - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return Fail("Read", errno);
            break; // nothing more for now (a raw tty with VMIN 0 says so with 0)
        }
        if (got == buffer.size() || Passed(deadline))
            return true;

        short revents = 0;
        switch (Wait(m_fd.Get(), POLLIN, deadline, revents)) {
        case Wake::Ready:
            break;
        case Wake::TimedOut:
            continue; // one last look, then the deadline ends it
        case Wake::Cancelled:
            return Fail("Read", "cancelled");
        case Wake::Failed:
            return Fail("Read", errno);
        }
        if (revents & POLLNVAL)
            return Fail("Read", EBADF);
        if (revents & (POLLHUP | POLLERR))
            return Fail("Read", "the device hung up");
    }
}

bool PosixSerialPort::Write(std::span<const std::uint8_t> data, std::size_t& written,
                            Timeout timeout) {
    written = 0;
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return Fail("Write", "cancelled");
    while (written < data.size()) {
        const ssize_t n = ::write(m_fd.Get(), data.data() + written, data.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return Fail("Write", errno);
        short revents = 0;
        switch (Wait(m_fd.Get(), POLLOUT, deadline, revents)) {
        case Wake::Ready:
            break;
        case Wake::TimedOut:
            return true; // the write time-out: a short count, no failure
        case Wake::Cancelled:
            return Fail("Write", "cancelled");
        case Wake::Failed:
            return Fail("Write", errno);
        }
        if (revents & POLLNVAL)
            return Fail("Write", EBADF);
        if (revents & (POLLHUP | POLLERR))
            return Fail("Write", "the device hung up");
    }

    // Handed to the driver is not yet sent: wait for the queue to empty, so that a read that
    // follows sees the echo.
    for (;;) {
        int queued = 0;
        if (const int err = m_env.readOutputQueue(m_fd.Get(), queued))
            return Fail("Write", err);
        if (queued <= 0)
            return true;
        // Look again about when the queued bytes should be out: a fixed interval would add up
        // to more than the line time over a link-test cycle of 64 short writes.
        const auto lineTime =
            std::chrono::microseconds(m_baud ? std::uint64_t(queued) * 10'000'000 / m_baud
                                             : kLinePollInterval.count() * 1000);
        const auto interval = std::clamp<SteadyClock::duration>(
            lineTime, std::chrono::microseconds(100), kLinePollInterval);
        switch (Pause(interval, deadline)) {
        case Wake::Ready:
            break;
        case Wake::TimedOut:
            return true;
        case Wake::Cancelled:
            return Fail("Write", "cancelled");
        case Wake::Failed:
            return Fail("Write", errno);
        }
    }
}

bool PosixSerialPort::Purge() {
    if (::tcflush(m_fd.Get(), TCIOFLUSH) != 0)
        return Fail("Purge", errno);
    return true;
}

PosixPortEnvironment DefaultPosixPortEnvironment() {
    PosixPortEnvironment env;
    const char* lockDir = std::getenv("QUILLMERE_LOCK_DIR");
    env.lockDir = lockDir && *lockDir ? lockDir : "/var/lock";
    env.readModemLines = [](int fd, int& lines) {
        return ::ioctl(fd, TIOCMGET, &lines) == 0 ? 0 : errno;
    };
    env.readOutputQueue = [](int fd, int& queued) {
        return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? 0 : errno;
    };
    return env;
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

namespace {

// "4:64", as sysfs gives a tty's device number.
std::optional<dev_t> SysfsDeviceNumber(const std::string& path) {
    const auto text = ReadSmallFile(path);
    unsigned major = 0;
    unsigned minor = 0;
    if (!text || std::sscanf(text->c_str(), "%u:%u", &major, &minor) != 2)
        return std::nullopt;
    return makedev(major, minor);
}

// The kernel's fixed numbers for ttys that are the console, whoever is logged in on them.
bool IsConsoleNumber(dev_t rdev) {
    const unsigned maj = major(rdev);
    const unsigned min = minor(rdev);
    if (maj == 5 && (min == 0 || min == 1)) // /dev/tty, /dev/console
        return true;
    return maj == 4 && min < 64; // virtual consoles
}

} // namespace

bool IsConsole(const std::string& resolvedDevice, const struct stat& device,
               const PosixPortEnvironment& env) {
    if (S_ISCHR(device.st_mode) && IsConsoleNumber(device.st_rdev))
        return true;
    std::vector<std::string> names{"console"};
    const auto firstToken = [](const std::string& text) {
        std::istringstream in(text);
        std::string token;
        in >> token;
        return token;
    };
    if (const auto active = ReadSmallFile(env.sysTtyDir + "/console/active")) {
        std::istringstream in(*active);
        for (std::string token; in >> token;) {
            names.push_back(token);
            // tty0 is "whichever virtual terminal is in front".
            if (token == "tty0")
                if (const auto vt = ReadSmallFile(env.sysTtyDir + "/tty0/active"))
                    if (const std::string name = firstToken(*vt); !name.empty())
                        names.push_back(name);
        }
    }

    for (const auto& name : names) {
        const std::string node = env.devDir + "/" + name;
        if (ResolvePath(node) == resolvedDevice)
            return true;
        if (!S_ISCHR(device.st_mode))
            continue;
        // Another node for the same device is the same device; sysfs knows its number even
        // where /dev has no node for it.
        struct stat console {};
        if (::stat(node.c_str(), &console) == 0 && S_ISCHR(console.st_mode) &&
            console.st_rdev == device.st_rdev)
            return true;
        if (SysfsDeviceNumber(env.sysTtyDir + "/" + name + "/dev") == device.st_rdev)
            return true;
    }
    return false;
}

OpenResult OpenPosixSerialPort(const std::string& device, std::shared_ptr<CancelToken> cancel,
                               const PosixPortEnvironment& env) {
    const auto refuse = [&](const std::string& why) {
        return OpenResult{nullptr, device + ": " + why};
    };
    if (device.empty())
        return {nullptr, "no device given"};

    const auto resolved = ResolvePath(device);
    if (!resolved) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return refuse("absent (" + ErrnoText(err) + ")");
        return refuse(ErrnoText(err));
    }
    // Everything that can be told from the outside is checked before open(): opening a serial
    // port already raises DTR, and a FIFO or a terminal might have its own ideas.
    struct stat before {};
    if (::stat(resolved->c_str(), &before) != 0)
        return refuse(ErrnoText(errno));
    if (IsConsole(*resolved, before, env))
        return refuse("the system console; never opened");
    if (!S_ISCHR(before.st_mode))
        return refuse("not a serial port (not a character device)");
    if (major(before.st_rdev) == 5 && minor(before.st_rdev) == 2)
        return refuse("not a serial port (the pseudo-terminal multiplexer)");

    const auto busyBy = [&](std::optional<pid_t> holder) {
        if (holder == ::getpid())
            return refuse("busy: already open in this program");
        if (holder && ProcessAlive(*holder))
            return refuse("busy: in use by " + DescribeProcess(*holder));
        return refuse("busy: in use by another program");
    };

    // The UUCP lock comes first, as other programs take it: a port someone holds is not even
    // opened, so neither its lines nor its exclusive flag are touched.
    std::vector<UucpLock> locks;
    for (const std::string& lockName : UucpLockFileNames(*resolved)) {
        const auto attempt =
            locks.emplace_back().Acquire(env.lockDir, lockName, env.beforeStaleLockTakeOver);
        if (attempt.state == UucpLock::State::Busy)
            return busyBy(attempt.holder ? std::optional<pid_t>(attempt.holder) : std::nullopt);
    }

    UniqueFd fd(::open(resolved->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        const int err = errno;
        switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return refuse("absent (" + ErrnoText(err) + ")");
        case EACCES:
        case EPERM: {
            const std::string group = DeviceGroup(*resolved);
            return refuse("not permitted (" + ErrnoText(err) + ")" +
                          (group.empty() ? "" : "; the device belongs to group " + group));
        }
        case EBUSY:
            return refuse("busy (" + ErrnoText(err) + ")");
        default:
            return refuse(ErrnoText(err));
        }
    }
    struct stat opened {};
    if (::fstat(fd.Get(), &opened) != 0 || !S_ISCHR(opened.st_mode) ||
        opened.st_rdev != before.st_rdev)
        return refuse("not a serial port (the device changed while it was opened)");
    termios probe{};
    if (::tcgetattr(fd.Get(), &probe) != 0)
        return refuse("not a serial port (" + ErrnoText(errno) + ")");
    // Only now: /dev/null is open everywhere. A tty that another process has open already has
    // its lines up, so our open changed nothing on it.
    if (const auto other = OtherProcessWithDeviceOpen(before.st_rdev))
        return busyBy(other);
    // Root opens a tty despite another program's TIOCEXCL; that program holds it.
    if (int excl = 0; ::ioctl(fd.Get(), TIOCGEXCL, &excl) == 0 && excl != 0)
        return busyBy(std::nullopt);

    // Before any termios change: the holder's settings must stay untouched.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK)
            return busyBy(std::nullopt);
        return refuse("cannot lock (" + ErrnoText(err) + ")");
    }
    // Not every driver knows TIOCEXCL; flock is what really guards.
    if (::ioctl(fd.Get(), TIOCEXCL) != 0) {
        const int err = errno;
        if (err != ENOTTY && err != EINVAL)
            return refuse("cannot open exclusively (" + ErrnoText(err) + ")");
    }

    return {
        std::make_unique<PosixSerialPort>(std::move(fd), std::move(locks), std::move(cancel), env),
        {}};
}

OpenResult OpenSystemSerialPort(const std::string& device, std::shared_ptr<CancelToken> cancel) {
    return OpenPosixSerialPort(device, std::move(cancel));
}

std::string DefaultPortDevice(int nComPort, const std::vector<SerialDevice>& devices) {
    if (nComPort >= 0 && nComPort <= 8 && static_cast<size_t>(nComPort) < devices.size())
        return devices[static_cast<size_t>(nComPort)].path;
    return {};
}
