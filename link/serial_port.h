// The serial port as the workers see it: the operations of the Windows comm API they use, with
// the guarantees they rely on. One backend per system (serial_port_posix.cpp, later
// serial_port_win32.cpp) and the transceiver simulator implement it; nothing above this header
// asks which one it has.
//
// Every call returns false on failure. A blocking call (WaitCommEvent, ReadFile, WriteFile)
// is woken by the cancel token given at open and then also returns false; the caller tells a
// cancel from a failure by asking the token.
#pragma once

#include <cstdint>

#include <memory>
#include <string>

class CancelToken;

using BYTE = std::uint8_t;
using DWORD = std::uint32_t;

inline constexpr DWORD EV_CTS = 0x0008;
inline constexpr DWORD MS_CTS_ON = 0x0010;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE DTR_CONTROL_DISABLE = 0;
inline constexpr BYTE RTS_CONTROL_DISABLE = 0;

// Line settings. Fields the program does not set stay as the port reported them.
struct DCB {
    DWORD BaudRate = 9600;
    BYTE ByteSize = 8;
    BYTE Parity = NOPARITY;
    BYTE StopBits = ONESTOPBIT;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    BYTE fDtrControl = DTR_CONTROL_DISABLE;
    bool fOutX = false;
    bool fInX = false;
    bool fNull = false;
    BYTE fRtsControl = RTS_CONTROL_DISABLE;
};

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

class ISerialPort {
public:
    virtual ~ISerialPort() = default; // closes the port and releases its locks

    virtual bool GetCommState(DCB& dcb) = 0;
    virtual bool SetCommState(const DCB& dcb) = 0;
    virtual bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    virtual bool SetCommMask(DWORD mask) = 0;
    // Blocks until the CTS input changes (by level: a pulse already over may be missed).
    virtual bool WaitCommEvent(DWORD& eventMask) = 0;
    virtual bool GetCommModemStatus(DWORD& modemStatus) = 0;
    // Returns once every byte has left the output queue, so a following read sees the echo.
    virtual bool WriteFile(const void* buffer, DWORD count, DWORD& written) = 0;
    // Returns when count bytes have arrived or the read total time-out has run out; a short
    // read is no failure.
    virtual bool ReadFile(void* buffer, DWORD count, DWORD& read) = 0;
    virtual bool PurgeComm(DWORD flags) = 0;

    // The system's words for the last failure, for debug output only.
    virtual std::string LastError() const = 0;
};

struct OpenResult {
    std::unique_ptr<ISerialPort> port; // empty when the port is not available
    std::string reason;                // why not, in the system's words; for tooltip and stderr
};
