// The serial port on a Windows COM port.
//
// The port is opened for overlapped I/O so that every wait can be woken: each blocking call
// starts its operation and waits on the operation's event and the worker's cancel event
// together. On a cancel the operation is cancelled and waited out before the call returns, so
// that no I/O stays pending on a buffer that goes away with the caller's stack frame.
//
// Exclusive open: the driver refuses a second open of a port, but not every driver does (Wine's
// does not); a named object per port keeps two opens by this program, in any copy of it, apart
// as well, as the lock files do on POSIX. A device that opens but is no serial port (a port
// name whose mapping leads nowhere) counts as absent.
//
// The driver keeps the read and write time-outs itself (SetCommTimeouts, set again only when a
// call asks for others than the last). A completed write only means the driver has the bytes;
// the output queue is then watched until it is empty, so that the read that follows sees the
// echo. A CTS wait is a loop of reading the modem status and a WaitCommEvent on EV_CTS.
#include "link/system_serial_port.h"

#include "link/port_map.h"
#include "platform/cancel_token.h"
#include "platform/text_win32.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/windows_api.h"

namespace {

// How often the output queue is looked at, at most, while waiting for it to empty.
constexpr DWORD kDrainPollMs = 5;

// A time-out in the system's milliseconds, short of INFINITE.
DWORD DriverMs(std::chrono::milliseconds ms) {
    return static_cast<DWORD>(std::clamp<std::int64_t>(ms.count(), 0, MAXDWORD - 1));
}

// When a call that may take until timeout has to give up; empty for no limit.
std::optional<std::uint64_t> DeadlineAfter(Timeout timeout) {
    if (!timeout)
        return std::nullopt;
    return ::GetTickCount64() + DriverMs(*timeout);
}

// What is left until the deadline, for a wait on a handle.
DWORD MsLeft(std::optional<std::uint64_t> deadline) {
    if (!deadline)
        return INFINITE;
    const std::uint64_t now = ::GetTickCount64();
    return now >= *deadline ? 0 : static_cast<DWORD>(*deadline - now);
}

bool SameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

// Holds a handle of either failure kind: CreateFile gives INVALID_HANDLE_VALUE, CreateEvent null.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle)
        : m_handle(handle == reinterpret_cast<HANDLE>(-1) ? nullptr : handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&&) = delete;
    ~UniqueHandle() {
        if (m_handle)
            ::CloseHandle(m_handle);
    }

    HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    HANDLE m_handle = nullptr;
};

// "COM1:", "COM12" and "\\.\COM12" all name \\.\COMn: the device namespace is the only way to
// reach ports above COM9, and it has no colon.
std::string PortName(std::string device) {
    if (!device.empty() && device.back() == ':')
        device.pop_back();
    if (device.rfind("\\\\.\\", 0) == 0)
        device.erase(0, 4);
    return device;
}

std::wstring DevicePath(const std::string& device) {
    return WideFromUtf8("\\\\.\\" + PortName(device));
}

// The name of the object that marks the port as taken: one per port, whatever the spelling.
std::wstring GuardName(const std::string& device) {
    std::wstring port = WideFromUtf8(PortName(device));
    for (wchar_t& c : port)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return L"Global\\Quillmere.SerialPort." + port;
}

class Win32SerialPort : public ISerialPort {
public:
    Win32SerialPort(UniqueHandle guard, UniqueHandle port, UniqueHandle ioEvent,
                    std::shared_ptr<CancelToken> cancel)
        : m_guard(std::move(guard)), m_port(std::move(port)), m_ioEvent(std::move(ioEvent)),
          m_cancel(std::move(cancel)) {}

    SerialResult SetLine(const LineSettings& line) override;
    SerialResult ReadCts(bool& on) override;
    SerialResult WaitForCts(bool on, Timeout timeout) override;
    SerialResult Write(std::span<const std::uint8_t> data, std::size_t& written,
                       Timeout timeout) override;
    SerialResult Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) override;
    SerialResult Purge() override;

private:
    enum class Wake { Done, Cancelled, TimedOut, Failed };

    OVERLAPPED FreshOverlapped() {
        ::ResetEvent(m_ioEvent.Get());
        OVERLAPPED ov{};
        ov.hEvent = m_ioEvent.Get();
        return ov;
    }
    // Brings an overlapped operation to its end, or gives it up after waitMs; started is what
    // the call that began it said.
    Wake Await(BOOL started, OVERLAPPED& ov, DWORD& transferred, DWORD waitMs = INFINITE);
    // Cancels a pending operation and waits until it has let go of its buffer.
    void Abandon(OVERLAPPED& ov);
    // Gives the driver these time-outs unless it has them already.
    SerialResult UseTimeouts(const COMMTIMEOUTS& wanted, const char* operation);
    // Sleeps up to ms, woken by the cancel.
    Wake Pause(DWORD ms);
    bool Cancelled() const { return m_cancel && m_cancel->IsCancelled(); }

    static SerialResult Fail(const char* operation, DWORD error) {
        return SerialResult::Failed(std::string(operation) + ": " + SystemErrorText(error));
    }
    static SerialResult Ended(const char* operation, Wake wake) {
        switch (wake) {
        case Wake::Cancelled:
            return SerialResult::Cancelled();
        case Wake::TimedOut:
            return SerialResult::TimedOut();
        default:
            return Fail(operation, ::GetLastError());
        }
    }

    UniqueHandle m_guard; // declared first: given up only after the port is closed
    UniqueHandle m_port;
    UniqueHandle m_ioEvent; // manual reset; one operation at a time uses it
    std::shared_ptr<CancelToken> m_cancel;
    std::optional<COMMTIMEOUTS> m_timeouts; // as last given to the driver
    DWORD m_mask = 0;                       // the event mask as last set
    std::uint32_t m_baud = 0;               // as last set; paces the look at the output queue
};

Win32SerialPort::Wake Win32SerialPort::Await(BOOL started, OVERLAPPED& ov, DWORD& transferred,
                                             DWORD waitMs) {
    transferred = 0;
    if (!started) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return Wake::Failed;
        HANDLE waits[2] = {ov.hEvent, m_cancel ? m_cancel->Event() : nullptr};
        const DWORD woke = ::WaitForMultipleObjects(m_cancel ? 2 : 1, waits, FALSE, waitMs);
        if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_TIMEOUT) {
            Abandon(ov);
            return woke == WAIT_TIMEOUT ? Wake::TimedOut : Wake::Cancelled;
        }
        if (woke != WAIT_OBJECT_0)
            return Wake::Failed;
    }
    return ::GetOverlappedResult(m_port.Get(), &ov, &transferred, FALSE) ? Wake::Done
                                                                         : Wake::Failed;
}

void Win32SerialPort::Abandon(OVERLAPPED& ov) {
    ::CancelIoEx(m_port.Get(), &ov);
    // A pending WaitCommEvent also ends when the mask is set again; some drivers do not cancel
    // it otherwise.
    ::SetCommMask(m_port.Get(), m_mask);
    DWORD unused = 0;
    ::GetOverlappedResult(m_port.Get(), &ov, &unused, TRUE);
}

SerialResult Win32SerialPort::UseTimeouts(const COMMTIMEOUTS& wanted, const char* operation) {
    if (m_timeouts && SameTimeouts(*m_timeouts, wanted))
        return {};
    COMMTIMEOUTS copy = wanted;
    if (!::SetCommTimeouts(m_port.Get(), &copy))
        return Fail(operation, ::GetLastError());
    m_timeouts = wanted;
    return {};
}

Win32SerialPort::Wake Win32SerialPort::Pause(DWORD ms) {
    if (!m_cancel) {
        ::SleepEx(ms, FALSE);
        return Wake::Done;
    }
    switch (::WaitForSingleObject(m_cancel->Event(), ms)) {
    case WAIT_TIMEOUT:
        return Wake::Done;
    case WAIT_OBJECT_0:
        return Wake::Cancelled;
    default:
        return Wake::Failed;
    }
}

SerialResult Win32SerialPort::SetLine(const LineSettings& line) {
    // Read first: every field the program has no word for goes back as the driver reported it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(m_port.Get(), &dcb))
        return Fail("SetLine", ::GetLastError());
    dcb.BaudRate = line.baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    if (!::SetCommState(m_port.Get(), &dcb))
        return Fail("SetLine", ::GetLastError());
    m_baud = line.baudRate;
    return {};
}

SerialResult Win32SerialPort::ReadCts(bool& on) {
    on = false;
    DWORD status = 0;
    if (!::GetCommModemStatus(m_port.Get(), &status))
        return Fail("ReadCts", ::GetLastError());
    on = (status & MS_CTS_ON) != 0;
    return {};
}

SerialResult Win32SerialPort::WaitForCts(bool on, Timeout timeout) {
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return SerialResult::Cancelled();
    if (m_mask != EV_CTS) {
        if (!::SetCommMask(m_port.Get(), EV_CTS))
            return Fail("WaitForCts", ::GetLastError());
        m_mask = EV_CTS;
    }
    const auto atLevel = [&](bool& reached) {
        DWORD status = 0;
        if (!::GetCommModemStatus(m_port.Get(), &status))
            return false;
        reached = ((status & MS_CTS_ON) != 0) == on;
        return true;
    };
    for (;;) {
        bool reached = false;
        if (!atLevel(reached))
            return Fail("WaitForCts", ::GetLastError());
        if (reached)
            return {};
        DWORD events = 0;
        OVERLAPPED ov = FreshOverlapped();
        const BOOL started = ::WaitCommEvent(m_port.Get(), &events, &ov);
        if (!started && ::GetLastError() != ERROR_IO_PENDING)
            return Fail("WaitForCts", ::GetLastError());
        // A driver that takes its reference level only when the wait starts (Wine's) misses a
        // change between the look above and now; the level decides, as on POSIX.
        if (!started && atLevel(reached) && reached) {
            Abandon(ov);
            return {};
        }
        if (!started)
            ::SetLastError(ERROR_IO_PENDING);
        DWORD unused = 0;
        const Wake wake = Await(started, ov, unused, MsLeft(deadline));
        if (wake != Wake::Done)
            return Ended("WaitForCts", wake);
    }
}

SerialResult Win32SerialPort::Read(std::span<std::uint8_t> buffer, std::size_t& got,
                                   Timeout timeout) {
    got = 0;
    if (Cancelled())
        return SerialResult::Cancelled();
    // No limit: wait for the whole count; else a total deadline. A read with no time at all
    // gets the shortest, 1 ms: under Wine an overlapped read with the MAXDWORD interval that
    // means "what is there" does not end while nothing comes.
    COMMTIMEOUTS wanted = m_timeouts.value_or(COMMTIMEOUTS{});
    wanted.ReadIntervalTimeout = 0;
    wanted.ReadTotalTimeoutMultiplier = 0;
    wanted.ReadTotalTimeoutConstant = timeout ? std::max<DWORD>(DriverMs(*timeout), 1) : 0;
    if (SerialResult set = UseTimeouts(wanted, "Read"); !set.Ok())
        return set;
    OVERLAPPED ov = FreshOverlapped();
    const BOOL started =
        ::ReadFile(m_port.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &ov);
    DWORD transferred = 0;
    const Wake wake = Await(started, ov, transferred);
    // A read that timed out with nothing is no failure, though Wine reports it as one.
    if (wake == Wake::Failed && ::GetLastError() == ERROR_TIMEOUT)
        return SerialResult::TimedOut();
    if (wake != Wake::Done)
        return Ended("Read", wake);
    got = transferred; // fewer than asked for when the time-out ran out first
    return got < buffer.size() ? SerialResult::TimedOut() : SerialResult{};
}

SerialResult Win32SerialPort::Write(std::span<const std::uint8_t> data, std::size_t& written,
                                    Timeout timeout) {
    written = 0;
    const auto deadline = DeadlineAfter(timeout);
    if (Cancelled())
        return SerialResult::Cancelled();
    COMMTIMEOUTS wanted = m_timeouts.value_or(COMMTIMEOUTS{});
    wanted.WriteTotalTimeoutMultiplier = 0;
    // 0 would mean no limit.
    wanted.WriteTotalTimeoutConstant = timeout ? std::max<DWORD>(DriverMs(*timeout), 1) : 0;
    if (SerialResult set = UseTimeouts(wanted, "Write"); !set.Ok())
        return set;
    OVERLAPPED ov = FreshOverlapped();
    const BOOL started =
        ::WriteFile(m_port.Get(), data.data(), static_cast<DWORD>(data.size()), nullptr, &ov);
    DWORD transferred = 0;
    const Wake wake = Await(started, ov, transferred);
    if (wake != Wake::Done)
        return Ended("Write", wake);
    written = transferred;

    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(m_port.Get(), &errors, &status))
            return Fail("Write", ::GetLastError());
        // A write the driver's time-out cut short has run out of time too.
        if (status.cbOutQue == 0)
            return written < data.size() ? SerialResult::TimedOut() : SerialResult{};
        if (deadline && ::GetTickCount64() >= *deadline)
            return SerialResult::TimedOut(); // the bytes are the driver's
        // Look again about when the queued bytes should be out, in whole milliseconds.
        const std::uint64_t lineMs = m_baud ? std::uint64_t(status.cbOutQue) * 10'000 / m_baud : 0;
        const auto pauseMs = static_cast<DWORD>(std::clamp<std::uint64_t>(lineMs, 1, kDrainPollMs));
        const Wake paused = Pause(std::clamp<DWORD>(MsLeft(deadline), 1, pauseMs));
        if (paused != Wake::Done)
            return Ended("Write", paused);
    }
}

SerialResult Win32SerialPort::Purge() {
    if (!::PurgeComm(m_port.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR))
        return Fail("Purge", ::GetLastError());
    return {};
}

} // namespace

OpenResult OpenSystemSerialPort(const std::string& device, std::shared_ptr<CancelToken> cancel) {
    using Kind = PortRefusal::Kind;
    if (device.empty())
        return {nullptr, "no device given"};
    const auto refuse = [&](Kind kind, const char* why, DWORD error) {
        PortRefusal refusal;
        refusal.kind = kind;
        refusal.device = device;
        refusal.systemText = SystemErrorText(error);
        return OpenResult{nullptr,
                          PortName(device) + ": " + why + refusal.systemText + (*why ? ")" : ""),
                          std::move(refusal)};
    };

    UniqueHandle guard(::CreateMutexW(nullptr, FALSE, GuardName(device).c_str()));
    if (!guard)
        return refuse(Kind::Other, "", ::GetLastError());
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        PortRefusal refusal;
        refusal.kind = Kind::Busy;
        refusal.device = device;
        return {nullptr,
                PortName(device) + ": busy (already open in this program or another copy of it)",
                std::move(refusal)};
    }

    UniqueHandle port(::CreateFileW(DevicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port) {
        const DWORD error = ::GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_UNIT:
            return refuse(Kind::Absent, "absent (", error);
        // A COM port another program has open answers "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return refuse(Kind::Busy, "busy (", error);
        default:
            return refuse(Kind::Other, "", error);
        }
    }
    DCB probe{};
    probe.DCBlength = sizeof probe;
    if (!::GetCommState(port.Get(), &probe))
        return refuse(Kind::NotSerial, "absent (not a serial port: ", ::GetLastError());
    UniqueHandle ioEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ioEvent)
        return refuse(Kind::Other, "", ::GetLastError());
    return {std::make_unique<Win32SerialPort>(std::move(guard), std::move(port), std::move(ioEvent),
                                              std::move(cancel)),
            {}};
}

std::string DefaultPortDevice(int nComPort, const std::vector<SerialDevice>& /*devices*/) {
    if (nComPort >= 0 && nComPort <= 8)
        return ComPortName(nComPort);
    return {};
}
