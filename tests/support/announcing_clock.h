// Real time that tells when a sleep has begun: a test can then act while its sleeper is inside
// the sleep, not before it got there.
#pragma once

#include "platform/clock.h"
#include "tests/support/wait_until.h"

#include <atomic>

class AnnouncingClock : public IClock {
public:
    std::uint32_t Now() override { return m_real.Now(); }
    bool Sleep(std::uint32_t ms, const CancelToken* cancel) override {
        ++m_sleeps;
        return m_real.Sleep(ms, cancel);
    }
    // Whether a sleep began within ten seconds.
    bool WaitForSleep() {
        return WaitUntil([&] { return m_sleeps.load() > 0; });
    }

private:
    SystemClock m_real;
    std::atomic<int> m_sleeps{0};
};
