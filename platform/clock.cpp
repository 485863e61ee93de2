#include "platform/clock.h"

#include "platform/cancel_token.h"
#include "platform/win_thread.h"

#include <chrono>
#include <thread>

namespace {
SystemClock g_systemClock;
std::atomic<IClock*> g_clock{&g_systemClock};

long long MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

IClock& Clock() {
    return *g_clock.load(std::memory_order_acquire);
}

void SetClock(IClock* clock) {
    g_clock.store(clock ? clock : &g_systemClock, std::memory_order_release);
}

DWORD GetTickCount() {
    return Clock().Now();
}

void Sleep(DWORD ms) {
    auto token = CurrentCancelToken();
    if (!Clock().Sleep(ms, token.get()))
        throw WorkerCancelled{};
}

DWORD SystemClock::Now() {
    return static_cast<DWORD>(MonotonicMs());
}

bool SystemClock::Sleep(DWORD ms, const CancelToken* cancel) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (!cancel) {
        std::this_thread::sleep_until(deadline);
        return true;
    }
    // The token's own condition variable: Cancel() wakes it, on every system alike.
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (cancel->IsCancelled())
            return false;
        if (now >= deadline)
            return true;
        cancel->WaitFor(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                            std::chrono::milliseconds(1),
                        [] { return false; });
    }
}

bool ManualClock::Sleep(DWORD ms, const CancelToken* cancel) {
    if (cancel && cancel->IsCancelled())
        return false;
    m_now.fetch_add(ms);
    return !(cancel && cancel->IsCancelled());
}
