#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "platform/headless_host.h"
#include "platform/profile_store.h"
#include "platform/ui_queue.h"
#include "platform/win_app.h"
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A UI thread that only serves the queue, for tests without a dialog.
class UiThread {
public:
    UiThread() {
        m_thread = std::thread([this] {
            host.BecomeUiThread();
            while (!m_stop) {
                host.Drain();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            host.Drain();
        });
    }
    ~UiThread() {
        m_stop = true;
        m_thread.join();
    }
    HeadlessHost host;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(AppStartup, NamesComeFromTheExecutableAndArgumentsAreJoinedByBlanks) {
    EXPECT_EQ(AppNameFromPath("/usr/bin/Quillmere"), "Quillmere");
    EXPECT_EQ(AppNameFromPath("C:\\Tools\\Quillmere.EXE"), "Quillmere");
    EXPECT_EQ(AppNameFromPath("./Dach-Ost"), "Dach-Ost");
    EXPECT_EQ(AppNameFromPath(".hidden"), ".hidden");
    const char* argv[] = {"Quillmere", "/d", "x"};
    EXPECT_EQ(CommandLineTail(3, argv), "/d x");
    EXPECT_EQ(CommandLineTail(1, argv), "");
    const char* trailing[] = {"Quillmere", "/d "};
    EXPECT_EQ(CommandLineTail(2, trailing), "/d ");
}

TEST(AppStartup, ProfileIntegersAcceptOnlyWhole32BitNumbers) {
    int v = 7;
    EXPECT_TRUE(ParseProfileInt(" -2 ", v));
    EXPECT_EQ(v, -2);
    EXPECT_TRUE(ParseProfileInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    v = 7;
    for (const char* bad : {"", "abc", "3x", "99999999999", "-", "1.5", "0x10"})
        EXPECT_FALSE(ParseProfileInt(bad, v)) << bad;
    EXPECT_EQ(v, 7);
}

TEST(CallOnUi, WorkersCallsRunOnTheUiThreadInCallOrder) {
    UiThread ui;
    std::vector<int> order;
    std::thread::id uiId;
    ui.host.Sync([&] { uiId = std::this_thread::get_id(); });
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            CallOnUi(ui.host, [&, i] {
                EXPECT_EQ(std::this_thread::get_id(), uiId);
                order.push_back(i);
            });
    });
    worker.join();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
}

namespace {
// A UI queue that nobody serves until the test says so; it tells when something was posted.
class HeldQueue : public IUiQueue {
public:
    void Post(std::function<void()> fn) override {
        {
            std::lock_guard lock(m_mutex);
            m_posted.push_back(std::move(fn));
        }
        m_cv.notify_all();
    }
    bool IsUiThread() const override { return false; }
    bool WaitForPost() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return !m_posted.empty(); });
    }
    void RunPosted() {
        std::vector<std::function<void()>> posted;
        {
            std::lock_guard lock(m_mutex);
            posted.swap(m_posted);
        }
        for (auto& fn : posted)
            fn();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::function<void()>> m_posted;
};
} // namespace

TEST(CallOnUi, ACancelledWorkersPendingCallIsDroppedAndTheWorkerUnwinds) {
    HeldQueue ui;
    std::atomic<int> ranAfterCancel{0};
    std::atomic<bool> unwound{false};
    auto worker = WorkerThread::Start([&](const auto&) {
        try {
            CallOnUi(ui, [&] { ranAfterCancel++; });
        } catch (const WorkerCancelled&) {
            unwound = true;
            throw;
        }
    });
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(ui.WaitForPost()) << "the call never reached the queue";
    worker->CancelAndJoin(); // must not deadlock although the call was never served
    EXPECT_TRUE(unwound);
    ui.RunPosted(); // the queued call is skipped
    EXPECT_EQ(ranAfterCancel, 0);
    EXPECT_EQ(LiveWorkerThreads(), 0);
}

TEST(WorkerThreads, AThreadThatCannotStartGivesNoObject) {
    FailNextThreadStartsForTests(1);
    EXPECT_EQ(WorkerThread::Start([](const auto&) {}), nullptr);
    EXPECT_EQ(LiveWorkerThreads(), 0);
}

TEST(Clock, ManualClockMovesOnlyWhenSleptOnAndWrapsAt32Bits) {
    ManualClock clock(0xFFFFFF00u);
    EXPECT_EQ(clock.Now(), 0xFFFFFF00u);
    SleepOrCancel(clock, 0x200, nullptr);
    EXPECT_EQ(clock.Now(), 0x100u);
    EXPECT_EQ(static_cast<std::uint32_t>(clock.Now() - 0xFFFFFF00u), 0x200u);
}

TEST(Clock, ACancelledSleepEndsAtOnce) {
    CancelToken token;
    token.Cancel();
    SystemClock clock;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(clock.Sleep(5000, &token));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
}
