#include "platform/ui_queue.h"

#include "platform/cancel_token.h"
#include "platform/worker_thread.h"

#include <condition_variable>
#include <memory>
#include <mutex>

void CallOnUi(IUiQueue& ui, const std::function<void()>& fn) {
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
