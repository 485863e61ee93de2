#include "sequence_support.h"

#include "res/resource.h"
#include "sim/sim_port.h"

#include <algorithm>

namespace {

struct HangUpRun {
    int exitCode = -1;
    HRASCONN hungUp = 0;
    bool shown = true; // the main dialog got past its initialisation still open
    std::string err;
};

// Runs the program with "/d"; it must end by itself before it shows anything.
HangUpRun RunHangUpMode(bool bindService, std::vector<RASCONN> active) {
    HangUpRun run;
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    dialup.active = std::move(active);
    dialup.hangUpIsAnError =
        std::none_of(dialup.active.begin(), dialup.active.end(),
                     [](const RASCONN& c) { return c.szEntryName == "mast nord"; });
    if (bindService)
        dialup.Bind(h);
    h.Set("RAS Link Name", "Mast Nord");
    ::testing::internal::CaptureStderr();
    h.Start({"/d"});
    const bool ended = h.WaitForEnd();
    run.err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ended) << "the hang-up start did not end";
    if (!ended)
        return run;
    run.exitCode = h.ExitCode();
    run.hungUp = dialup.hungUp;
    const std::vector<std::string> t = h.host.Transcript();
    const auto end = std::find(t.begin(), t.end(), "end IDD_MAIN 2");
    run.shown = end == t.end() || std::find(t.begin(), end, "ready IDD_MAIN") != end;
    return run;
}

} // namespace

TEST_F(StartMode, HangUpModeEndsTheNamedConnectionAndExitsWithoutShowingAnything) {
    const HangUpRun run = RunHangUpMode(true, {{7, "Andere"}, {42, "mast nord"}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.hungUp, 42u);
    EXPECT_FALSE(run.shown);
}

TEST_F(StartMode, HangUpModeWithNothingToHangUpOrNoServiceStillExitsZero) {
    const HangUpRun nothing = RunHangUpMode(true, {{7, "Andere"}});
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_EQ(nothing.hungUp, 0u);
    const HangUpRun unbound = RunHangUpMode(false, {{42, "mast nord"}});
    EXPECT_EQ(unbound.exitCode, 0);
    EXPECT_FALSE(unbound.shown);
    EXPECT_NE(unbound.err.find("not bound"), std::string::npos) << unbound.err;
}

TEST_F(StartMode, AnythingButExactlySlashDStartsNormally) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"/D"}, {"/d "}, {"/d", "x"}, {"-platform", "offscreen"}, {"/dx"}}) {
        FakeDialup dialup;
        AppHarness h;
        dialup.Bind(h);
        h.Start(args);
        EXPECT_EQ(dialup.hangUps, 0);
        EXPECT_TRUE(h.host.Lines("end IDD_MAIN").empty());
    }
}

TEST_F(StartMode, ATransceiverAlreadyOnSkipsTheConfiguration) {
    VirtualTime time;
    AppHarness h;
    time.For(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=on"));
    h.Start();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_STATUS \"Prüfe Link-Qualität...\""));
    EXPECT_TRUE(h.host.Lines("text IDC_STATUS \"Laser-Transceiver").empty());
    EXPECT_EQ(h.host.Text(IDC_TEST), "Abbrechen");
    EXPECT_TRUE(h.OnUi([&] { return h.Dialog().State().autoMode; }));
}

TEST_F(StartMode, ATransceiverSwitchedOffStartsTheConfiguration) {
    VirtualTime time;
    AppHarness h;
    time.For(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=off,user=absent"));
    h.Start();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_STATUS \"Laser-Transceiver einschalten\""));
    EXPECT_EQ(h.host.Text(IDC_CONFIGURE), "Abbrechen");
    EXPECT_TRUE(h.OnUi([&] { return h.Dialog().State().autoMode; }));
}

TEST_F(StartMode, ABusyPortWithTheConnectionUpOffersOnlyHangingUp) {
    const std::string sim = UniqueSim("power=on");
    ManualClock clock;
    OpenResult held = OpenSimulatedPort(sim.substr(4), nullptr, clock); // another program has it
    ASSERT_TRUE(held.port);
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    dialup.active = {{42, "Mast"}};
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", sim);
    h.Set("RAS Link Name", "Mast");
    h.Start();
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Trennen");
    EXPECT_TRUE(h.host.Enabled(IDC_CONNECT));
    EXPECT_FALSE(h.host.Enabled(IDC_CONFIGURE));
    EXPECT_FALSE(h.host.Enabled(IDC_TEST));
    EXPECT_EQ(h.host.Text(IDC_STATUS), "") << "the probe reports nothing";
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Verbinden\""));
    EXPECT_EQ(dialup.hungUp, 42u);
}

TEST_F(StartMode, ABusyPortWithoutTheConnectionGivesAPlainManualDialog) {
    const std::string sim = UniqueSim("power=on");
    ManualClock clock;
    OpenResult held = OpenSimulatedPort(sim.substr(4), nullptr, clock);
    ASSERT_TRUE(held.port);
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    dialup.active = {{42, "Anderer Name"}};
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", sim);
    h.Set("RAS Link Name", "Mast");
    h.Start();
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_TRUE(h.host.Enabled(IDC_CONFIGURE));
    EXPECT_TRUE(h.host.Enabled(IDC_TEST));
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RasConn(); }), 0u);
}
