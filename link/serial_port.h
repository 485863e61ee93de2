// The serial port as the workers see it: the few operations they use, with the guarantees they
// rely on. One backend per system (serial_port_posix.cpp, serial_port_win32.cpp) and the
// transceiver simulator implement it; nothing above this header asks which one it has.
//
// Every call says how it ended. A blocking call (WaitForCts, Write, Read) is woken by the cancel
// token given at open and then ends as Cancelled.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

class CancelToken;

// Always eight data bits, no parity, one stop bit, no flow control of any kind, DTR and RTS off.
struct LineSettings {
    std::uint32_t baudRate = 9600;
};

// How long a blocking call may take; std::nullopt waits without limit.
using Timeout = std::optional<std::chrono::milliseconds>;

// How a call on the port ended. What it moved (a count, the CTS level) is given beside it and
// holds for every outcome.
enum class SerialStatus {
    Ok,       // done as asked
    TimedOut, // the timeout ran out first: a read or write moved only part, CTS is not at the level
    Cancelled, // woken by the cancel, or called after it
    Failed,    // the system refused; error says why
};

struct [[nodiscard]] SerialResult {
    SerialStatus status = SerialStatus::Ok;
    std::string error; // Failed: the system's words, for debug output only

    static SerialResult TimedOut() { return {SerialStatus::TimedOut, {}}; }
    static SerialResult Cancelled() { return {SerialStatus::Cancelled, {}}; }
    static SerialResult Failed(std::string error) {
        return {SerialStatus::Failed, std::move(error)};
    }
    bool Ok() const { return status == SerialStatus::Ok; }
};

class ISerialPort {
public:
    virtual ~ISerialPort() = default; // closes the port and releases its locks

    virtual SerialResult SetLine(const LineSettings& line) = 0;
    virtual SerialResult ReadCts(bool& on) = 0;
    // Ok once CTS is at `on`, at once if it already is. The level counts: a pulse that is over
    // before the port looks may be missed.
    virtual SerialResult WaitForCts(bool on, Timeout timeout) = 0;
    // Ok once every byte has left the output queue, so a following read sees the echo. When the
    // timeout runs out first, written tells how many the driver took.
    virtual SerialResult Write(std::span<const std::uint8_t> data, std::size_t& written,
                               Timeout timeout) = 0;
    // Ok when the buffer is full; when the timeout runs out first, got tells what has come.
    virtual SerialResult Read(std::span<std::uint8_t> buffer, std::size_t& got,
                              Timeout timeout) = 0;
    // Discards what waits to be sent and what has arrived unread.
    virtual SerialResult Purge() = 0;
};

// Why a port is not available, as the user is told it: what kind of reason, its particulars,
// and the system's own words.
struct PortRefusal {
    enum class Kind {
        Other,        // nothing more to say than the system's words
        NotMapped,    // no device stands behind the port
        Absent,       // the device is not there
        Busy,         // another program holds it: pid and program, when known
        NotPermitted, // this account may not open it: the device's group, when known
        Console,      // the system console, never opened
        NotSerial,    // no serial port
        LockNotFile,  // something that is no file stands under the lock file's name: lockFile
    };
    Kind kind = Kind::Other;
    std::string device;     // as the port map names it
    std::string systemText; // the system's words ("Permission denied"), "" when it gave none
    long pid = 0;
    std::string program;
    std::string group;
    std::string lockFile;
};

struct OpenResult {
    OpenResult() = default;
    OpenResult(std::unique_ptr<ISerialPort> opened, std::string why, PortRefusal refused = {})
        : port(std::move(opened)), reason(std::move(why)), refusal(std::move(refused)) {}

    std::unique_ptr<ISerialPort> port; // empty when the port is not available
    std::string reason;                // why not, in English and the system's words; for stderr
    PortRefusal refusal;               // why not, for the user
};
