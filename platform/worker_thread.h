// A worker thread owned by whoever started it. Destroying it cancels the worker and waits until
// its thread has ended, so that whatever the worker held (a port above all) has been released.
#pragma once

#include <functional>
#include <memory>
#include <thread>

class CancelToken;

class WorkerThread {
public:
    using Body = std::function<void(const std::shared_ptr<CancelToken>& cancel)>;

    // Runs body on a new thread at once; nothing when the system gives no thread. A wait of the
    // body woken by the cancel (WorkerCancelled) ends it quietly.
    static std::unique_ptr<WorkerThread> Start(Body body);

    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // From any thread but the worker's own.
    void CancelAndJoin();
    const std::shared_ptr<CancelToken>& Token() const { return m_token; }

    struct Private {};
    explicit WorkerThread(Private);

private:
    std::shared_ptr<CancelToken> m_token;
    std::thread m_thread;
};

// The cancel token of the worker running on the calling thread; empty on other threads. The
// UI call of a worker reads it, so that a cancelled worker's call is dropped.
std::shared_ptr<CancelToken> CurrentCancelToken();

// Worker threads started and not yet joined; for tests that check nothing is left behind.
int LiveWorkerThreads();

// Tests: make the next n thread starts fail, as a system out of resources would.
void FailNextThreadStartsForTests(int n);
