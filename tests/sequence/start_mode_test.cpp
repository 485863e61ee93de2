#include "sequence_support.h"

#include "res/resource.h"
#include "sim/sim_port.h"

#include <algorithm>

namespace {
// Runs the program with "/d" on this thread; the process must end inside.
void RunHangUpMode(bool bindService, std::vector<RASCONN> active) {
    AppHarness h;
    FakeDialup dialup;
    dialup.active = std::move(active);
    dialup.hangUpIsAnError =
        std::none_of(dialup.active.begin(), dialup.active.end(),
                     [](const RASCONN& c) { return c.szEntryName == "mast nord"; });
    if (bindService)
        dialup.Bind(h);
    else
        h.store->Write("Dialup", "Service", "none");
    h.Set("RAS Link Name", "Mast Nord");
    h.app.SetProfileStore(h.store);
    const char* argv[] = {"Quillmere", "/d"};
    h.app.SetStartup(2, argv);
    h.app.InitInstance();
    std::exit(3);
}
} // namespace

TEST_F(StartMode, HangUpModeEndsTheNamedConnectionAndExitsWithoutShowingAnything) {
    EXPECT_EXIT(RunHangUpMode(true, {{7, "Andere"}, {42, "mast nord"}}),
                ::testing::ExitedWithCode(0), "fake hangup 42");
}

TEST_F(StartMode, HangUpModeWithNothingToHangUpOrNoServiceStillExitsZero) {
    EXPECT_EXIT(RunHangUpMode(true, {{7, "Andere"}}), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(RunHangUpMode(false, {{42, "mast nord"}}), ::testing::ExitedWithCode(0),
                "not bound");
}

TEST_F(StartMode, AnythingButExactlySlashDStartsNormally) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"/D"}, {"/d "}, {"/d", "x"}, {"-platform", "offscreen"}, {"/dx"}}) {
        AppHarness h;
        FakeDialup dialup;
        dialup.Bind(h);
        h.Start(args);
        EXPECT_EQ(dialup.hangUps, 0);
        EXPECT_TRUE(h.host.Lines("end IDD_MAIN").empty());
    }
}

TEST_F(StartMode, ATransceiverAlreadyOnSkipsTheConfiguration) {
    VirtualTime time;
    AppHarness h;
    h.store->Write("Ports", "COM1", UniqueSim("power=on"));
    h.Start();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_STATUS \"Prüfe Link-Qualität...\""));
    EXPECT_TRUE(h.host.Lines("text IDC_STATUS \"Laser-Transceiver").empty());
    EXPECT_EQ(h.host.Text(IDC_TEST), "Abbrechen");
    EXPECT_TRUE(h.OnUi([&] { return static_cast<bool>(h.Dialog().m_bAutoMode); }));
}

TEST_F(StartMode, ATransceiverSwitchedOffStartsTheConfiguration) {
    VirtualTime time;
    AppHarness h;
    h.store->Write("Ports", "COM1", UniqueSim("power=off,user=absent"));
    h.Start();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_STATUS \"Laser-Transceiver einschalten\""));
    EXPECT_EQ(h.host.Text(IDC_CONFIGURE), "Abbrechen");
    EXPECT_TRUE(h.OnUi([&] { return static_cast<bool>(h.Dialog().m_bAutoMode); }));
}

TEST_F(StartMode, ABusyPortWithTheConnectionUpOffersOnlyHangingUp) {
    const std::string sim = UniqueSim("power=on");
    OpenResult held = OpenSimulatedPort(sim.substr(4), nullptr); // another program has it
    ASSERT_TRUE(held.port);
    AppHarness h;
    FakeDialup dialup;
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
    OpenResult held = OpenSimulatedPort(sim.substr(4), nullptr);
    ASSERT_TRUE(held.port);
    AppHarness h;
    FakeDialup dialup;
    dialup.active = {{42, "Anderer Name"}};
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", sim);
    h.Set("RAS Link Name", "Mast");
    h.Start();
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_TRUE(h.host.Enabled(IDC_CONFIGURE));
    EXPECT_TRUE(h.host.Enabled(IDC_TEST));
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().m_hRasConn; }), 0u);
}
