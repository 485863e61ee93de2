// The serial port as the workers see it: the few operations they use, with the guarantees they
// rely on. One backend per system (serial_port_posix.cpp, serial_port_win32.cpp) and the
// transceiver simulator implement it; nothing above this header asks which one it has.
//
// Every call returns false on failure. A blocking call (WaitForCts, Write, Read) is woken by the
// cancel token given at open and then also returns false; the caller tells a cancel from a
// failure by asking the token.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

class CancelToken;

// Always eight data bits, no parity, one stop bit, no flow control of any kind, DTR and RTS off.
struct LineSettings {
    std::uint32_t baudRate = 9600;
};

// How long a blocking call may take; std::nullopt waits without limit.
using Timeout = std::optional<std::chrono::milliseconds>;

class ISerialPort {
public:
    virtual ~ISerialPort() = default; // closes the port and releases its locks

    virtual bool SetLine(const LineSettings& line) = 0;
    virtual bool ReadCts(bool& on) = 0;
    // Returns true once CTS is at `on`, at once if it already is. The level counts: a pulse
    // that is over before the port looks may be missed. False on failure, cancel or timeout.
    virtual bool WaitForCts(bool on, Timeout timeout) = 0;
    // Returns once every byte has left the output queue, so a following read sees the echo.
    // When the timeout runs out first, written tells how many the driver took: no failure.
    virtual bool Write(std::span<const std::uint8_t> data, std::size_t& written,
                       Timeout timeout) = 0;
    // Returns when the buffer is full or the timeout has run out; a short read is no failure.
    virtual bool Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) = 0;
    // Discards what waits to be sent and what has arrived unread.
    virtual bool Purge() = 0;

    // The system's words for the last failure, for debug output only.
    virtual std::string LastError() const = 0;
};

struct OpenResult {
    std::unique_ptr<ISerialPort> port; // empty when the port is not available
    std::string reason;                // why not, in the system's words; for tooltip and stderr
};
