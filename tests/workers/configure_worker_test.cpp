// The configuration against the simulated transceiver: what the user reads, what goes over the
// line, and how each way out leaves the dialog.
#include "worker_rig.h"

namespace {

const char* const kSwitchOff = "Laser-Transceiver zuerst ausschalten";
const char* const kSwitchOn = "Laser-Transceiver einschalten";
const char* const kSending = "Sende Konfigurationsdaten...";
const char* const kWaitReady = "Warten, bis Transceiver bereit ist...";
const char* const kNoEcho = "FEHLER: Konfigurationsdaten wurden nicht empfangen";
const std::string kIdleLine = "text IDC_CONFIGURE \"Konfigurieren\"";

std::vector<std::string> SettingsEnabled(bool on) {
    std::vector<std::string> lines;
    for (const char* id : {"IDC_COM_PORT", "IDC_BAUDRATE", "IDC_SENSITIVITY", "IDC_RAS_LINK_NAME",
                           "IDC_RUN_PROGRAM", "IDC_BROWSE", "IDC_RUN_INVISIBLE"})
        lines.push_back(std::string("enable ") + id + (on ? " 1" : " 0"));
    return lines;
}

} // namespace

TEST(Configuration, TransceiverOffAtStartIsSwitchedOnConfiguredAndWaitedFor) {
    ManualClock clock;
    WorkerRig rig(clock, "power=off,ready=2");
    rig.Start();
    rig.Click(IDC_CONFIGURE);
    ASSERT_TRUE(rig.WaitLine(kIdleLine));

    EXPECT_EQ(rig.Statuses(), (std::vector<std::string>{kSwitchOn, kSending, kWaitReady, ""}));
    EXPECT_EQ(rig.SimLog(), (std::vector<std::string>{
                                "open", "cts on", "speed 9600", "tx 0b 51 64 70 43 81 90 11",
                                "rx 0b 51 64 70 43 81 90 11", "speed 115200", "tx 0b", "rx 0b",
                                "tx 0b", "rx 0b", "tx 0b", "close"}));
    rig.ExpectIdle(false);
    // Outside the automatic sequence nothing follows.
    EXPECT_TRUE(rig.h.host.Lines("text IDC_TEST").empty());
}

TEST(Configuration, TransceiverOnAtStartMustFirstBeSwitchedOff) {
    ManualClock clock;
    WorkerRig rig(clock, "power=on");
    rig.Start();
    rig.Click(IDC_CONFIGURE);
    ASSERT_TRUE(rig.WaitLine(kIdleLine));

    EXPECT_EQ(rig.Statuses(),
              (std::vector<std::string>{kSwitchOff, kSwitchOn, kSending, kWaitReady, ""}));
    std::vector<std::string> log = rig.SimLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4),
              (std::vector<std::string>{"open", "cts off", "cts on", "speed 9600"}));
    rig.ExpectIdle(false);
}

TEST(Configuration, PacketCarriesStoredSensitivityAndBaudCodeAndReadinessRunsAtThatRate) {
    struct Case {
        const char* sensitivity;
        const char* baudrate;
        const char* packet;
        const char* operatingSpeed;
    };
    const Case cases[] = {
        {nullptr, nullptr, "tx 0b 51 64 70 43 81 90 11", "speed 115200"}, // defaults
        {"0", "0", "tx 0b 51 61 70 43 8b 90 11", "speed 19200"},
        {"6", "1", "tx 0b 51 67 70 43 89 90 11", "speed 38400"},
        {"2", "2", "tx 0b 51 63 70 43 83 90 11", "speed 57600"},
        // Stored values nobody checked on load: the letter wraps as a byte, the baud index
        // falls back to 115200.
        {"200", "9", "tx 0b 51 29 70 43 81 90 11", "speed 115200"},
        {"-1", "-1", "tx 0b 51 60 70 43 81 90 11", "speed 115200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.packet);
        ManualClock clock;
        WorkerRig rig(clock, "power=off,ready=1");
        std::map<std::string, std::string> settings;
        if (c.sensitivity)
            settings["Sensitivity"] = c.sensitivity;
        if (c.baudrate)
            settings["Baudrate"] = c.baudrate;
        rig.Start(settings);
        rig.Click(IDC_CONFIGURE);
        ASSERT_TRUE(rig.WaitLine(kIdleLine));

        const std::string packet = c.packet;
        const std::string echo = "rx" + packet.substr(2);
        EXPECT_EQ(rig.SimLog(),
                  (std::vector<std::string>{"open", "cts on", "speed 9600", packet, echo,
                                            c.operatingSpeed, "tx 0b", "rx 0b", "tx 0b", "close"}));
        EXPECT_EQ(rig.Statuses().back(), "");
    }
}

TEST(Configuration, WrongEchoEndsWithTheMessageAndGivesTheDialogBack) {
    for (const char* echo : {"echo=none", "echo=short", "echo=corrupt"}) {
        SCOPED_TRACE(echo);
        ManualClock clock;
        WorkerRig rig(clock, std::string("power=off,") + echo);
        rig.Start();
        rig.SetAutoMode();
        rig.Click(IDC_CONFIGURE);
        ASSERT_TRUE(rig.WaitLine(kIdleLine));

        EXPECT_EQ(rig.Statuses(), (std::vector<std::string>{kSwitchOn, kSending, kNoEcho}));
        std::vector<std::string> log = rig.SimLog();
        EXPECT_EQ(log.back(), "close");
        EXPECT_EQ(rig.SimLog("speed"), std::vector<std::string>{"speed 9600"})
            << "no readiness phase after a wrong echo";
        rig.ExpectIdle(false);
    }
}

TEST(Configuration, TransceiverThatNeverFallsSilentKeepsTheWorkerWaitingUntilCancelled) {
    ManualClock clock;
    WorkerRig rig(clock, "power=off,ready=forever");
    rig.Start();
    rig.Click(IDC_CONFIGURE);
    ASSERT_TRUE(rig.WaitStatus(kWaitReady));
    // Thousands of echoed bytes later it is still waiting.
    EXPECT_TRUE(WaitUntil([&] { return rig.SimLog("rx 0b").size() >= 3000; }));
    EXPECT_GT(clock.Now(), 200u);
    EXPECT_EQ(rig.h.host.Text(IDC_CONFIGURE), "Abbrechen");
    EXPECT_EQ(rig.Statuses().back(), kWaitReady);

    rig.Click(IDC_CONFIGURE);
    ASSERT_TRUE(rig.WaitStatus(""));
    EXPECT_EQ(rig.ReportsAfter("user click IDC_CONFIGURE"), CancelledEnd(IDC_CONFIGURE));
    rig.ExpectIdle(false);
}

TEST(Configuration, MissingPortLeavesItsMessageAndEndsAsFailure) {
    ManualClock clock;
    WorkerRig rig(clock, "power=off");
    rig.Start();
    rig.h.store->Write("Ports", "COM1", "");
    rig.SetAutoMode();
    rig.Click(IDC_CONFIGURE);
    ASSERT_TRUE(rig.WaitLine(kIdleLine));
    EXPECT_EQ(rig.Statuses(),
              std::vector<std::string>{"FEHLER: Serieller Port COM1: ist nicht verfügbar"});
    rig.ExpectIdle(false);
}

// The automatic sequence: a good configuration goes on to the link test, a passed test to the
// dial step, which with no dial-up service bound does nothing but leave automatic mode. The
// whole run as the trace shows it, the order of the control operations included.
TEST(Configuration, InTheAutomaticSequenceSuccessChainsToTheTestAndOnToTheDialStep) {
    ManualClock clock;
    WorkerRig rig(clock, "power=off");
    rig.Start();
    rig.SetAutoMode();
    rig.Click(IDC_CONFIGURE);
    ASSERT_TRUE(rig.WaitLine("text IDC_TEST \"Testen\""));

    std::vector<std::string> seen = rig.Transcript();
    const std::string full = "pos IDC_LINK_QUALITY 256";
    EXPECT_GE(std::erase(seen, full), 60u);
    std::vector<std::string> expected{"user click IDC_CONFIGURE"};
    auto add = [&](std::vector<std::string> lines) {
        expected.insert(expected.end(), lines.begin(), lines.end());
    };
    // Started, with IDC_SAVE and the connect button (withheld: no service) set all the same.
    add(SettingsEnabled(false));
    add({"enable IDC_SAVE 0", "text IDC_CONFIGURE \"Abbrechen\"", "enable IDC_TEST 0",
         "enable IDC_CONNECT 0", "tooltip IDC_STATUS \"\"",
         "text IDC_STATUS " + HeadlessHost::Quote(kSwitchOn),
         "text IDC_STATUS " + HeadlessHost::Quote(kSending),
         "text IDC_STATUS " + HeadlessHost::Quote(kWaitReady), "text IDC_STATUS \"\""});
    // The end step, and in the same step the link test's start: no click fits between.
    add(SettingsEnabled(true));
    add({"text IDC_CONFIGURE \"Konfigurieren\"", "enable IDC_TEST 1", "enable IDC_CONNECT 1"});
    add(SettingsEnabled(false));
    add({"enable IDC_SAVE 0", "enable IDC_CONFIGURE 0", "text IDC_TEST \"Abbrechen\"",
         "enable IDC_CONNECT 0", "tooltip IDC_STATUS \"\"",
         "text IDC_STATUS \"Prüfe Link-Qualität...\"",
         "tooltip IDC_LINK_QUALITY \"100 % – gut\"", // once: the verdict stays the same
         "text IDC_STATUS \"\"", "pos IDC_LINK_QUALITY 0"});
    add(SettingsEnabled(true));
    add({"enable IDC_CONFIGURE 1", "text IDC_TEST \"Testen\"", "enable IDC_CONNECT 1"});
    EXPECT_EQ(seen, expected);
    rig.ExpectIdle(false);
}
