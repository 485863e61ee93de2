// The millisecond clock and the worker's sleep, replaceable so tests run on virtual time.
#pragma once

#include "platform/afx_types.h"

#include <atomic>

class CancelToken;

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since some start, truncated to 32 bits: it wraps after 49.7 days.
    virtual DWORD Now() = 0;
    // Waits ms milliseconds; false when the cancel came first.
    virtual bool Sleep(DWORD ms, const CancelToken* cancel) = 0;
};

IClock& Clock();
// nullptr restores the system clock.
void SetClock(IClock* clock);

DWORD GetTickCount();
// A worker's sleep: woken by its cancel, which ends it with WorkerCancelled.
void Sleep(DWORD ms);

// Monotonic system time, as the program sees it in production.
class SystemClock : public IClock {
public:
    DWORD Now() override;
    bool Sleep(DWORD ms, const CancelToken* cancel) override;
};

// Virtual time for tests: it moves only when someone sleeps or the test advances it.
class ManualClock : public IClock {
public:
    explicit ManualClock(DWORD start = 0) : m_now(start) {}
    DWORD Now() override { return m_now.load(); }
    bool Sleep(DWORD ms, const CancelToken* cancel) override;
    void Advance(DWORD ms) { m_now.fetch_add(ms); }

private:
    std::atomic<DWORD> m_now;
};
