// A simulated optical link transceiver on a serial line, for tests and the demo.
//
// How it works: the transceiver sees every write together with the speed the port was set to
// at that moment and answers with what comes back on the receive line.
//   - Power off: nothing comes back. Power is the CTS input.
//   - 8 bytes at 9600 baud are a configuration packet: echoed as the echo option says; a packet
//     of the right shape also sets the operating rate from its baud code (whatever the echo
//     option, which only spoils the way back) and starts the readiness phase.
//   - Readiness phase: at the operating rate the next `ready` bytes are echoed one for one, then
//     the transceiver stays silent until the port is closed or the power is switched.
//   - Otherwise, at the operating rate, bytes go over the link and come back; per 1024 bytes
//     since the last purge exactly linkPercent*256/100 of the 256 four-byte words come back
//     intact, the others with one byte changed in place.
//   - At any other speed the receiver sees garbage: one 0x00 or 0xFF byte per byte sent,
//     never equal to the byte sent.
// It also keeps what the port hardware would keep between opens (the line settings), knows
// whether a port has it open, and writes the traffic log.
#pragma once

#include "link/serial_port.h"
#include "platform/line_log.h"
#include "sim/sim_options.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CancelToken;
class IClock;

using TrafficLog = LineLog;

// "0b 51 64" for the log.
std::string HexBytes(std::span<const std::uint8_t> bytes);

class Transceiver {
public:
    Transceiver(SimOptions options, TrafficLog log);

    const SimOptions& Options() const { return m_options; }

    // Power is what the program reads as CTS.
    bool PowerOn() const;
    // Switching by hand (a test, or the simulated user); wakes a program waiting for CTS.
    void SetPower(bool on);
    std::uint32_t ConfiguredRate() const;
    // Byte 2 of the last configuration packet that was accepted; 0 before the first.
    std::uint8_t Sensitivity() const;
    // The adapter is pulled out: from now on every call of the port fails as the system's does
    // for a device that is gone (EIO), and a wait for the power switch ends at once. For the
    // life of the process; a test uses a transceiver of its own.
    void Vanish();
    bool Vanished() const;

    // The port's side. Only one port may have the transceiver at a time.
    bool Attach(std::shared_ptr<CancelToken> cancel);
    void Detach();
    LineSettings Line() const;
    void SetLine(const LineSettings& line);
    enum class PowerWait { Reached, Cancelled, TimedOut };
    // Blocks until the power is at `on`: the obedient user switches it reactMs into the wait
    // (on clock, the program's); otherwise only a test's SetPower or the adapter vanishing ends
    // the wait (the timeout then runs on the real clock).
    PowerWait WaitForPower(bool on, CancelToken& cancel, Timeout timeout, IClock& clock);
    // What comes back on the receive line for bytes sent at the port's current speed, at nowMs
    // on the program's clock.
    std::vector<std::uint8_t> Transmit(std::span<const std::uint8_t> bytes, std::uint32_t nowMs);
    // Starts a new link cycle.
    void Purge();
    void Log(std::string_view line) const;

private:
    enum class Phase { Link, Readiness, Silent };

    void SetPowerLocked(bool on);
    std::vector<std::uint8_t> ConfigurationEcho(std::span<const std::uint8_t> packet);
    std::vector<std::uint8_t> LinkEcho(std::span<const std::uint8_t> bytes, std::uint32_t nowMs);

    const SimOptions m_options;
    const TrafficLog m_log;

    mutable std::mutex m_mutex;
    bool m_powerOn;
    std::uint32_t m_configuredRate;
    std::uint8_t m_sensitivity = 0;
    Phase m_phase = Phase::Link;
    std::uint32_t m_readyLeft = 0;
    std::uint32_t m_linkPos = 0;               // bytes carried over the link since the last purge
    unsigned m_cyclePercent = 0;               // the link's quality in this cycle
    std::optional<std::uint32_t> m_sweepStart; // the first cycle's time, when sweeping
    LineSettings m_line;
    bool m_attached = false;
    bool m_vanished = false;
    std::shared_ptr<CancelToken> m_waiter; // the open port's token, woken on a power change
};
