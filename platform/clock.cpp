#include "platform/clock.h"

#include "platform/cancel_token.h"

#include <chrono>
#include <thread>

namespace {
long long MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

void SleepOrCancel(IClock& clock, std::uint32_t ms, const CancelToken* cancel) {
    if (!clock.Sleep(ms, cancel))
        throw WorkerCancelled{};
}

std::uint32_t SystemClock::Now() {
    return static_cast<std::uint32_t>(MonotonicMs());
}

bool SystemClock::Sleep(std::uint32_t ms, const CancelToken* cancel) {
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

bool ManualClock::Sleep(std::uint32_t ms, const CancelToken* cancel) {
    if (cancel && cancel->IsCancelled())
        return false;
    m_now.fetch_add(ms);
    return !(cancel && cancel->IsCancelled());
}
