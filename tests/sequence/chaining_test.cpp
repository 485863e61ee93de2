#include "sequence_support.h"

#include "link/system_serial_port.h"
#include "res/resource.h"
#include "tests/support/fake_port_discovery.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

class Chaining : public ::testing::Test {};

bool AutoMode(AppHarness& h) {
    return h.OnUi([&] { return h.Dialog().State().autoMode; });
}

bool Idle(AppHarness& h) {
    return h.OnUi([&] {
        return h.Dialog().State().activity == Activity::Idle &&
               h.Dialog().Port() == PortState::Closed;
    });
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST_F(Chaining, TheWholeSequenceConfiguresTestsDialsStartsTheFollowUpAndExitsZero) {
    VirtualTime time;
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    time.For(h);
    dialup.Bind(h);
    std::vector<std::string> started;
    h.app.SetFollowUpStarter([&](const std::string& command, bool) {
        // The dial has connected, and the program is still there.
        started.push_back(command + (dialup.dials == 1 && !h.Done() ? " after the dial" : ""));
        return true;
    });
    h.store->Write("Ports", "COM1", UniqueSim("power=off,user=obedient"));
    h.Set("RAS Link Name", "Mast");
    h.Set("Run Program", "/opt/tool --go");
    h.Start();
    ASSERT_TRUE(h.WaitForEnd(std::chrono::seconds(60))) << "the sequence never ended";
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_EQ(started, std::vector<std::string>{"/opt/tool --go after the dial"});
    for (const char* status : {"Laser-Transceiver einschalten", "Sende Konfigurationsdaten...",
                               "Prüfe Link-Qualität..."})
        EXPECT_EQ(h.host.Lines("text IDC_STATUS \"" + std::string(status) + "\"").size(), 1u)
            << status;
    EXPECT_EQ(h.host.Lines("text IDC_CONNECT \"Trennen\"").size(), 1u);
    EXPECT_EQ(LiveWorkerThreads(), 0);
}

// No [Ports] entry at all: COM1 is the adapter the system lists first, by its stable name. Here
// that name leads to a simulated transceiver, so the whole sequence runs whatever the load.
TEST_F(Chaining, WithoutAPortEntryTheWholeSequenceRunsOnTheAdapterTheSystemListsFirst) {
    const std::string adapter = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";
    const SerialDevice ftdi = Device(adapter, "/dev/ttyUSB0", "ftdi_sio", "FT232R USB UART");
    if (DefaultPortDevice(0, {ftdi}) != adapter)
        GTEST_SKIP() << "here COM ports are the system's own names";
    VirtualTime time;
    FakeDialup dialup;
    AppHarness h;
    h.store = std::make_shared<MemoryProfileStore>();
    time.For(h);
    dialup.Bind(h);
    h.app.SetPortDiscovery(std::make_unique<FakePortDiscovery>(
        std::vector<SerialDevice>{Device(adapter, "/dev/ttyUSB0", "ftdi_sio", "FT232R USB UART")}));
    const std::string transceiver = UniqueSim("power=off,user=obedient");
    std::atomic<int> opens{0};
    h.app.Ports().AddProvider(adapter, [&](const std::string& rest, auto cancel) {
        EXPECT_EQ(rest, "") << "opened by another name";
        ++opens;
        return h.app.Ports().Open(transceiver, std::move(cancel));
    });
    h.Set("RAS Link Name", "Mast");
    h.Start();
    ASSERT_TRUE(h.WaitForEnd(std::chrono::seconds(60))) << "the sequence never ended";
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_EQ(dialup.dials, 1);
    EXPECT_GE(opens, 2) << "the configuration and the link test both open the adapter";
    EXPECT_EQ(h.host
                  .Lines("tooltip IDC_COM_PORT " +
                         HeadlessHost::Quote("COM1: " + adapter + " (FT232R USB UART)"))
                  .size(),
              1u);
    EXPECT_TRUE(h.store->Read("Ports", "COM1") == std::nullopt) << "nothing was saved";
    EXPECT_EQ(LiveWorkerThreads(), 0) << "the device watch ended with the dialog";
}

TEST_F(Chaining, AFollowUpThatCannotStartEndsWithTheMessageAndCodeOne) {
    VirtualTime time;
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    time.For(h);
    dialup.Bind(h);
    h.app.SetFollowUpStarter([](const std::string&, bool) { return false; });
    h.store->Write("Ports", "COM1", UniqueSim("power=on"));
    h.Set("RAS Link Name", "Mast");
    h.Set("Run Program", "kein-programm");
    h.Start();
    ASSERT_TRUE(h.WaitForEnd(std::chrono::seconds(60)));
    EXPECT_EQ(h.ExitCode(), 1);
    EXPECT_EQ(h.host.Lines("messagebox"),
              std::vector<std::string>{"messagebox \"Kann kein-programm nicht ausführen!\\n\""});
    EXPECT_TRUE(h.host.Lines("text IDC_CONNECT \"Trennen\"").empty());
}

TEST_F(Chaining, ConfigurationSuccessStartsTheTestAtTheOperatingRate) {
    VirtualTime time;
    AppHarness h;
    time.For(h);
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
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    time.For(h);
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=on,link=85"));
    h.Start();
    ASSERT_TRUE(
        h.host.WaitForLine("text IDC_STATUS \"Schlechte Verbindung - Ausrichten erforderlich\""));
    EXPECT_FALSE(AutoMode(h));
    // Well past six seconds of virtual time the test still runs by hand.
    const std::uint32_t seen = time.clock.Now();
    ASSERT_TRUE(WaitUntil([&] { return time.clock.Now() - seen >= 8000u; }));
    EXPECT_EQ(h.host.Text(IDC_TEST), "Abbrechen");
    EXPECT_EQ(h.host.Text(IDC_STATUS), "Schlechte Verbindung - Ausrichten erforderlich");
    EXPECT_EQ(dialup.dials, 0);
}

TEST_F(Chaining, AMissingEchoStopsInManualModeWithTheMessage) {
    VirtualTime time;
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    time.For(h);
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
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    time.For(h);
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
    FakeDialup dialup; // outlives the program that calls it
    AppHarness h;
    time.For(h);
    dialup.dialConnects = false;
    dialup.Bind(h);
    h.store->Write("Ports", "COM1", UniqueSim("power=on"));
    h.Set("RAS Link Name", "Mast");
    h.Start();
    // The dial is the automatic sequence's last step; once its dialog has closed, the step
    // ends in manual mode.
    ASSERT_TRUE(h.host.WaitForLine("end IDD_DIAL 2", std::chrono::seconds(30)));
    h.host.Sync([] {});
    ASSERT_EQ(dialup.dials, 1);
    EXPECT_FALSE(AutoMode(h));
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    EXPECT_TRUE(Idle(h));
    EXPECT_FALSE(h.Done());
}
