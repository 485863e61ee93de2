// The running link test as its aids see it: every cycle of the last two minutes, the last one
// and the best one since the test started. The tone, the readout, the bar and a report all read
// this one model; the dialog keeps it on the UI thread and tells its observers.
#pragma once

#include "link/transceiver_protocol.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

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

class LinkHistory {
public:
    static constexpr std::uint32_t kSpanMs = 120000;
    // More cycles than the fastest rate makes in the span; a faster source loses its oldest.
    static constexpr std::size_t kMaxSamples = 4096;

    // A new test: the last test's picture goes.
    void Start();
    void Add(LinkSample sample);
    // The test ended or was cancelled; its picture stays until the next Start.
    void End() { m_running = false; }

    bool Running() const { return m_running; }
    const std::deque<LinkSample>& Samples() const { return m_samples; }
    std::optional<LinkSample> Last() const;
    // The best cycle since the start, also when it has left the span; the earliest of equals.
    std::optional<LinkSample> Peak() const { return m_peak; }

private:
    std::deque<LinkSample> m_samples;
    std::optional<LinkSample> m_peak;
    bool m_running = false;
};

// Whoever follows the link test: told on the UI thread.
class ILinkTestObserver {
public:
    virtual ~ILinkTestObserver() = default;
    virtual void TestStarted(const LinkHistory& history) = 0;
    virtual void Cycle(const LinkHistory& history) = 0;
    virtual void TestEnded(const LinkHistory& history) = 0;
};
