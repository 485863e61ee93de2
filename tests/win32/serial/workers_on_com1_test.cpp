// The configuration and the link test of the real program, on the headless host, over COM1:
// a pseudo-terminal under Wine whose far end answers as the transceiver does. The test plays the
// user at the transceiver's switch (the CTS line) and at the dialog.
#include "../../support/app_harness.h"
#include "link/port_open.h"
#include "res/resource.h"
#include "serial_test_support.h"
#include "tests/support/dialog_test_peer.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class WorkersOnCom1 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetLines(false));
        h.store->Write("Dialup", "Service", "none");
        h.Start();
        // The start-up probe found no port (COM1 led nowhere); from now on COM1 is the port.
        h.store->Write("Ports", "COM1", "COM1:");
        h.host.ClearTranscript();
    }
    void TearDown() override {
        h.Close();
        SetLines(false);
    }

    bool WaitLine(const std::string& line, std::chrono::milliseconds timeout = 20s) {
        return h.host.WaitForLine(line, timeout);
    }
    bool WaitStatus(const std::string& text, std::chrono::milliseconds timeout = 20s) {
        return WaitLine("text IDC_STATUS " + HeadlessHost::Quote(text), timeout);
    }
    std::vector<int> QualityReadings() {
        std::vector<int> out;
        for (const auto& line : h.host.Lines("pos IDC_LINK_QUALITY "))
            out.push_back(std::stoi(line.substr(std::string("pos IDC_LINK_QUALITY ").size())));
        return out;
    }
    // What the dialog showed, for a failure's message.
    std::string Seen() {
        std::string text;
        for (const auto& line : h.host.Lines("text IDC_STATUS "))
            text += line + "\n";
        for (int reading : QualityReadings())
            text += std::to_string(reading) + " ";
        return text;
    }
    bool NoMessageBox() { return h.host.Lines("messagebox").empty(); }

    // The transceiver is off; the user switches it on when asked, and the configuration runs
    // to its end. Returns how long it took after the switch.
    double Configure() {
        h.host.UserClick(IDC_CONFIGURE);
        EXPECT_TRUE(WaitStatus("Laser-Transceiver einschalten"));
        EXPECT_TRUE(SetLines(true));
        Stopwatch watch;
        EXPECT_TRUE(WaitLine("text IDC_CONFIGURE \"Konfigurieren\"", 30s));
        return watch.PreciseMs();
    }

    AppHarness h;
};

TEST_F(WorkersOnCom1, ConfigurationAndAutomaticLinkTestOverTheRealPort) {
    const double configureMs = Configure();
    EXPECT_TRUE(NoMessageBox());
    // The status line ends empty: the echo matched and the readiness phase ended in silence.
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    const auto statuses = h.host.Lines("text IDC_STATUS ");
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"text IDC_STATUS \"Laser-Transceiver einschalten\"",
                                        "text IDC_STATUS \"Sende Konfigurationsdaten...\"",
                                        "text IDC_STATUS \"Warten, bis Transceiver bereit ist...\"",
                                        "text IDC_STATUS \"\""}));

    h.host.ClearTranscript();
    h.host.Sync([&] { DialogPeer::SetAutoMode(h.Dialog(), true); });
    Stopwatch watch;
    h.host.UserClick(IDC_TEST);
    const std::string done = "text IDC_TEST \"Testen\"";
    const std::string bad = "text IDC_STATUS \"Schlechte Verbindung - Ausrichten erforderlich\"";
    ASSERT_TRUE(h.host.WaitFor([&](const std::string& l) { return l == done || l == bad; }, 30s))
        << Seen();
    const double testMs = watch.PreciseMs();
    EXPECT_TRUE(NoMessageBox());

    // A pty has no line time: on a busy machine an echo can miss the 1 ms read, and a short
    // cycle is then rightly judged bad. What the load does not change: only a short cycle is
    // judged bad, and a test of full cycles ends after six seconds.
    int lastReading = -1;
    bool judgedBad = false;
    for (const auto& line : h.host.Transcript()) {
        if (line.starts_with("pos IDC_LINK_QUALITY "))
            lastReading = std::stoi(line.substr(std::string("pos IDC_LINK_QUALITY ").size()));
        if (line == bad) {
            judgedBad = true;
            break;
        }
    }
    if (judgedBad) {
        EXPECT_GE(lastReading, 0) << "judged bad before any cycle";
        EXPECT_LT(lastReading * 100 / 256, 90) << "a good cycle was judged bad\n" << Seen();
        h.host.UserClick(IDC_TEST); // the user stops the test by hand
        ASSERT_TRUE(WaitLine(done, 5s)) << Seen();
        std::printf("link judged bad after a cycle of %d words in %.0f ms\n", lastReading, testMs);
        return;
    }
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    const std::vector<int> readings = QualityReadings();
    ASSERT_GE(readings.size(), 2u);
    int good = 0;
    for (size_t i = 0; i + 1 < readings.size(); ++i) // the last one is the reset to 0
        good += readings[i] == 256;
    EXPECT_GE(testMs, 6000.0);
    EXPECT_LE(testMs, 9000.0);
    std::printf("configuration %.0f ms after the switch; link test %.0f ms, %zu cycles, %d of "
                "them with all 256 words\n",
                configureMs, testMs, readings.size() - 1, good);
    RecordProperty("configure_ms", std::to_string(configureMs));
    RecordProperty("test_ms", std::to_string(testMs));
    RecordProperty("cycles", std::to_string(readings.size() - 1));
}

TEST_F(WorkersOnCom1, LinkTestByHandStopsAtOnceWhenCancelled) {
    ASSERT_TRUE(SetLines(true));
    h.host.UserClick(IDC_TEST);
    ASSERT_TRUE(WaitStatus("Der Laser ist eingeschaltet"));
    // A test by hand runs until the user stops it: once a cycle is over, only the click ends it.
    ASSERT_TRUE(WaitUntil([&] { return !QualityReadings().empty(); })) << Seen();
    Stopwatch watch;
    h.host.UserClick(IDC_TEST);
    ASSERT_TRUE(WaitLine("text IDC_TEST \"Testen\"", 30s));
    const double cancelMs = watch.PreciseMs();
    EXPECT_TRUE(NoMessageBox());
    // The worker has closed the port: it opens again at once.
    h.host.Sync([] {});
    EXPECT_TRUE(h.app.Ports().Open("COM1:", nullptr).port);
    std::printf("link test cancelled after %.1f ms\n", cancelMs);
}

TEST_F(WorkersOnCom1, ConfigurationWaitingForTheSwitchIsCancelled) {
    h.host.UserClick(IDC_CONFIGURE);
    ASSERT_TRUE(WaitStatus("Laser-Transceiver einschalten"));
    // Nobody switches: the wait has no end of its own, the sleep only lets it begin.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(h.host.Text(IDC_CONFIGURE), "Abbrechen");
    h.host.UserClick(IDC_CONFIGURE);
    ASSERT_TRUE(WaitLine("text IDC_CONFIGURE \"Konfigurieren\"", 30s));
    EXPECT_TRUE(NoMessageBox());
}

TEST_F(WorkersOnCom1, TransceiverSwitchedOffStopsTheLinkTestBeforeItSends) {
    h.host.UserClick(IDC_TEST);
    ASSERT_TRUE(WaitStatus("FEHLER: Laser-Transceiver ist nicht eingeschaltet"));
    ASSERT_TRUE(WaitLine("text IDC_TEST \"Testen\""));
    EXPECT_TRUE(QualityReadings() == std::vector<int>{0});
    EXPECT_TRUE(NoMessageBox());
}

} // namespace
