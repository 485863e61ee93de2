// A worker's stop signal. Every wait a worker can be in watches it: blocking serial calls
// poll its descriptor, condition waits use its own mutex and condition variable.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class CancelToken {
public:
    CancelToken();
    ~CancelToken();
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    void Cancel();
    bool IsCancelled() const { return m_cancelled.load(std::memory_order_acquire); }

    // Becomes readable once cancelled; for poll() next to the port's descriptor (POSIX).
    int Fd() const { return m_fd; }
    // A manual-reset event that is set once cancelled; for waits on overlapped I/O (Windows).
    void* Event() const { return m_event; }

    // Waits until pred() holds (true) or the token is cancelled (false). pred is evaluated
    // under the token's mutex; whoever makes it true must call Notify().
    template <class Pred> bool Wait(Pred pred) const {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return IsCancelled() || pred(); });
        return !IsCancelled();
    }
    // As Wait, but gives up after the timeout; returns whether pred() holds and no cancel came.
    template <class Pred> bool WaitFor(std::chrono::milliseconds timeout, Pred pred) const {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, timeout, [&] { return IsCancelled() || pred(); });
        return !IsCancelled() && pred();
    }
    // Runs fn under the token's mutex, then wakes the waiters.
    template <class Fn> void Update(Fn fn) {
        {
            std::lock_guard lock(m_mutex);
            fn();
        }
        m_cv.notify_all();
    }

private:
    std::atomic<bool> m_cancelled{false};
    int m_fd = -1;
    void* m_event = nullptr;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
};

// Thrown inside a worker when a wait was ended by its cancel; the worker's top level swallows it.
struct WorkerCancelled {};
