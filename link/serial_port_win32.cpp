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
// The driver keeps the read time-outs itself (SetCommTimeouts). A completed write only means
// the driver has the bytes; the output queue is then watched until it is empty, so that the
// read that follows sees the echo.
#include "link/system_serial_port.h"

#include "link/port_map.h"
#include "platform/cancel_token.h"
#include "platform/text_win32.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/windows_api.h"

namespace {

// How often the output queue is looked at, at most, while waiting for it to empty.
constexpr WinDWORD kDrainPollMs = 5;

// Holds a handle of either failure kind: CreateFile gives INVALID_HANDLE_VALUE, CreateEvent null.
class UniqueHandle {
public:
    explicit UniqueHandle(WinHANDLE handle)
        : m_handle(handle == reinterpret_cast<WinHANDLE>(-1) ? nullptr : handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&&) = delete;
    ~UniqueHandle() {
        if (m_handle)
            ::CloseHandle(m_handle);
    }

    WinHANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    WinHANDLE m_handle = nullptr;
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

    bool GetCommState(DCB& dcb) override;
    bool SetCommState(const DCB& dcb) override;
    bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) override;
    bool SetCommMask(DWORD mask) override;
    bool WaitCommEvent(DWORD& eventMask) override;
    bool GetCommModemStatus(DWORD& modemStatus) override;
    bool WriteFile(const void* buffer, DWORD count, DWORD& written) override;
    bool ReadFile(void* buffer, DWORD count, DWORD& read) override;
    bool PurgeComm(DWORD flags) override;
    std::string LastError() const override { return m_lastError; }

private:
    enum class Wake { Done, Cancelled, Failed };

    OVERLAPPED FreshOverlapped() {
        ::ResetEvent(m_ioEvent.Get());
        OVERLAPPED ov{};
        ov.hEvent = m_ioEvent.Get();
        return ov;
    }
    // Brings an overlapped operation to its end; started is what the call that began it said.
    Wake Await(BOOL started, OVERLAPPED& ov, WinDWORD& transferred);
    // Sleeps up to ms, woken by the cancel.
    Wake Pause(WinDWORD ms);
    bool Cancelled() const { return m_cancel && m_cancel->IsCancelled(); }

    bool Fail(const char* operation, WinDWORD error) {
        m_lastError = std::string(operation) + ": " + SystemErrorText(error);
        return false;
    }
    bool Fail(const char* operation, const std::string& text) {
        m_lastError = std::string(operation) + ": " + text;
        return false;
    }
    bool Ended(const char* operation, Wake wake) {
        return wake == Wake::Cancelled ? Fail(operation, "cancelled")
                                       : Fail(operation, ::GetLastError());
    }

    UniqueHandle m_guard; // declared first: given up only after the port is closed
    UniqueHandle m_port;
    UniqueHandle m_ioEvent; // manual reset; one operation at a time uses it
    std::shared_ptr<CancelToken> m_cancel;
    COMMTIMEOUTS m_timeouts{};
    DWORD m_mask = 0;
    DWORD m_baud = 0;              // as last set; paces the look at the output queue
    std::optional<bool> m_lastCts; // the level the caller last read
    std::string m_lastError;
};

Win32SerialPort::Wake Win32SerialPort::Await(BOOL started, OVERLAPPED& ov, WinDWORD& transferred) {
    transferred = 0;
    if (!started) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return Wake::Failed;
        WinHANDLE waits[2] = {ov.hEvent, m_cancel ? m_cancel->Event() : nullptr};
        const WinDWORD woke = ::WaitForMultipleObjects(m_cancel ? 2 : 1, waits, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0 + 1) {
            ::CancelIoEx(m_port.Get(), &ov);
            // A pending WaitCommEvent also ends when the mask is set again; some drivers do
            // not cancel it otherwise.
            ::SetCommMask(m_port.Get(), m_mask);
            ::GetOverlappedResult(m_port.Get(), &ov, &transferred, TRUE);
            return Wake::Cancelled;
        }
        if (woke != WAIT_OBJECT_0)
            return Wake::Failed;
    }
    return ::GetOverlappedResult(m_port.Get(), &ov, &transferred, FALSE) ? Wake::Done
                                                                         : Wake::Failed;
}

Win32SerialPort::Wake Win32SerialPort::Pause(WinDWORD ms) {
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

bool Win32SerialPort::GetCommState(DCB& dcb) {
    WinDCB real{};
    real.DCBlength = sizeof real;
    if (!::GetCommState(m_port.Get(), &real))
        return Fail("GetCommState", ::GetLastError());
    dcb.BaudRate = real.BaudRate;
    dcb.ByteSize = real.ByteSize;
    dcb.Parity = real.Parity;
    dcb.StopBits = real.StopBits;
    dcb.fOutxCtsFlow = real.fOutxCtsFlow;
    dcb.fOutxDsrFlow = real.fOutxDsrFlow;
    dcb.fDtrControl = static_cast<BYTE>(real.fDtrControl);
    dcb.fOutX = real.fOutX;
    dcb.fInX = real.fInX;
    dcb.fNull = real.fNull;
    dcb.fRtsControl = static_cast<BYTE>(real.fRtsControl);
    return true;
}

bool Win32SerialPort::SetCommState(const DCB& dcb) {
    // Read afresh: every field the program does not set goes back as the driver reported it.
    WinDCB real{};
    real.DCBlength = sizeof real;
    if (!::GetCommState(m_port.Get(), &real))
        return Fail("SetCommState", ::GetLastError());
    real.BaudRate = dcb.BaudRate;
    real.ByteSize = dcb.ByteSize;
    real.Parity = dcb.Parity;
    real.StopBits = dcb.StopBits;
    real.fOutxCtsFlow = dcb.fOutxCtsFlow;
    real.fOutxDsrFlow = dcb.fOutxDsrFlow;
    real.fDtrControl = dcb.fDtrControl & 3u;
    real.fOutX = dcb.fOutX;
    real.fInX = dcb.fInX;
    real.fNull = dcb.fNull;
    real.fRtsControl = dcb.fRtsControl & 3u;
    if (!::SetCommState(m_port.Get(), &real))
        return Fail("SetCommState", ::GetLastError());
    m_baud = dcb.BaudRate;
    return true;
}

bool Win32SerialPort::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
    WinCOMMTIMEOUTS real{};
    real.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    real.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    real.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    real.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    real.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    if (!::SetCommTimeouts(m_port.Get(), &real))
        return Fail("SetCommTimeouts", ::GetLastError());
    m_timeouts = timeouts;
    return true;
}

bool Win32SerialPort::SetCommMask(DWORD mask) {
    if (!::SetCommMask(m_port.Get(), mask))
        return Fail("SetCommMask", ::GetLastError());
    m_mask = mask;
    return true;
}

bool Win32SerialPort::GetCommModemStatus(DWORD& modemStatus) {
    modemStatus = 0;
    WinDWORD status = 0;
    if (!::GetCommModemStatus(m_port.Get(), &status))
        return Fail("GetCommModemStatus", ::GetLastError());
    modemStatus = status;
    m_lastCts = (status & MS_CTS_ON) != 0;
    return true;
}

bool Win32SerialPort::WaitCommEvent(DWORD& eventMask) {
    eventMask = 0;
    if (Cancelled())
        return Fail("WaitCommEvent", "cancelled");
    WinDWORD events = 0;
    OVERLAPPED ov = FreshOverlapped();
    const BOOL started = ::WaitCommEvent(m_port.Get(), &events, &ov);
    // A driver that takes its reference level only when the wait starts (Wine's) misses a
    // change between the caller's last look and now; the level decides, as on POSIX.
    WinDWORD status = 0;
    if (!started && ::GetLastError() == ERROR_IO_PENDING && (m_mask & EV_CTS) && m_lastCts &&
        ::GetCommModemStatus(m_port.Get(), &status) && ((status & MS_CTS_ON) != 0) != *m_lastCts) {
        ::CancelIoEx(m_port.Get(), &ov);
        ::SetCommMask(m_port.Get(), m_mask);
        WinDWORD unused = 0;
        ::GetOverlappedResult(m_port.Get(), &ov, &unused, TRUE);
        m_lastCts = (status & MS_CTS_ON) != 0;
        eventMask = EV_CTS;
        return true;
    }
    if (!started)
        ::SetLastError(ERROR_IO_PENDING);
    WinDWORD unused = 0;
    const Wake wake = Await(started, ov, unused);
    if (wake != Wake::Done)
        return Ended("WaitCommEvent", wake);
    eventMask = events;
    return true;
}

bool Win32SerialPort::ReadFile(void* buffer, DWORD count, DWORD& read) {
    read = 0;
    if (Cancelled())
        return Fail("ReadFile", "cancelled");
    OVERLAPPED ov = FreshOverlapped();
    const BOOL started = ::ReadFile(m_port.Get(), buffer, count, nullptr, &ov);
    WinDWORD got = 0;
    const Wake wake = Await(started, ov, got);
    // A read that timed out with nothing is no failure, though Wine reports it as one.
    if (wake == Wake::Failed && ::GetLastError() == ERROR_TIMEOUT)
        return true;
    if (wake != Wake::Done)
        return Ended("ReadFile", wake);
    read = got; // fewer than count when the time-out ran out first: no failure
    return true;
}

bool Win32SerialPort::WriteFile(const void* buffer, DWORD count, DWORD& written) {
    written = 0;
    if (Cancelled())
        return Fail("WriteFile", "cancelled");
    OVERLAPPED ov = FreshOverlapped();
    const BOOL started = ::WriteFile(m_port.Get(), buffer, count, nullptr, &ov);
    WinDWORD put = 0;
    const Wake wake = Await(started, ov, put);
    if (wake != Wake::Done)
        return Ended("WriteFile", wake);
    written = put;

    const std::uint64_t limitMs = std::uint64_t(m_timeouts.WriteTotalTimeoutMultiplier) * count +
                                  m_timeouts.WriteTotalTimeoutConstant;
    const std::uint64_t deadline = limitMs ? ::GetTickCount64() + limitMs : 0;
    for (;;) {
        WinDWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(m_port.Get(), &errors, &status))
            return Fail("WriteFile", ::GetLastError());
        if (status.cbOutQue == 0)
            return true;
        if (deadline && ::GetTickCount64() >= deadline)
            return true; // the write time-out: the bytes are the driver's, no failure
        // Look again about when the queued bytes should be out, in whole milliseconds.
        const std::uint64_t lineMs = m_baud ? std::uint64_t(status.cbOutQue) * 10'000 / m_baud : 0;
        const Wake paused =
            Pause(static_cast<WinDWORD>(std::clamp<std::uint64_t>(lineMs, 1, kDrainPollMs)));
        if (paused != Wake::Done)
            return Ended("WriteFile", paused);
    }
}

bool Win32SerialPort::PurgeComm(DWORD flags) {
    const WinDWORD which = flags & (PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (which == 0)
        return true;
    if (!::PurgeComm(m_port.Get(), which))
        return Fail("PurgeComm", ::GetLastError());
    return true;
}

} // namespace

OpenResult OpenSystemSerialPort(const std::string& device, std::shared_ptr<CancelToken> cancel) {
    if (device.empty())
        return {nullptr, "no device given"};
    const auto refuse = [&](const char* why, WinDWORD error) {
        return OpenResult{nullptr, PortName(device) + ": " + why + SystemErrorText(error) +
                                       (*why ? ")" : "")};
    };

    UniqueHandle guard(::CreateMutexW(nullptr, FALSE, GuardName(device).c_str()));
    if (!guard)
        return refuse("", ::GetLastError());
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        return {nullptr,
                PortName(device) + ": busy (already open in this program or another copy of it)"};

    UniqueHandle port(::CreateFileW(DevicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port) {
        const WinDWORD error = ::GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_UNIT:
            return refuse("absent (", error);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return refuse("busy (", error);
        default:
            return refuse("", error);
        }
    }
    WinDCB probe{};
    probe.DCBlength = sizeof probe;
    if (!::GetCommState(port.Get(), &probe))
        return refuse("absent (not a serial port: ", ::GetLastError());
    UniqueHandle ioEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ioEvent)
        return refuse("", ::GetLastError());
    return {std::make_unique<Win32SerialPort>(std::move(guard), std::move(port), std::move(ioEvent),
                                              std::move(cancel)),
            {}};
}

std::string DefaultPortDevice(int nComPort) {
    if (nComPort >= 0 && nComPort <= 8)
        return ComPortName(nComPort);
    return {};
}
