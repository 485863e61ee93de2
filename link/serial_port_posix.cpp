#include "link/serial_port_posix.h"
#include "link/system_serial_port.h"

#include "link/port_ownership_posix.h"
#include "link/termios_settings.h"
#include "link/uucp_lock_posix.h"
#include "platform/cancel_token.h"
#include "platform/unique_fd_posix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
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

std::optional<std::string> ResolvePath(const std::string& path) {
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf))
        return std::nullopt;
    return std::string(buf);
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

    SerialResult SetLine(const LineSettings& line) override;
    SerialResult ReadCts(bool& on) override;
    SerialResult WaitForCts(bool on, Timeout timeout) override;
    SerialResult Write(std::span<const std::uint8_t> data, std::size_t& written,
                       Timeout timeout) override;
    SerialResult Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) override;
    SerialResult Purge() override;

private:
    enum class Wake { Ready, TimedOut, Cancelled, Failed };

    // Waits for events on fd (or only for the time when fd < 0), the cancel, or the deadline.
    Wake Wait(int fd, short events, std::optional<SteadyClock::time_point> deadline,
              short& revents);
    Wake Pause(SteadyClock::duration interval, std::optional<SteadyClock::time_point> deadline);
    bool Cancelled() const { return m_cancel && m_cancel->IsCancelled(); }

    static SerialResult Fail(const char* operation, int err) {
        return Fail(operation, ErrnoText(err));
    }
    static SerialResult Fail(const char* operation, const std::string& text) {
        return SerialResult::Failed(std::string(operation) + ": " + text);
    }

    std::vector<UucpLock> m_locks; // declared first: removed only after the descriptor is closed
    UniqueFd m_fd;
    std::shared_ptr<CancelToken> m_cancel;
    PosixPortEnvironment m_env;
    std::uint32_t m_baud = 0; // as last set; paces the wait for the output queue
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

SerialResult PosixSerialPort::SetLine(const LineSettings& line) {
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
    return {};
}

SerialResult PosixSerialPort::ReadCts(bool& on) {
    on = false;
    int lines = 0;
    if (const int err = m_env.readModemLines(m_fd.Get(), lines))
        return Fail("ReadCts", err);
    on = (lines & TIOCM_CTS) != 0;
    return {};
}

SerialResult PosixSerialPort::WaitForCts(bool on, Timeout timeout) {
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return SerialResult::Cancelled();
    for (;;) {
        int lines = 0;
        if (const int err = m_env.readModemLines(m_fd.Get(), lines))
            return Fail("WaitForCts", err);
        if (((lines & TIOCM_CTS) != 0) == on)
            return {};
        switch (Pause(kLinePollInterval, deadline)) {
        case Wake::Ready:
            break;
        case Wake::TimedOut:
            return SerialResult::TimedOut();
        case Wake::Cancelled:
            return SerialResult::Cancelled();
        case Wake::Failed:
            return Fail("WaitForCts", errno);
        }
    }
}

SerialResult PosixSerialPort::Read(std::span<std::uint8_t> buffer, std::size_t& got,
                                   Timeout timeout) {
    got = 0;
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return SerialResult::Cancelled();
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
        if (got == buffer.size())
            return {};
        if (Passed(deadline))
            return SerialResult::TimedOut();

        short revents = 0;
        switch (Wait(m_fd.Get(), POLLIN, deadline, revents)) {
        case Wake::Ready:
            break;
        case Wake::TimedOut:
            continue; // one last look, then the deadline ends it
        case Wake::Cancelled:
            return SerialResult::Cancelled();
        case Wake::Failed:
            return Fail("Read", errno);
        }
        if (revents & POLLNVAL)
            return Fail("Read", EBADF);
        if (revents & (POLLHUP | POLLERR))
            return Fail("Read", "the device hung up");
    }
}

SerialResult PosixSerialPort::Write(std::span<const std::uint8_t> data, std::size_t& written,
                                    Timeout timeout) {
    written = 0;
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return SerialResult::Cancelled();
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
            return SerialResult::TimedOut();
        case Wake::Cancelled:
            return SerialResult::Cancelled();
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
            return {};
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
            return SerialResult::TimedOut();
        case Wake::Cancelled:
            return SerialResult::Cancelled();
        case Wake::Failed:
            return Fail("Write", errno);
        }
    }
}

SerialResult PosixSerialPort::Purge() {
    if (::tcflush(m_fd.Get(), TCIOFLUSH) != 0)
        return Fail("Purge", errno);
    return {};
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

OpenResult OpenPosixSerialPort(const std::string& device, std::shared_ptr<CancelToken> cancel,
                               const PosixPortEnvironment& env) {
    using Kind = PortRefusal::Kind;
    const auto refuse = [&](Kind kind, const std::string& why, std::string systemText = {}) {
        PortRefusal refusal;
        refusal.kind = kind;
        refusal.device = device;
        refusal.systemText = std::move(systemText);
        return OpenResult{nullptr, device + ": " + why, std::move(refusal)};
    };
    // The English reason carries the system's words in parentheses, as the refusal does.
    const auto refuseErrno = [&](Kind kind, const std::string& what, int err) {
        return refuse(kind, what.empty() ? ErrnoText(err) : what + " (" + ErrnoText(err) + ")",
                      ErrnoText(err));
    };
    if (device.empty())
        return {nullptr, "no device given"};

    const auto resolved = ResolvePath(device);
    if (!resolved) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return refuseErrno(Kind::Absent, "absent", err);
        return refuseErrno(Kind::Other, "", err);
    }
    // Everything that can be told from the outside is checked before open(): opening a serial
    // port already raises DTR, and a FIFO or a terminal might have its own ideas.
    struct stat before {};
    if (::stat(resolved->c_str(), &before) != 0)
        return refuseErrno(Kind::Other, "", errno);
    if (IsConsole(*resolved, before, env))
        return refuse(Kind::Console, "the system console; never opened");
    if (!S_ISCHR(before.st_mode))
        return refuse(Kind::NotSerial, "not a serial port (not a character device)");
    if (major(before.st_rdev) == 5 && minor(before.st_rdev) == 2)
        return refuse(Kind::NotSerial, "not a serial port (the pseudo-terminal multiplexer)");

    const auto busyBy = [&](std::optional<pid_t> holder) {
        OpenResult result = refuse(Kind::Busy, "busy: in use by another program");
        if (holder && (*holder == ::getpid() || ProcessAlive(*holder))) {
            result.refusal.pid = *holder;
            result.refusal.program = ProcessName(*holder);
            result.reason =
                device + (*holder == ::getpid() ? ": busy: already open in this program"
                                                : ": busy: in use by " + DescribeProcess(*holder));
        }
        return result;
    };

    // The UUCP lock comes first, as other programs take it: a port someone holds is not even
    // opened, so neither its lines nor its exclusive flag are touched.
    std::vector<UucpLock> locks;
    for (const std::string& lockName : UucpLockFileNames(*resolved)) {
        const auto attempt =
            locks.emplace_back().Acquire(env.lockDir, lockName, env.beforeStaleLockTakeOver);
        if (attempt.state != UucpLock::State::Busy)
            continue;
        if (attempt.notAFile.empty())
            return busyBy(attempt.holder ? std::optional<pid_t>(attempt.holder) : std::nullopt);
        const std::string lockFile = env.lockDir + "/" + lockName;
        OpenResult result =
            refuse(Kind::LockNotFile, "busy: lock file " + lockFile + " is not a regular file (" +
                                          attempt.notAFile + ")");
        result.refusal.lockFile = lockFile;
        return result;
    }

    UniqueFd fd(::open(resolved->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        const int err = errno;
        switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return refuseErrno(Kind::Absent, "absent", err);
        case EACCES:
        case EPERM: {
            OpenResult result = refuseErrno(Kind::NotPermitted, "not permitted", err);
            result.refusal.group = DeviceGroup(*resolved);
            if (!result.refusal.group.empty())
                result.reason += "; the device belongs to group " + result.refusal.group;
            return result;
        }
        case EBUSY:
            return refuseErrno(Kind::Busy, "busy", err);
        default:
            return refuseErrno(Kind::Other, "", err);
        }
    }
    struct stat opened {};
    if (::fstat(fd.Get(), &opened) != 0 || !S_ISCHR(opened.st_mode) ||
        opened.st_rdev != before.st_rdev)
        return refuse(Kind::NotSerial,
                      "not a serial port (the device changed while it was opened)");
    termios probe{};
    if (::tcgetattr(fd.Get(), &probe) != 0)
        return refuseErrno(Kind::NotSerial, "not a serial port", errno);
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
        return refuseErrno(Kind::Other, "cannot lock", err);
    }
    // Not every driver knows TIOCEXCL; flock is what really guards.
    if (::ioctl(fd.Get(), TIOCEXCL) != 0) {
        const int err = errno;
        if (err != ENOTTY && err != EINVAL)
            return refuseErrno(Kind::Other, "cannot open exclusively", err);
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
