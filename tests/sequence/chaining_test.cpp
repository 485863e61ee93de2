#include "sequence_support.h"

#include "res/resource.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

class Chaining : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

bool AutoMode(AppHarness& h) {
    return h.OnUi([&] { return static_cast<bool>(h.Dialog().m_bAutoMode); });
}

bool Idle(AppHarness& h) {
    return h.OnUi([&] {
        return !h.Dialog().m_pConfigureThread && !h.Dialog().m_pTestThread &&
               h.Dialog().m_hPort == INVALID_HANDLE_VALUE;
    });
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

namespace {
void RunWholeSequence(const std::string& trace) {
    VirtualTime time;
    AppHarness h;
    FakeDialup dialup;
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=off,user=obedient"));
    h.Set("RAS Link Name", "Mast");
    h.Set("Run Program", TouchCommand(trace));
    h.Start();
    h.host.WaitForLine("never", std::chrono::seconds(30));
    std::exit(3); // the sequence must have ended the process before this
}
} // namespace

TEST_F(Chaining, TheWholeSequenceConfiguresTestsDialsStartsTheFollowUpAndExitsZero) {
    // The death test runs this body again in its child: the child must use the parent's folder.
    if (!std::getenv("QM_CHAIN_DIR")) {
        const std::string made = MakeTempDir("qm-chain-");
        ASSERT_FALSE(made.empty());
        SetEnv("QM_CHAIN_DIR", made);
    }
    const std::filesystem::path dir = std::getenv("QM_CHAIN_DIR");
    const std::filesystem::path trace = dir / "follow-up";
    EXPECT_EXIT(RunWholeSequence(trace.string()), ::testing::ExitedWithCode(0), "fake dial Mast");
    // The follow-up program was started before the exit (it may still be finishing).
    for (int i = 0; i < 100 && !std::filesystem::exists(trace); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(trace));
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    UnsetEnv("QM_CHAIN_DIR");
}

TEST_F(Chaining, ConfigurationSuccessStartsTheTestAtTheOperatingRate) {
    VirtualTime time;
    AppHarness h;
    const std::string sim = UniqueSim("power=off,user=obedient,ready=3");
    h.store->Write("Ports", "COM1", sim);
    h.Set("Baudrate", "1");
    h.Start();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_STATUS \"Prüfe Link-Qualität...\""));
    ASSERT_TRUE(h.host.WaitForLine("pos IDC_LINK_QUALITY 256")); // a whole cycle went over the line
    h.Close();
    const std::string log = Slurp(sim.substr(sim.find("log=") + 4));
    const size_t packet = log.find("tx 0b 51 64 70 43 89 90 11");
    ASSERT_NE(packet, std::string::npos) << log;
    EXPECT_LT(log.rfind("speed 9600", packet), packet);
    EXPECT_NE(log.find("speed 38400", packet), std::string::npos);
    EXPECT_NE(log.find("tx 54 45 53 54", packet), std::string::npos);
}

TEST_F(Chaining, ABadLinkKeepsTheTestRunningWithTheWarningAndNeverDials) {
    VirtualTime time;
    AppHarness h;
    FakeDialup dialup;
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=on,link=85"));
    h.Start();
    ASSERT_TRUE(
        h.host.WaitForLine("text IDC_STATUS \"Schlechte Verbindung - Ausrichten erforderlich\""));
    EXPECT_FALSE(AutoMode(h));
    // Well past six seconds of virtual time the test still runs by hand.
    const DWORD seen = time.clock.Now();
    while (static_cast<DWORD>(time.clock.Now() - seen) < 8000)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(h.host.Text(IDC_TEST), "Abbrechen");
    EXPECT_EQ(h.host.Text(IDC_STATUS), "Schlechte Verbindung - Ausrichten erforderlich");
    EXPECT_EQ(dialup.dials, 0);
}

TEST_F(Chaining, AMissingEchoStopsInManualModeWithTheMessage) {
    VirtualTime time;
    AppHarness h;
    FakeDialup dialup;
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=off,user=obedient,echo=none"));
    h.Start();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONFIGURE \"Konfigurieren\""));
    EXPECT_EQ(h.host.Text(IDC_STATUS), "FEHLER: Konfigurationsdaten wurden nicht empfangen");
    EXPECT_FALSE(AutoMode(h));
    EXPECT_TRUE(Idle(h));
    EXPECT_TRUE(h.host.Lines("text IDC_TEST \"Abbrechen\"").empty()) << "no test follows";
}

TEST_F(Chaining, ACancelledStepLeavesManualModeAndTheButtonsDoNotResumeTheSequence) {
    VirtualTime time;
    AppHarness h;
    FakeDialup dialup;
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=off,user=absent,ready=2"));
    h.Start();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_STATUS \"Laser-Transceiver einschalten\""));
    h.host.UserClick(IDC_CONFIGURE); // Abbrechen
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONFIGURE \"Konfigurieren\""));
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    EXPECT_FALSE(AutoMode(h));
    EXPECT_TRUE(Idle(h));

    // By hand, the same button only configures again.
    h.host.ClearTranscript();
    h.host.UserClick(IDC_CONFIGURE);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_STATUS \"Laser-Transceiver einschalten\""));
    h.host.UserClick(IDC_CONFIGURE);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONFIGURE \"Konfigurieren\""));
    EXPECT_TRUE(h.host.Lines("text IDC_TEST \"Abbrechen\"").empty());
    EXPECT_EQ(dialup.dials, 0);
}

TEST_F(Chaining, ACancelledDialLeavesTheDialogOpenInManualMode) {
    VirtualTime time;
    AppHarness h;
    FakeDialup dialup;
    dialup.dialConnects = false;
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=on"));
    h.Set("RAS Link Name", "Mast");
    h.Start();
    for (int i = 0; i < 2000 && dialup.dials == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(dialup.dials, 1);
    h.host.Sync([] {});
    EXPECT_FALSE(AutoMode(h));
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    EXPECT_TRUE(Idle(h));
    EXPECT_FALSE(h.Done());
}
