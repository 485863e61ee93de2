// Cancelling either worker wherever it is, closing the dialog while one runs, and a worker
// thread that cannot be started. After a cancel the worker has let go of the port, nothing it
// still had on its way reaches the dialog, and no internal error is reported for the wait that
// the cancel broke off.
#include "tests/support/fault_port.h"
#include "worker_rig.h"

namespace {

struct Phase {
    const char* name;
    int button; // IDC_CONFIGURE or IDC_TEST
    const char* options;
    bool autoMode;
    // How the worker is reached in that phase: a status text to wait for, or a sleep of the
    // program's clock (the pause, the line time of a write, a read's time-out) to hold it in.
    const char* status;
    std::uint32_t holdSleepMs;
    int holdNth;
    bool dirty;
};

void PrintTo(const Phase& p, std::ostream* os) {
    *os << p.name;
}

class CancelIn : public ::testing::TestWithParam<Phase> {};

} // namespace

TEST_P(CancelIn, EveryPhaseLeavesAnIdleDialogAndAFreePort) {
    const Phase& p = GetParam();
    GateClock clock;
    WorkerRig rig(clock, p.options);
    rig.Start();
    if (p.dirty)
        rig.h.host.UserType(IDC_RAS_LINK_NAME, "Mast");
    if (p.autoMode)
        rig.SetAutoMode();
    if (p.holdSleepMs)
        clock.HoldSleepOf(p.holdSleepMs, p.holdNth);
    rig.Click(p.button);
    if (p.holdSleepMs)
        ASSERT_TRUE(clock.WaitUntilHeld());
    else
        ASSERT_TRUE(rig.WaitStatus(p.status));

    rig.Click(p.button);
    ASSERT_TRUE(rig.WaitStatus(""));
    const std::string click =
        p.button == IDC_TEST ? "user click IDC_TEST" : "user click IDC_CONFIGURE";
    // Once the click is handled, the cancel's own end step and the cleared status line are the
    // last things the dialog ever sees of this operation.
    EXPECT_EQ(rig.ReportsAfter(click), CancelledEnd(p.button));
    EXPECT_EQ(rig.SimLog().back(), "close");
    rig.ExpectIdle(p.dirty);
    // Even let go, the held sleeper adds nothing once its thread is gone.
    const std::vector<std::string> seen = rig.After(click);
    clock.Release();
    ASSERT_TRUE(WaitUntil([] { return LiveWorkerThreads() == 0; }));
    rig.h.host.Sync([] {});
    EXPECT_EQ(rig.After(click), seen);
}

INSTANTIATE_TEST_SUITE_P(
    Workers, CancelIn,
    ::testing::Values(
        Phase{"ConfigureWaitingForOff", IDC_CONFIGURE, "power=on,user=absent", false,
              "Laser-Transceiver zuerst ausschalten", 0, 0, false},
        Phase{"ConfigureWaitingForOn", IDC_CONFIGURE, "power=off,user=absent", false,
              "Laser-Transceiver einschalten", 0, 0, true},
        Phase{"ConfigureWaitingForOnAutomatic", IDC_CONFIGURE, "power=off,user=absent", true,
              "Laser-Transceiver einschalten", 0, 0, false},
        Phase{"ConfigureUserSwitching", IDC_CONFIGURE, "power=off,react=300", false, nullptr, 300,
              1, false},
        Phase{"ConfigurePauseBeforePacket", IDC_CONFIGURE, "power=off", true, nullptr, 500, 1,
              false},
        Phase{"ConfigurePauseBeforePacketDirty", IDC_CONFIGURE, "power=off", false, nullptr, 500, 1,
              true},
        // 8 bytes at 9600 baud are 8 ms on the line.
        Phase{"ConfigureWritingPacket", IDC_CONFIGURE, "power=off", false, nullptr, 8, 1, false},
        Phase{"ConfigureReadingEcho", IDC_CONFIGURE, "power=off,echo=none", true, nullptr, 100, 1,
              false},
        Phase{"ConfigureReadinessLoop", IDC_CONFIGURE, "power=off,ready=forever", true,
              "Warten, bis Transceiver bereit ist...", 0, 0, false},
        // At 115200 baud a millisecond of line time gathers every dozen bytes.
        Phase{"ConfigureReadinessWrite", IDC_CONFIGURE, "power=off,ready=forever", false, nullptr,
              1, 3, true},
        // With ready=0 the first readiness read waits out its 100 ms.
        Phase{"ConfigureReadinessRead", IDC_CONFIGURE, "power=off,ready=0", false, nullptr, 100, 1,
              false},
        Phase{"TestByHand", IDC_TEST, "power=on", false, "Der Laser ist eingeschaltet", 0, 0,
              false},
        Phase{"TestWritingPattern", IDC_TEST, "power=on", false, nullptr, 1, 40, true},
        Phase{"TestAutomatic", IDC_TEST, "power=on", true, nullptr, 1, 20, false},
        Phase{"TestAfterBadLinkWarning", IDC_TEST, "power=on,link=90", true,
              "Schlechte Verbindung - Ausrichten erforderlich", 0, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Closing the dialog stops a running worker the way its cancel button does, before the dialog
// goes: the program's user-interface thread ends and nothing is left running.
TEST(CloseWhileRunning, EscapeStopsTheWorkerAndTheProgramEnds) {
    struct Case {
        const char* name;
        int button;
        const char* options;
        const char* status;
    };
    const Case cases[] = {
        {"configuration waiting", IDC_CONFIGURE, "power=off,user=absent",
         "Laser-Transceiver einschalten"},
        {"configuration readiness", IDC_CONFIGURE, "power=off,ready=forever",
         "Warten, bis Transceiver bereit ist..."},
        {"link test", IDC_TEST, "power=on", "Der Laser ist eingeschaltet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        WorkerRig rig(clock, c.options);
        rig.Start();
        rig.Click(c.button);
        ASSERT_TRUE(rig.WaitStatus(c.status));
        rig.h.host.UserPressEscape();
        ASSERT_TRUE(WaitUntil([&] { return rig.h.Done(); }))
            << "the program's UI thread did not end";
        std::vector<std::string> end = CancelledEnd(c.button);
        end.push_back("end IDD_MAIN 2");
        EXPECT_EQ(rig.ReportsAfter("user escape"), end);
        EXPECT_EQ(LiveWorkerThreads(), 0);
        EXPECT_TRUE(rig.PortOpensAgain());
        EXPECT_EQ(rig.SimLog().back(), "close");
    }
}

// A system out of threads: the operation ends at once as a failure, nothing left half done.
TEST(ThreadStartFailure, EndsTheOperationAsFailure) {
    for (int button : {IDC_CONFIGURE, IDC_TEST}) {
        SCOPED_TRACE(button);
        ManualClock clock;
        WorkerRig rig(clock, "power=on");
        rig.Start();
        rig.SetAutoMode();
        FailNextThreadStartsForTests(1);
        rig.Click(button);
        const std::string idle = button == IDC_TEST ? "text IDC_TEST \"Testen\""
                                                    : "text IDC_CONFIGURE \"Konfigurieren\"";
        ASSERT_TRUE(rig.WaitLine(idle));
        // Started and ended in the same step: "Abbrechen" shown once, and nothing reported.
        EXPECT_EQ(rig.Count(button == IDC_TEST ? "text IDC_TEST \"Abbrechen\""
                                               : "text IDC_CONFIGURE \"Abbrechen\""),
                  1u);
        EXPECT_EQ(rig.ReportsAfter(button == IDC_TEST ? "user click IDC_TEST"
                                                      : "user click IDC_CONFIGURE"),
                  button == IDC_TEST ? std::vector<std::string>{"pos IDC_LINK_QUALITY 0"}
                                     : std::vector<std::string>{});
        EXPECT_TRUE(rig.SimLog().empty()) << "the port was never opened";
        rig.ExpectIdle(false);
    }
}

// In the automatic sequence the configuration's end step starts the test; if that thread
// cannot be had, the sequence ends in manual mode with the dialog given back.
TEST(ThreadStartFailure, TestThreadMissingAfterAutomaticConfiguration) {
    GateClock clock;
    WorkerRig rig(clock, "power=off");
    rig.Start();
    rig.SetAutoMode();
    clock.HoldSleepOf(500);
    rig.Click(IDC_CONFIGURE);
    ASSERT_TRUE(clock.WaitUntilHeld());
    FailNextThreadStartsForTests(1);
    clock.Release();
    ASSERT_TRUE(rig.WaitLine("text IDC_TEST \"Testen\""));
    EXPECT_EQ(rig.Count("text IDC_TEST \"Abbrechen\""), 1u) << "the test was started";
    EXPECT_EQ(rig.ReportsAfter("text IDC_STATUS \"\""),
              std::vector<std::string>{"pos IDC_LINK_QUALITY 0"});
    rig.ExpectIdle(false);
}

// The cancel may come while the worker is inside a serial call that does not wait at all (a
// slow driver call). That call may finish, but no further one may follow the click.
TEST(CancelBetweenCalls, NoSerialCallFollowsTheClick) {
    struct Case {
        const char* name;
        int button;
        const char* options;
        PortCall held;
        std::vector<std::string> log; // the whole traffic, the port's closing included
    };
    const Case cases[] = {
        // The line set-up itself goes through; the packet that would follow does not.
        {"configuration, setting the line to 9600 baud",
         IDC_CONFIGURE,
         "power=off",
         PortCall::SetLine,
         {"open", "cts on", "speed 9600", "close"}},
        // Next would come the line set-up at the operating rate.
        {"link test, reading CTS", IDC_TEST, "power=on", PortCall::ReadCts, {"open", "close"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        WorkerRig rig(clock, c.options);
        std::mutex m;
        std::condition_variable cv;
        bool inside = false;
        ScopedPortFaults hold(rig.h.app.Ports(), {}, {}, [&](PortCall call, int nth) {
            if (call != c.held || nth != 1)
                return;
            {
                std::lock_guard lock(m);
                inside = true;
            }
            cv.notify_all();
            // Like a slow driver call, it returns only once the cancel has been given.
            CurrentCancelToken()->WaitFor(std::chrono::seconds(10), [] { return false; });
        });
        rig.Start();
        rig.Click(c.button);
        {
            std::unique_lock lock(m);
            ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return inside; }));
        }
        rig.Click(c.button);
        ASSERT_TRUE(rig.WaitStatus(""));
        EXPECT_EQ(rig.SimLog(), c.log);
        rig.ExpectIdle(false);
    }
}

// Start and cancel at once, over and over: whatever the worker had got to, the dialog ends
// idle and the port free.
TEST(CancelRightAfterStart, AnyPointOfTheStartIsSafe) {
    for (int button : {IDC_CONFIGURE, IDC_TEST}) {
        SCOPED_TRACE(button);
        ManualClock clock;
        WorkerRig rig(clock, "power=on,user=absent");
        rig.Start();
        const std::string click =
            button == IDC_TEST ? "user click IDC_TEST" : "user click IDC_CONFIGURE";
        for (int i = 0; i < 100; ++i) {
            rig.h.host.ClearTranscript();
            rig.Click(button);
            if (i % 2) // a little later into the start each time: the sleep is the variation
                std::this_thread::sleep_for(std::chrono::microseconds(i * 10));
            rig.Click(button);
            ASSERT_TRUE(rig.WaitStatus(""));
            ASSERT_TRUE(rig.ReportsAfter(click) == CancelledEnd(button)) << "round " << i;
            ASSERT_TRUE(rig.PortOpensAgain()) << "round " << i;
        }
        rig.ExpectIdle(false);
        EXPECT_TRUE(rig.h.host.Lines("messagebox").empty());
    }
}
