// Which device stands behind a COM port: the tooltips, the Anschlüsse dialog and the pin on
// save, against devices the test plugs in and out.
#include "../link/pty_pair.h"
#include "../support/fake_port_discovery.h"
#include "app/link_control_app.h"
#include "dialog/link_control_dialog.h"
#include "dialog/ports_dialog.h"
#include "link/serial_port_posix.h"
#include "link/uucp_lock_posix.h"
#include "platform/headless_host.h"
#include "platform/profile_store.h"
#include "platform/transcript.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;
using Entries = std::map<std::string, std::string>;

const SerialDevice kFtdi = Device("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0",
                                  "/dev/ttyUSB0", "ftdi_sio", "FT232R USB UART");
const SerialDevice kCh340 = Device("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
                                   "/dev/ttyUSB1", "ch341", "USB Serial");
const SerialDevice kAcm =
    Device("/dev/serial/by-id/usb-Quill_Modem-if00", "/dev/ttyACM0", "cdc_acm");
const std::string kFtdiText = kFtdi.path + " (FT232R USB UART)";
const std::string kCh340Text = kCh340.path + " (USB Serial)";

std::string Tip(const char* control, const std::string& text) {
    return std::string("tooltip ") + control + " " + HeadlessHost::Quote(text);
}

// The main dialog on the headless host with the test's devices and [Ports] entries. Whatever a
// port resolves to, nothing is opened.
struct PortsRig {
    HeadlessHost host;
    std::shared_ptr<MemoryProfileStore> store = std::make_shared<MemoryProfileStore>();
    FakePortDiscovery discovery;
    CLinkControlApp app;
    PortOpener ports;
    std::thread ui;

    // Every value opens with open, "" included; without it nothing opens.
    explicit PortsRig(std::vector<SerialDevice> devices, const Entries& entries = {},
                      bool withDiscovery = true, PortOpener::Provider open = {})
        : discovery(std::move(devices)) {
        for (const auto& [entry, value] : entries)
            store->Write(entry.starts_with("COM ") ? "Settings" : "Ports", entry, value);
        store->Write("Dialup", "Service", "none");
        if (!open)
            open = [](const std::string&, std::shared_ptr<CancelToken>) {
                return OpenResult{nullptr, "nicht hier"};
            };
        ports.AddProvider("", std::move(open));
        app.SetHost(&host);
        app.SetProfileStore(store);
        ui = std::thread([this, withDiscovery] {
            app.SetRegistryKey("Talvenmark");
            CLinkControlDialog dlg({app,
                                    host,
                                    app.Clock(),
                                    ports,
                                    {},
                                    {},
                                    &LoadResourceString,
                                    withDiscovery ? &discovery : nullptr});
            dlg.DoModal();
        });
        EXPECT_TRUE(host.WaitForLine("ready IDD_MAIN"));
    }
    ~PortsRig() { Close(); }

    // Escape closes the topmost dialog; the Anschlüsse dialog first.
    void Close() {
        if (!ui.joinable())
            return;
        for (int depth = host.ModalDepth(); depth > 0; --depth)
            host.UserPressEscape();
        ui.join();
    }
    Lines PortWrites(std::size_t since) const {
        Lines out;
        for (std::size_t i = since; i < store->writes.size(); ++i)
            if (store->writes[i].starts_with("Ports/"))
                out.push_back(store->writes[i]);
        return out;
    }
};

} // namespace

TEST(PortToolTip, NamesTheDeviceTheValueOrNothing) {
    const SerialDevice onBoard = Device("/dev/ttyS1", "/dev/ttyS1", "serial8250", "", true);
    const std::vector<std::tuple<Entries, std::vector<SerialDevice>, int, std::string>> cases{
        {{}, {kFtdi}, 0, "COM1: " + kFtdiText},
        {{}, {onBoard}, 0, "COM1: /dev/ttyS1"},
        {{{"COM1", "/dev/ttyUSB0"}}, {kFtdi}, 0, "COM1: " + kFtdiText},
        {{{"COM2", "/dev/ttyUSB7"}}, {kFtdi}, 1, "COM2: /dev/ttyUSB7"},
        {{{"COM2", "sim:power=on"}}, {}, 1, "COM2: sim:power=on"},
        {{{"COM3", ""}}, {kFtdi, kCh340, onBoard}, 2, "COM3: kein Gerät"},
        {{{"COM1", kFtdi.path}}, {kCh340}, 0, "COM1: " + kFtdi.path + " (nicht angeschlossen)"},
    };
    for (const auto& [entries, devices, port, expected] : cases) {
        MemoryProfileStore store;
        for (const auto& [entry, value] : entries)
            store.Write("Ports", entry, value);
        EXPECT_EQ(PortToolTip(port, BindComPort(store, port, devices), &LoadResourceString),
                  expected);
    }
}

TEST(PortToolTip, FollowsSelectionAndDevicesAndKeepsAJobsDetailUnderneath) {
    PortsRig rig({kFtdi}, {{"COM2", "/dev/ttyUSB7"}});
    EXPECT_EQ(rig.host.Lines("tooltip"), (Lines{Tip("IDC_COM_PORT", "COM1: " + kFtdiText),
                                                Tip("IDC_STATUS", "COM1: " + kFtdiText)}));
    rig.host.UserSelect(IDC_COM_PORT, 1);
    rig.host.UserClick(IDC_TEST); // COM2 cannot be opened here: the job says why
    const std::string detail = "\n/dev/ttyUSB7 ist nicht verfügbar (nicht hier)";
    ASSERT_TRUE(rig.host.WaitForLine(Tip("IDC_STATUS", "COM2: /dev/ttyUSB7" + detail)));
    ASSERT_TRUE(rig.host.WaitForLine("text IDC_TEST \"Testen\"")) << "the job has ended";

    ASSERT_TRUE(rig.discovery.WaitForWaiters(1));
    rig.discovery.Change({kCh340, kFtdi});
    rig.host.UserSelect(IDC_COM_PORT, 0);
    EXPECT_TRUE(rig.host.WaitForLine(Tip("IDC_STATUS", "COM1: " + kCh340Text + detail)));
}

// Why a port did not open, in the user's words, on the real serial code; the refusal that root
// never meets comes from a stand-in.
TEST(PortToolTip, SaysInGermanWhyThePortIsNotAvailable) {
    const TempDir lockDir;
    const PtyPair pty;
    PosixPortEnvironment env = DefaultPosixPortEnvironment();
    env.lockDir = lockDir.Path().string();
    const std::string lock = lockDir / ("LCK.." + pty.SlaveName().substr(4));
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    self = std::to_string(::getpid()) + " (" + self + ")";
    enum { Nothing, OurLock, Fifo };
    const struct {
        std::string value;
        int planted; // as the lock file
        std::string said;
    } cases[] = {
        {"/dev/quillmere-no-such-port", Nothing,
         "Das Gerät /dev/quillmere-no-such-port gibt es nicht – ist der Adapter eingesteckt? "
         "(No such file or directory)"},
        {"/dev/null", Nothing,
         "/dev/null ist keine serielle Schnittstelle (Inappropriate ioctl for device)"},
        {"/dev/tty", Nothing, "/dev/tty ist die Konsole des Systems und wird nie geöffnet"},
        {pty.SlavePath(), OurLock, pty.SlavePath() + " wird von Prozess " + self + " benutzt"},
        {pty.SlavePath(), Fifo, "Sperrdatei " + lock + " ist keine Datei"},
        {"/dev/ttyUSB9", Nothing,
         "Keine Berechtigung für /dev/ttyUSB9 – gehört Ihr Konto zur Gruppe „dialout“? "
         "(Permission denied)"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(lock);
        if (c.planted == OurLock)
            std::ofstream(lock) << UucpLockText(::getpid());
        if (c.planted == Fifo)
            ::mkfifo(lock.c_str(), 0600);
        PortsRig rig({}, {{"COM1", c.value}}, true, [&](const std::string& value, auto cancel) {
            if (value != "/dev/ttyUSB9")
                return OpenPosixSerialPort(value, std::move(cancel), env);
            PortRefusal refusal; // as an account outside the device's group is refused
            refusal.kind = PortRefusal::Kind::NotPermitted;
            refusal.systemText = "Permission denied";
            refusal.group = "dialout";
            return OpenResult{nullptr, "not permitted", refusal};
        });
        rig.host.UserClick(IDC_CONFIGURE);
        EXPECT_TRUE(rig.host.WaitForLine(Tip("IDC_STATUS", "COM1: " + c.value + "\n" + c.said)))
            << rig.host.Lines("tooltip").back();
    }
}

TEST(PortsMenu, IsOfferedOnlyWhereTheSystemListsDevices) {
    for (const bool withDiscovery : {true, false}) {
        PortsRig rig({kFtdi}, {}, withDiscovery);
        Lines expected{"menu separator",
                       "menu 32 \"&Anschlüsse...\"",
                       "menu 48 \"Aus&richtton\\tStrg+T\"",
                       "menu 64 \"Ausrichta&nzeige...\"",
                       "menu 80 \"&Protokoll...\"",
                       "menu 16 \"Inf&o über Quillmere...\""};
        if (!withDiscovery)
            expected.erase(expected.begin() + 1);
        EXPECT_EQ(rig.host.Lines("menu"), expected);
        rig.host.UserSysCommand(IDM_PORTS);
        EXPECT_EQ(rig.host.ModalDepth(), withDiscovery ? 2 : 1);
    }
}

TEST(PortsDialog, StoresOnlyTheRowsTheUserChangedAndOnlyOnOk) {
    using Edit = std::function<void(HeadlessHost&)>;
    const std::optional<std::string> stored = "/dev/ttyUSB7";
    // The edit, the button, what is written, and COM2's entry afterwards.
    const std::vector<std::tuple<Edit, int, Lines, std::optional<std::string>>> cases{
        {[](HeadlessHost&) {}, IDOK, {}, stored},
        {[](HeadlessHost& h) { h.UserSelect(IDC_PORT_COM1, 2); },
         IDOK,
         {"Ports/COM1=" + kCh340.path},
         stored},
        {[](HeadlessHost& h) { h.UserSelect(IDC_PORT_COM1, 0); }, IDOK, {}, stored}, // no entry
        {[](HeadlessHost& h) { h.UserSelect(IDC_PORT_COM2, 0); }, IDOK, {}, std::nullopt},
        {[](HeadlessHost& h) { h.UserType(IDC_PORT_COM2, "/dev/ttyACM3"); },
         IDOK,
         {"Ports/COM2=/dev/ttyACM3"},
         "/dev/ttyACM3"},
        {[](HeadlessHost& h) {
             h.UserType(IDC_PORT_COM2, "x");
             h.UserType(IDC_PORT_COM2, "/dev/ttyUSB7");
         },
         IDOK,
         {},
         stored},
        {[](HeadlessHost& h) { h.UserSelect(IDC_PORT_COM2, 0); }, IDCANCEL, {}, stored},
    };
    for (const auto& [edit, button, writes, com2] : cases) {
        PortsRig rig({kFtdi, kCh340}, {{"COM2", *stored}});
        const std::size_t mark = rig.store->writes.size();
        rig.host.UserSysCommand(IDM_PORTS);
        edit(rig.host);
        rig.host.UserClick(button);
        ASSERT_TRUE(rig.host.WaitForLine("end IDD_PORTS " + std::to_string(button)));
        rig.Close();
        EXPECT_EQ(rig.PortWrites(mark), writes);
        EXPECT_EQ(rig.store->Read("Ports", "COM2"), com2);
        EXPECT_EQ(rig.store->flushes, writes.empty() && com2 == stored ? 0 : 1);
    }
}

// A path that is not there is kept, and marked beside its row; a device the system lists (here
// no file stands behind it), a simulator and no port at all never are.
TEST(PortsDialog, MarksAPathThatIsNotThereAndStillStoresIt) {
    PortsRig rig({kFtdi}, {{"COM2", "/dev/ttyQM-unplugged"}});
    rig.host.UserSysCommand(IDM_PORTS);
    ASSERT_TRUE(rig.host.WaitForLine("ready IDD_PORTS"));
    EXPECT_EQ(rig.host.Text(IDC_PORT_MISSING1), "");
    EXPECT_EQ(rig.host.Text(IDC_PORT_MISSING2), "nicht vorhanden");
    EXPECT_EQ(rig.host.Items(IDC_PORT_COM2), (Lines{"Standard: kein Gerät", kFtdiText}));
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/null", ""},
        {kFtdi.path, ""},
        {"sim:power=on", ""},
        {"", ""},
        {"/dev/ttyQM-absent", "nicht vorhanden"},
    };
    for (const auto& [typed, mark] : cases) {
        rig.host.UserType(IDC_PORT_COM2, typed);
        EXPECT_EQ(rig.host.Text(IDC_PORT_MISSING2), mark) << typed;
    }
    const std::size_t mark = rig.store->writes.size();
    rig.host.UserClick(IDOK);
    ASSERT_TRUE(rig.host.WaitForLine("end IDD_PORTS 1"));
    EXPECT_EQ(rig.PortWrites(mark), Lines{"Ports/COM2=/dev/ttyQM-absent"});
}

TEST(PortsDialog, AFailedSaveTakesItsWritesBackSoThatCancellingStoresNothingLater) {
    PortsRig rig({kFtdi, kCh340}, {{"COM2", "/dev/ttyUSB7"}});
    rig.store->failFlush = true;
    rig.host.UserSysCommand(IDM_PORTS);
    rig.host.UserSelect(IDC_PORT_COM1, 2);
    rig.host.UserType(IDC_PORT_COM2, "/dev/ttyACM3");
    rig.host.UserClick(IDOK);
    ASSERT_TRUE(rig.host.WaitForLine(
        transcript::MessageBox("FEHLER: Einstellungen konnten nicht gespeichert werden")));
    rig.host.UserClick(IDCANCEL);
    ASSERT_TRUE(rig.host.WaitForLine("end IDD_PORTS " + std::to_string(IDCANCEL)));
    // What the main dialog's next save would write: the entries as they were.
    EXPECT_EQ(rig.store->Read("Ports", "COM1"), std::nullopt);
    EXPECT_EQ(rig.store->Read("Ports", "COM2"), "/dev/ttyUSB7");
}

TEST(PortsDialog, FollowsDevicesWhileOpenKeepsTheUsersChoiceAndJoinsItsWatchBeforeItEnds) {
    std::atomic<int> liveAtEnd{-1};
    PortsRig rig({kFtdi}, {{"COM3", kFtdi.path}, {"COM4", ""}});
    const std::size_t mark = rig.store->writes.size();
    rig.host.OnRecord([&](const std::string& line) {
        if (line.starts_with("end IDD_PORTS"))
            liveAtEnd = LiveWorkerThreads();
    });
    rig.host.UserSysCommand(IDM_PORTS);
    ASSERT_TRUE(rig.host.WaitForLine("ready IDD_PORTS"));
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM1), "Standard: " + kFtdiText);
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM3), kFtdiText);
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM4), "");
    EXPECT_EQ(rig.host.Items(IDC_PORT_COM4), (Lines{"Standard: kein Gerät", kFtdiText}));

    rig.host.UserSelect(IDC_PORT_COM1, 1); // the FTDI adapter
    rig.host.UserType(IDC_PORT_COM2, "/dev/ttyAC");
    ASSERT_TRUE(rig.discovery.WaitForWaiters(1)) << "the dialog's watch alone waits";
    rig.host.ClearTranscript();
    rig.discovery.Change({kAcm, kCh340});
    ASSERT_TRUE(rig.host.WaitForLine("additem IDC_PORT_COM4 " + HeadlessHost::Quote(kCh340Text)));
    EXPECT_EQ(rig.host.Items(IDC_PORT_COM2),
              (Lines{"Standard: " + kCh340Text, kAcm.path, kCh340Text}));
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM2), "/dev/ttyAC");
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM1), kFtdi.path) << "an unplugged choice stays, as path";

    rig.host.UserClick(IDOK);
    ASSERT_TRUE(rig.host.WaitForLine("end IDD_PORTS 1"));
    rig.host.Sync([] {}); // the hook has run
    EXPECT_EQ(liveAtEnd, 0);
    EXPECT_EQ(rig.PortWrites(mark), (Lines{"Ports/COM1=" + kFtdi.path, "Ports/COM2=/dev/ttyAC"}));
    ASSERT_TRUE(rig.discovery.WaitForWaiters(1)) << "the main dialog watches again";
    rig.discovery.Change({kFtdi}); // back: what COM1 now names
    EXPECT_TRUE(rig.host.WaitForLine(Tip("IDC_COM_PORT", "COM1: " + kFtdiText)));
}

TEST(PortsPin, SavingPinsTheDefaultDeviceOfTheSelectedPortOnly) {
    const std::vector<std::tuple<Entries, int, Lines>> cases{
        {{}, 0, {"Ports/COM1=" + kFtdi.path}},
        {{}, 1, {"Ports/COM2=" + kCh340.path}},
        {{{"COM1", "/dev/ttyUSB0"}}, 0, {}}, // an entry stays as the user wrote it
        {{{"COM3", ""}}, 2, {}},
    };
    for (auto [entries, select, writes] : cases) {
        entries["COM Port"] = "3";
        PortsRig rig({kFtdi, kCh340}, entries);
        const std::size_t mark = rig.store->writes.size();
        rig.host.ClearTranscript();
        rig.host.UserSelect(IDC_COM_PORT, select);
        rig.host.UserClick(IDC_SAVE);
        ASSERT_TRUE(rig.host.WaitForLine("enable IDC_SAVE 0"));
        rig.Close();
        EXPECT_EQ(rig.PortWrites(mark), writes) << select;
        EXPECT_EQ(rig.store->flushes, 1);
    }
}
