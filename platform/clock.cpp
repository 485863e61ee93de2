#include "platform/clock.h"

#include "platform/cancel_token.h"
#include "platform/win_thread.h"

#include <cerrno>
#include <ctime>
#include <poll.h>

namespace {
SystemClock g_systemClock;
std::atomic<IClock*> g_clock{&g_systemClock};

long long MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
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
    const long long deadline = MonotonicMs() + ms;
    for (;;) {
        if (cancel && cancel->IsCancelled())
            return false;
        const long long left = deadline - MonotonicMs();
        if (left <= 0)
            return true;
        pollfd pfd{cancel ? cancel->Fd() : -1, POLLIN, 0};
        int rc = ::poll(&pfd, 1, static_cast<int>(left));
        if (rc < 0 && errno != EINTR)
            return !(cancel && cancel->IsCancelled());
    }
}

bool ManualClock::Sleep(DWORD ms, const CancelToken* cancel) {
    if (cancel && cancel->IsCancelled())
        return false;
    m_now.fetch_add(ms);
    return !(cancel && cancel->IsCancelled());
}
