// The millisecond clock and the worker's sleep, handed to whoever needs time, so that tests run
// on virtual time.
#pragma once

#include <atomic>
#include <cstdint>

class CancelToken;

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since some start, truncated to 32 bits: it wraps after 49.7 days.
    virtual std::uint32_t Now() = 0;
    // Waits ms milliseconds; false when the cancel came first.
    virtual bool Sleep(std::uint32_t ms, const CancelToken* cancel) = 0;
};

// A worker's sleep: woken by its cancel, which ends the worker with WorkerCancelled.
void SleepOrCancel(IClock& clock, std::uint32_t ms, const CancelToken* cancel);

// Monotonic system time, as the program sees it in production.
class SystemClock : public IClock {
public:
    std::uint32_t Now() override;
    bool Sleep(std::uint32_t ms, const CancelToken* cancel) override;
};

// Virtual time for tests: it moves only when someone sleeps or the test advances it.
class ManualClock : public IClock {
public:
    explicit ManualClock(std::uint32_t start = 0) : m_now(start) {}
    std::uint32_t Now() override { return m_now.load(); }
    bool Sleep(std::uint32_t ms, const CancelToken* cancel) override;
    void Advance(std::uint32_t ms) { m_now.fetch_add(ms); }

private:
    std::atomic<std::uint32_t> m_now;
};
