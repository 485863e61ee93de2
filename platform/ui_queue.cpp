#include "platform/ui_queue.h"

#include "platform/cancel_token.h"
#include "platform/win_thread.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {
std::atomic<IUiQueue*> g_ui{nullptr};
}

IUiQueue& Ui() {
    return *g_ui.load(std::memory_order_acquire);
}

void SetUi(IUiQueue* queue) {
    g_ui.store(queue, std::memory_order_release);
}

void CallOnUi(const std::function<void()>& fn) {
    IUiQueue& ui = Ui();
    if (ui.IsUiThread()) {
        fn();
        return;
    }
    std::shared_ptr<CancelToken> token = CurrentCancelToken();
    if (token) {
        if (token->IsCancelled())
            throw WorkerCancelled{};
        auto done = std::make_shared<bool>(false); // guarded by the token's mutex
        ui.Post([token, done, fn] {
            // The cancel is given on this thread too, so this check cannot race with it.
            if (token->IsCancelled())
                return;
            fn();
            token->Update([&] { *done = true; });
        });
        if (!token->Wait([&] { return *done; }))
            throw WorkerCancelled{};
        return;
    }
    struct Done {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto state = std::make_shared<Done>();
    ui.Post([state, fn] {
        fn();
        {
            std::lock_guard lock(state->m);
            state->done = true;
        }
        state->cv.notify_all();
    });
    std::unique_lock lock(state->m);
    state->cv.wait(lock, [&] { return state->done; });
}
