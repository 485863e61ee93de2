#include "platform/win_thread.h"

#include "platform/cancel_token.h"
#include "platform/ui_queue.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace {
thread_local std::shared_ptr<CancelToken> t_token;
std::atomic<std::uint64_t> g_nextId{1};
std::atomic<int> g_failNextStarts{0};
} // namespace

class ThreadRegistry {
public:
    static ThreadRegistry& Get() {
        static ThreadRegistry registry;
        return registry;
    }

    CWinThread* Add(std::unique_ptr<CWinThread> t) {
        std::lock_guard lock(m_mutex);
        m_threads.push_back(std::move(t));
        return m_threads.back().get();
    }

    void MarkFinished(CWinThread* t) {
        std::lock_guard lock(m_mutex);
        m_finished.push_back(t);
    }

    // Removes and returns the given thread's object, so that it can be joined outside the lock.
    std::unique_ptr<CWinThread> Take(CWinThread* t) {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_threads.begin(), m_threads.end(),
                               [t](const auto& p) { return p.get() == t; });
        if (it == m_threads.end())
            return nullptr;
        std::unique_ptr<CWinThread> owned = std::move(*it);
        m_threads.erase(it);
        std::erase(m_finished, t);
        return owned;
    }

    std::unique_ptr<CWinThread> TakeById(std::uint64_t id) {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_threads.begin(), m_threads.end(),
                               [id](const auto& p) { return p->m_id == id; });
        if (it == m_threads.end())
            return nullptr;
        std::unique_ptr<CWinThread> owned = std::move(*it);
        m_threads.erase(it);
        std::erase(m_finished, owned.get());
        return owned;
    }

    std::vector<CWinThread*> TakeFinishedList() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_finished, {});
    }

    std::vector<CWinThread*> All() {
        std::lock_guard lock(m_mutex);
        std::vector<CWinThread*> all;
        for (const auto& t : m_threads)
            all.push_back(t.get());
        return all;
    }

    int Count() {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_threads.size());
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<CWinThread>> m_threads;
    std::vector<CWinThread*> m_finished;
};

CWinThread::CWinThread() : m_token(std::make_shared<CancelToken>()), m_id(g_nextId++) {}

CWinThread::~CWinThread() {
    if (m_thread.joinable())
        m_thread.join();
}

void CWinThread::CancelAndJoin() {
    m_token->Cancel();
    std::unique_ptr<CWinThread> self = ThreadRegistry::Get().Take(this);
    if (m_thread.joinable())
        m_thread.join();
    // self (when found) deletes this object here; the caller must not use the pointer again.
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param) {
    int pending = g_failNextStarts.load();
    while (pending > 0 && !g_failNextStarts.compare_exchange_weak(pending, pending - 1)) {
    }
    if (pending > 0)
        return nullptr;

    auto owned = std::unique_ptr<CWinThread>(new CWinThread());
    CWinThread* t = owned.get();
    ThreadRegistry& registry = ThreadRegistry::Get();
    registry.Add(std::move(owned));
    try {
        // The thread may end before std::thread's constructor returns; it touches only its
        // token and the registry, never m_thread.
        t->m_thread = std::thread([t, proc, param, token = t->m_token] {
            t_token = token;
            try {
                proc(param);
            } catch (const WorkerCancelled&) {
                // A wait woken by the cancel: the worker ends quietly.
            }
            t_token.reset();
            ThreadRegistry::Get().MarkFinished(t);
            if (!token->IsCancelled())
                Ui().Post([] { ReapFinishedThreads(); });
        });
    } catch (const std::system_error&) {
        registry.Take(t);
        return nullptr;
    }
    return t;
}

std::shared_ptr<CancelToken> CurrentCancelToken() {
    return t_token;
}

void ReapFinishedThreads() {
    ThreadRegistry& registry = ThreadRegistry::Get();
    for (CWinThread* t : registry.TakeFinishedList()) {
        std::unique_ptr<CWinThread> owned = registry.Take(t);
        // ~CWinThread joins: the thread has at most its last few instructions left.
    }
}

void JoinWorker(std::uint64_t id) {
    std::unique_ptr<CWinThread> owned = ThreadRegistry::Get().TakeById(id);
    // ~CWinThread joins.
}

int LiveWorkerThreads() {
    return ThreadRegistry::Get().Count();
}

void CancelAllWorkers() {
    for (CWinThread* t : ThreadRegistry::Get().All())
        t->CancelAndJoin();
}

void FailNextThreadStartsForTests(int n) {
    g_failNextStarts.store(n);
}
