#include "platform/worker_thread.h"

#include "platform/cancel_token.h"

#include <atomic>
#include <system_error>

namespace {
thread_local std::shared_ptr<CancelToken> t_token;
std::atomic<int> g_live{0};
std::atomic<int> g_failNextStarts{0};

bool StartFailsForTests() {
    int pending = g_failNextStarts.load();
    while (pending > 0 && !g_failNextStarts.compare_exchange_weak(pending, pending - 1)) {
    }
    return pending > 0;
}
} // namespace

WorkerThread::WorkerThread(Private) : m_token(std::make_shared<CancelToken>()) {}

WorkerThread::~WorkerThread() {
    CancelAndJoin();
}

void WorkerThread::CancelAndJoin() {
    if (!m_thread.joinable())
        return;
    m_token->Cancel();
    m_thread.join();
    g_live.fetch_sub(1);
}

std::unique_ptr<WorkerThread> WorkerThread::Start(Body body) {
    if (StartFailsForTests())
        return nullptr;
    auto worker = std::make_unique<WorkerThread>(Private{});
    // Counted before the thread exists: its body may run before the constructor returns.
    g_live.fetch_add(1);
    try {
        worker->m_thread = std::thread([token = worker->m_token, body = std::move(body)] {
            t_token = token;
            try {
                body(token);
            } catch (const WorkerCancelled&) {
                // A wait woken by the cancel: the worker ends quietly.
            }
            t_token.reset();
        });
    } catch (const std::system_error&) {
        g_live.fetch_sub(1);
        return nullptr;
    }
    return worker;
}

std::shared_ptr<CancelToken> CurrentCancelToken() {
    return t_token;
}

int LiveWorkerThreads() {
    return g_live.load();
}

void FailNextThreadStartsForTests(int n) {
    g_failNextStarts.store(n);
}
