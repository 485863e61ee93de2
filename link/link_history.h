// The running link test as its aids see it: every cycle of the last two minutes, the last one
// and the best one since the test started. The tone, the readout, the bar and a report all read
// this one model; the dialog keeps it on the UI thread and tells its observers.
#pragma once

#include "link/port_discovery.h"
#include "link/transceiver_protocol.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

// One cycle: when it ended, counted from the test's start, and the words that came back.
struct LinkSample {
    std::uint32_t elapsedMs = 0;
    int matches = 0;

    // The test's own integer rule: 230 words are 89 % and bad, 231 are 90 % and good.
    int Percent() const {
        return static_cast<int>(static_cast<unsigned>(matches) * 100 / kExpectedWords);
    }
    bool Good() const { return !IsBadCycle(static_cast<unsigned>(matches)); }
};

// How a test began and ended, and on what: handed to the history by the dialog, read by
// whoever records the test.
enum class LinkTestStart { ByHand, Automatic };
enum class LinkTestEnd { Passed, ManualThenCancelled, Cancelled, Failed, PortMissing };

struct LinkTestInfo {
    std::string startedAt; // local time with its offset, "2026-12-10T08:30:00+0100"
    std::string port;      // "COM1"
    std::string device;    // what the port stands for: a device path or "sim:..."
    int baudRate = 0;
    int sensitivity = 0;
    LinkTestStart start = LinkTestStart::ByHand;
    // The device behind the port where the system's device list knows it.
    std::optional<SerialDevice> hardware{};
};

class LinkHistory {
public:
    static constexpr std::uint32_t kSpanMs = 120000;
    // More cycles than the fastest rate makes in the span; a faster source loses its oldest.
    static constexpr std::size_t kMaxSamples = 4096;

    // A new test: the last test's picture goes.
    void Start(LinkTestInfo info = {}, std::uint32_t nowMs = 0);
    void Add(LinkSample sample);
    // The test ended or was cancelled; its picture stays until the next Start.
    void End(LinkTestEnd end = LinkTestEnd::Cancelled, std::uint32_t nowMs = 0) {
        m_running = false;
        m_end = end;
        m_durationMs = nowMs - m_startMs;
    }
    const LinkTestInfo& Info() const { return m_info; }
    // Valid once the test has ended.
    LinkTestEnd Outcome() const { return m_end; }
    std::uint32_t DurationMs() const { return m_durationMs; }

    bool Running() const { return m_running; }
    const std::deque<LinkSample>& Samples() const { return m_samples; }
    std::optional<LinkSample> Last() const;
    // The best cycle since the start, also when it has left the span; the earliest of equals.
    std::optional<LinkSample> Peak() const { return m_peak; }

private:
    std::deque<LinkSample> m_samples;
    std::optional<LinkSample> m_peak;
    bool m_running = false;
    LinkTestInfo m_info;
    LinkTestEnd m_end = LinkTestEnd::Cancelled;
    std::uint32_t m_startMs = 0;
    std::uint32_t m_durationMs = 0;
};

// Whoever follows the link test: told on the UI thread.
class ILinkTestObserver {
public:
    virtual ~ILinkTestObserver() = default;
    virtual void TestStarted(const LinkHistory& history) = 0;
    virtual void Cycle(const LinkHistory& history) = 0;
    virtual void TestEnded(const LinkHistory& history) = 0;
};
