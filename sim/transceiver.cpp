#include "sim/transceiver.h"

#include "platform/cancel_token.h"
#include "platform/clock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr std::uint32_t kConfigurationBaud = 9600;
constexpr std::size_t kPacketSize = 8;
constexpr std::uint32_t kCycleBytes = 1024;
constexpr std::uint32_t kCycleWords = kCycleBytes / 4;

// Operating rate for a baud code of the configuration packet; 0 for an unknown code.
std::uint32_t RateForCode(std::uint8_t code) {
    switch (code) {
    case 0x8B:
        return 19200;
    case 0x89:
        return 38400;
    case 0x83:
        return 57600;
    case 0x81:
        return 115200;
    default:
        return 0;
    }
}

// The fixed bytes of a configuration packet; byte 2 (sensitivity) and byte 5 (baud code) vary.
bool IsConfigurationPacket(std::span<const std::uint8_t> p) {
    return p.size() == kPacketSize && p[0] == 0x0B && p[1] == 0x51 && p[3] == 0x70 &&
           p[4] == 0x43 && RateForCode(p[5]) != 0 && p[6] == 0x90 && p[7] == 0x11;
}

// A receiver at the wrong speed sees framing errors: mostly all-zero or all-one bytes. Never
// the byte that was sent, so nothing sent at a wrong speed can pass for an echo.
std::vector<std::uint8_t> Garbage(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    for (std::uint8_t b : bytes)
        out.push_back(b < 0x80 ? 0xFF : 0x00);
    return out;
}

} // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

Transceiver::Transceiver(SimOptions options, TrafficLog log)
    : m_options(std::move(options)), m_log(std::move(log)), m_powerOn(m_options.powerOn),
      m_configuredRate(m_options.rate) {}

bool Transceiver::PowerOn() const {
    std::lock_guard lock(m_mutex);
    return m_powerOn;
}

void Transceiver::SetPower(bool on) {
    std::shared_ptr<CancelToken> waiter;
    {
        std::lock_guard lock(m_mutex);
        if (m_powerOn == on)
            return;
        SetPowerLocked(on);
        waiter = m_waiter;
    }
    // Outside our lock: the waiter's predicate takes it under the token's own mutex.
    if (waiter)
        waiter->Update([] {});
}

void Transceiver::SetPowerLocked(bool on) {
    m_powerOn = on;
    // A transceiver that has been switched starts up in its configured state, ready.
    m_phase = Phase::Link;
    m_log.Write(on ? "cts on" : "cts off");
}

std::uint32_t Transceiver::ConfiguredRate() const {
    std::lock_guard lock(m_mutex);
    return m_configuredRate;
}

std::uint8_t Transceiver::Sensitivity() const {
    std::lock_guard lock(m_mutex);
    return m_sensitivity;
}

void Transceiver::Vanish() {
    std::shared_ptr<CancelToken> waiter;
    {
        std::lock_guard lock(m_mutex);
        if (m_vanished)
            return;
        m_vanished = true;
        waiter = m_waiter;
        m_log.Write("vanish");
    }
    if (waiter)
        waiter->Update([] {});
}

bool Transceiver::Vanished() const {
    std::lock_guard lock(m_mutex);
    return m_vanished;
}

bool Transceiver::Attach(std::shared_ptr<CancelToken> cancel) {
    std::lock_guard lock(m_mutex);
    if (m_attached)
        return false;
    m_attached = true;
    m_waiter = std::move(cancel);
    m_linkPos = 0;
    m_log.Write("open");
    return true;
}

void Transceiver::Detach() {
    std::lock_guard lock(m_mutex);
    m_attached = false;
    m_waiter.reset();
    // Whatever the readiness phase had left, the transceiver settles while nobody watches.
    m_phase = Phase::Link;
    m_log.Write("close");
}

LineSettings Transceiver::Line() const {
    std::lock_guard lock(m_mutex);
    return m_line;
}

void Transceiver::SetLine(const LineSettings& line) {
    std::lock_guard lock(m_mutex);
    m_line = line;
    m_log.Write("speed " + std::to_string(line.baudRate));
}

Transceiver::PowerWait Transceiver::WaitForPower(bool on, CancelToken& cancel, Timeout timeout,
                                                 IClock& clock) {
    if (PowerOn() == on)
        return PowerWait::Reached;
    if (m_options.user == SimUser::Obedient) {
        if (timeout && timeout->count() < m_options.reactMs) {
            const auto ms = static_cast<std::uint32_t>(std::max<std::int64_t>(timeout->count(), 0));
            return clock.Sleep(ms, &cancel) ? PowerWait::TimedOut : PowerWait::Cancelled;
        }
        if (!clock.Sleep(m_options.reactMs, &cancel))
            return PowerWait::Cancelled;
        SetPower(on);
        return PowerWait::Reached;
    }
    // Nobody switches on our side; a test may still do it through SetPower, which wakes us, as
    // does the adapter vanishing.
    const auto settled = [&] { return PowerOn() == on || Vanished(); };
    if (!timeout)
        return cancel.Wait(settled) ? PowerWait::Reached : PowerWait::Cancelled;
    if (cancel.WaitFor(*timeout, settled))
        return PowerWait::Reached;
    return cancel.IsCancelled() ? PowerWait::Cancelled : PowerWait::TimedOut;
}

std::vector<std::uint8_t> Transceiver::Transmit(std::span<const std::uint8_t> bytes,
                                                std::uint32_t nowMs) {
    std::lock_guard lock(m_mutex);
    if (!m_powerOn)
        return {};
    const std::uint32_t speed = m_line.baudRate;
    if (speed == kConfigurationBaud && bytes.size() == kPacketSize)
        return ConfigurationEcho(bytes);
    if (speed != m_configuredRate)
        return Garbage(bytes);
    switch (m_phase) {
    case Phase::Silent:
        return {};
    case Phase::Readiness: {
        std::size_t n = bytes.size();
        if (!m_options.readyForever) {
            n = std::min<std::size_t>(n, m_readyLeft);
            m_readyLeft -= static_cast<std::uint32_t>(n);
            if (m_readyLeft == 0)
                m_phase = Phase::Silent;
        }
        return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)};
    }
    case Phase::Link:
        break;
    }
    return LinkEcho(bytes, nowMs);
}

std::vector<std::uint8_t> Transceiver::ConfigurationEcho(std::span<const std::uint8_t> packet) {
    if (IsConfigurationPacket(packet)) {
        m_configuredRate = RateForCode(packet[5]);
        m_sensitivity = packet[2];
        m_readyLeft = m_options.readyBytes;
        m_phase = m_options.readyForever || m_readyLeft > 0 ? Phase::Readiness : Phase::Silent;
    }
    std::vector<std::uint8_t> echo(packet.begin(), packet.end());
    switch (m_options.echo) {
    case SimEcho::Good:
        break;
    case SimEcho::None:
        echo.clear();
        break;
    case SimEcho::Short:
        echo.pop_back();
        break;
    case SimEcho::Corrupt:
        echo[3] = static_cast<std::uint8_t>(~echo[3]);
        break;
    }
    return echo;
}

std::vector<std::uint8_t> Transceiver::LinkEcho(std::span<const std::uint8_t> bytes,
                                                std::uint32_t nowMs) {
    if (m_linkPos == 0) { // a cycle keeps the quality it starts with
        m_cyclePercent = m_options.linkPercent;
        if (m_options.linkSweep) {
            m_sweepStart = m_sweepStart.value_or(nowMs);
            m_cyclePercent = SweepLinkPercent(nowMs - *m_sweepStart);
        }
    }
    // Spread the intact words evenly over the cycle: word w is intact when the running share
    // (w + 1) * K / 256 steps up at w, which happens for exactly K of the 256 words.
    const std::uint32_t intactWords = m_cyclePercent * kCycleWords / 100;
    std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
    for (std::uint8_t& b : out) {
        const std::uint32_t word = m_linkPos / 4;
        const bool intact =
            (word + 1) * intactWords / kCycleWords != word * intactWords / kCycleWords;
        // One changed byte in place: the word no longer matches, its neighbours still line up.
        if (!intact && m_linkPos % 4 == 1)
            b ^= 0x20;
        m_linkPos = (m_linkPos + 1) % kCycleBytes;
    }
    return out;
}

void Transceiver::Purge() {
    std::lock_guard lock(m_mutex);
    m_linkPos = 0;
    m_log.Write("purge");
}

void Transceiver::Log(std::string_view line) const {
    std::lock_guard lock(m_mutex);
    m_log.Write(line);
}
