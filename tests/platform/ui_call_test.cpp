#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "platform/headless_host.h"
#include "platform/ui_queue.h"
#include "platform/win_app.h"
#include "platform/win_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A UI thread that only serves the queue, for tests without a dialog.
class UiThread {
public:
    UiThread() {
        SetUi(&host);
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
            CallOnUi([&, i] {
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
std::atomic<int> g_ranAfterCancel{0};
std::atomic<bool> g_workerStarted{false};
std::atomic<bool> g_workerEnded{false};

UINT BlockedOnUi(void*) {
    g_workerStarted = true;
    try {
        CallOnUi([] { g_ranAfterCancel++; });
    } catch (...) {
        g_workerEnded = true;
        throw;
    }
    return 0;
}
} // namespace

TEST(CallOnUi, ACancelledWorkersPendingCallIsDroppedAndTheWorkerUnwinds) {
    HeadlessHost host;
    SetUi(&host);
    host.BecomeUiThread(); // this thread is the UI thread, and it serves nothing while waiting
    CWinThread* worker = AfxBeginThread(BlockedOnUi, nullptr);
    ASSERT_NE(worker, nullptr);
    while (!g_workerStarted)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    worker->CancelAndJoin(); // must not deadlock although the call was never served
    EXPECT_TRUE(g_workerEnded);
    host.Drain(); // the queued call is skipped
    EXPECT_EQ(g_ranAfterCancel, 0);
    EXPECT_EQ(LiveWorkerThreads(), 0);
}

TEST(WorkerThreads, AThreadThatCannotStartGivesNoObject) {
    FailNextThreadStartsForTests(1);
    EXPECT_EQ(AfxBeginThread([](void*) -> UINT { return 0; }, nullptr), nullptr);
    EXPECT_EQ(LiveWorkerThreads(), 0);
}

TEST(Clock, ManualClockMovesOnlyWhenSleptOnAndWrapsAt32Bits) {
    ManualClock clock(0xFFFFFF00u);
    SetClock(&clock);
    EXPECT_EQ(GetTickCount(), 0xFFFFFF00u);
    Sleep(0x200);
    EXPECT_EQ(GetTickCount(), 0x100u);
    EXPECT_EQ(static_cast<DWORD>(GetTickCount() - 0xFFFFFF00u), 0x200u);
    SetClock(nullptr);
}

TEST(Clock, ACancelledSleepEndsAtOnce) {
    CancelToken token;
    token.Cancel();
    SystemClock clock;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(clock.Sleep(5000, &token));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
}
