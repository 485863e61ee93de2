// A serial port that fails where a test wants it to: it passes every call through to the port
// it wraps, except the nth call of a chosen kind, which fails (or, for a write, ends as done
// with too few bytes). Installed for every port the program opens while a ScopedPortFaults
// lives.
#pragma once

#include "link/serial_port.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class PortOpener;

enum class PortCall { SetLine, ReadCts, WaitForCts, Write, Read, Purge };
inline constexpr std::size_t kPortCallKinds = 6;

std::string ToString(PortCall call);

struct PortFault {
    PortCall call;
    int nth = 1; // 1 is the first call of that kind on the port
    // Write only: end as done but with one byte fewer than asked for (none of a single byte)
    // instead of failing.
    bool shortWrite = false;
};

// Sees every read that came to an end of its own (done or timed out) before the worker does:
// may change the bytes and their count (up to the buffer's size).
using ReadFilter = std::function<void(std::span<std::uint8_t> buffer, std::size_t& count)>;
// Runs on the worker's thread as each call begins (nth counts the calls of that kind); it may
// block, as a slow driver call would, to let a test act at that very point.
using CallHook = std::function<void(PortCall call, int nth)>;

class FaultPort : public ISerialPort {
public:
    FaultPort(std::unique_ptr<ISerialPort> inner, std::vector<PortFault> faults, ReadFilter filter,
              CallHook hook = {});

    SerialResult SetLine(const LineSettings& line) override;
    SerialResult ReadCts(bool& on) override;
    SerialResult WaitForCts(bool on, Timeout timeout) override;
    SerialResult Write(std::span<const std::uint8_t> data, std::size_t& written,
                       Timeout timeout) override;
    SerialResult Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) override;
    SerialResult Purge() override;

private:
    // Counts the call; the fault planned for it, if any.
    const PortFault* Next(PortCall call);
    // The failure a planned fault makes of call n of its kind.
    SerialResult Injected(PortCall call) const;

    std::unique_ptr<ISerialPort> m_inner;
    std::vector<PortFault> m_faults;
    ReadFilter m_filter;
    CallHook m_hook;
    std::array<int, kPortCallKinds> m_calls{};
};

// While it lives, every port that ports opens is a FaultPort with these faults.
class ScopedPortFaults {
public:
    explicit ScopedPortFaults(PortOpener& ports, std::vector<PortFault> faults = {},
                              ReadFilter filter = {}, CallHook hook = {});
    ~ScopedPortFaults();
    ScopedPortFaults(const ScopedPortFaults&) = delete;
    ScopedPortFaults& operator=(const ScopedPortFaults&) = delete;

private:
    PortOpener& m_ports;
};
