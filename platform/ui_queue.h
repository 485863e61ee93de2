// The user-interface thread's work queue, and how any thread gets work done on it.
#pragma once

#include <functional>

class IUiQueue {
public:
    virtual ~IUiQueue() = default;
    // Runs fn later on the UI thread, in posting order. Safe from any thread.
    virtual void Post(std::function<void()> fn) = 0;
    virtual bool IsUiThread() const = 0;
};

// Runs fn on the UI thread and returns when it has run. On the UI thread itself fn runs at once.
// Called from a worker, the wait ends with WorkerCancelled if the worker is cancelled first; fn
// is then dropped and never runs, so it may refer to the worker's own stack.
void CallOnUi(IUiQueue& ui, const std::function<void()>& fn);
