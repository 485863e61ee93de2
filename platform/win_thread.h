// Worker threads. As with the framework's auto-deleting thread objects, the caller gets a
// pointer it does not own: the object lives until its thread has ended and has been joined.
#pragma once

#include "platform/afx_types.h"

#include <cstdint>
#include <memory>
#include <thread>

class CancelToken;

using AFX_THREADPROC = UINT (*)(void* pParam);

class CWinThread {
public:
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    ~CWinThread();

    // Stops the worker at its next wait and returns once its thread has ended, so that whatever
    // it held (the port above all) has been released. From another thread than the worker's.
    void CancelAndJoin();

    const std::shared_ptr<CancelToken>& Token() const { return m_token; }
    // Never reused, unlike the object's address once it has been joined and freed.
    std::uint64_t Id() const { return m_id; }

private:
    friend CWinThread* AfxBeginThread(AFX_THREADPROC, void*);
    friend class ThreadRegistry;
    CWinThread();

    std::shared_ptr<CancelToken> m_token;
    std::uint64_t m_id;
    std::thread m_thread;
};

// Starts proc(param) on a new thread at once. Returns nullptr when no thread can be started.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param);

// The cancel token of the worker running on the calling thread; empty on other threads.
std::shared_ptr<CancelToken> CurrentCancelToken();

// Joins every worker that has ended by itself. The UI thread calls this when a worker's
// thread function has returned; tests call it to check that nothing is left behind.
void ReapFinishedThreads();
// Waits for a worker that has ended or is about to end by itself, so that no thread outlives
// what started it; nothing when it has been joined already. UI thread only.
void JoinWorker(std::uint64_t id);
// Worker threads not yet joined, running or ended.
int LiveWorkerThreads();
// Cancels and joins every worker; for the end of the program.
void CancelAllWorkers();

// Tests: make the next n thread starts fail, as a system out of resources would.
void FailNextThreadStartsForTests(int n);
