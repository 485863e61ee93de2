// Which device stands behind a COM port: the tooltips, the Anschlüsse dialog and the pin on
// save, against devices the test plugs in and out.
#include "../support/fake_port_discovery.h"
#include "app/link_control_app.h"
#include "dialog/link_control_dialog.h"
#include "dialog/ports_dialog.h"
#include "platform/headless_host.h"
#include "platform/profile_store.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <thread>

namespace {

using Lines = std::vector<std::string>;
using Entries = std::map<std::string, std::string>;

const SerialDevice kFtdi = Device("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0",
                                  "/dev/ttyUSB0", "ftdi_sio", "FT232R USB UART");
const SerialDevice kCh340 = Device("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
                                   "/dev/ttyUSB1", "ch341", "USB Serial");
const SerialDevice kAcm =
    Device("/dev/serial/by-id/usb-Quill_Modem-if00", "/dev/ttyACM0", "cdc_acm");
const SerialDevice kOnBoard = Device("/dev/ttyS1", "/dev/ttyS1", "serial8250", "", true);

const std::string kFtdiText = kFtdi.path + " (FT232R USB UART)";
const std::string kCh340Text = kCh340.path + " (USB Serial)";

// The main dialog on the headless host with the test's devices. Whatever a port resolves to,
// nothing is opened.
class PortsRig {
public:
    HeadlessHost host;
    std::shared_ptr<MemoryProfileStore> store = std::make_shared<MemoryProfileStore>();
    FakePortDiscovery discovery;

    explicit PortsRig(std::vector<SerialDevice> devices, Entries ports = {})
        : discovery(std::move(devices)) {
        m_app.SetHost(&host);
        m_app.m_pszAppName = "Quillmere";
        for (const auto& [entry, value] : ports)
            store->Write("Ports", entry, value);
        store->Write("Dialup", "Service", "none");
        m_ports.AddProvider("", [](const std::string&, std::shared_ptr<CancelToken>) {
            return OpenResult{nullptr, "nicht in diesem Test"};
        });
    }
    ~PortsRig() { Close(); }

    void Start(bool withDiscovery = true) {
        m_app.SetProfileStore(store);
        const char* argv[] = {"/usr/bin/Quillmere"};
        m_app.SetStartup(1, argv);
        m_ui = std::thread([this, withDiscovery] {
            m_app.SetRegistryKey("Talvenmark");
            CLinkControlDialog dlg({m_app,
                                    host,
                                    m_app.Clock(),
                                    m_ports,
                                    {},
                                    {},
                                    &LoadResourceString,
                                    withDiscovery ? &discovery : nullptr});
            dlg.DoModal();
        });
        ASSERT_TRUE(host.WaitForLine("ready IDD_MAIN"));
    }

    void OpenPorts() {
        host.UserSysCommand(IDM_PORTS);
        ASSERT_TRUE(host.WaitForLine("ready IDD_PORTS"));
    }

    // Escape closes the topmost dialog; the Anschlüsse dialog first.
    void Close() {
        if (!m_ui.joinable())
            return;
        for (int depth = host.ModalDepth(); depth > 0; --depth)
            host.UserPressEscape();
        m_ui.join();
    }

    std::string LastToolTip(const char* control) {
        host.Sync([] {});
        const Lines lines = host.Lines(std::string("tooltip ") + control);
        return lines.empty() ? "(none)" : lines.back();
    }
    // "Ports/..." writes since the mark.
    Lines PortWrites(std::size_t since) const {
        Lines out;
        for (std::size_t i = since; i < store->writes.size(); ++i)
            if (store->writes[i].starts_with("Ports/"))
                out.push_back(store->writes[i]);
        return out;
    }

private:
    CLinkControlApp m_app;
    PortOpener m_ports;
    std::thread m_ui;
};

std::string Tip(const char* control, const std::string& text) {
    return std::string("tooltip ") + control + " " + HeadlessHost::Quote(text);
}

} // namespace

TEST(PortToolTip, NamesTheDeviceTheValueOrNothing) {
    struct Case {
        Entries ports;
        std::vector<SerialDevice> devices;
        int nComPort;
        std::string expected;
    };
    const std::vector<Case> cases{
        {{}, {kFtdi}, 0, "COM1: " + kFtdiText},
        {{}, {kOnBoard}, 0, "COM1: /dev/ttyS1"},
        {{{"COM1", "/dev/ttyUSB0"}}, {kFtdi}, 0, "COM1: " + kFtdiText},
        {{{"COM2", "/dev/ttyUSB7"}}, {kFtdi}, 1, "COM2: /dev/ttyUSB7"},
        {{{"COM2", "sim:power=on"}}, {}, 1, "COM2: sim:power=on"},
        {{{"COM3", ""}}, {kFtdi, kCh340, kOnBoard}, 2, "COM3: kein Gerät"},
        {{{"COM1", kFtdi.path}}, {kCh340}, 0, "COM1: " + kFtdi.path + " (nicht angeschlossen)"},
    };
    for (const Case& c : cases) {
        MemoryProfileStore store;
        for (const auto& [entry, value] : c.ports)
            store.Write("Ports", entry, value);
        const ComPortBinding binding = BindComPort(store, c.nComPort, c.devices);
        EXPECT_EQ(PortToolTip(c.nComPort, binding, &LoadResourceString), c.expected);
    }
}

TEST(PortToolTip, FollowsSelectionAndDevicesAndKeepsAJobsDetailUnderneath) {
    PortsRig rig({kFtdi}, {{"COM2", "/dev/ttyUSB7"}});
    rig.Start();
    EXPECT_EQ(rig.LastToolTip("IDC_COM_PORT"), Tip("IDC_COM_PORT", "COM1: " + kFtdiText));
    EXPECT_EQ(rig.LastToolTip("IDC_STATUS"), Tip("IDC_STATUS", "COM1: " + kFtdiText));

    rig.host.UserSelect(IDC_COM_PORT, 1);
    rig.host.UserClick(IDC_TEST); // COM2 cannot be opened here: the job says why
    const std::string failed = "COM2: /dev/ttyUSB7\n/dev/ttyUSB7: nicht in diesem Test";
    ASSERT_TRUE(rig.host.WaitForLine(Tip("IDC_STATUS", failed)));
    ASSERT_TRUE(rig.host.WaitForLine("text IDC_TEST \"Testen\"")) << "the job has ended";
    EXPECT_EQ(rig.LastToolTip("IDC_COM_PORT"), Tip("IDC_COM_PORT", "COM2: /dev/ttyUSB7"));

    ASSERT_TRUE(rig.discovery.WaitForWaiters(1));
    rig.discovery.Change({kCh340, kFtdi});
    rig.host.UserSelect(IDC_COM_PORT, 0);
    EXPECT_TRUE(rig.host.WaitForLine(Tip("IDC_COM_PORT", "COM1: " + kCh340Text)));
    EXPECT_EQ(rig.LastToolTip("IDC_STATUS"),
              Tip("IDC_STATUS", "COM1: " + kCh340Text + "\n/dev/ttyUSB7: nicht in diesem Test"));
}

TEST(PortsMenu, IsOfferedOnlyWhereTheSystemListsDevices) {
    for (const bool withDiscovery : {true, false}) {
        PortsRig rig({kFtdi});
        rig.Start(withDiscovery);
        Lines expected{"menu separator"};
        if (withDiscovery)
            expected.push_back("menu 32 \"&Anschlüsse...\"");
        expected.push_back("menu 16 \"Inf&o über Quillmere...\"");
        EXPECT_EQ(rig.host.Lines("menu"), expected) << withDiscovery;
        if (!withDiscovery) {
            rig.host.UserSysCommand(IDM_PORTS);
            rig.host.Sync([] {});
            EXPECT_EQ(rig.host.ModalDepth(), 1);
            EXPECT_EQ(rig.LastToolTip("IDC_COM_PORT"), "(none)");
        }
    }
}

TEST(PortsDialog, ShowsFourRowsWithTheStoredValueOrTheDefault) {
    PortsRig rig({kFtdi, kCh340}, {{"COM2", "/dev/ttyUSB7"}, {"COM3", kFtdi.path}, {"COM4", ""}});
    rig.Start();
    rig.OpenPorts();
    const Lines devices{kFtdiText, kCh340Text};
    const std::string firstDefault = "Standard: " + kFtdiText;
    const std::vector<std::pair<std::string, Lines>> rows{
        {firstDefault, {firstDefault, kFtdiText, kCh340Text}},
        {"/dev/ttyUSB7", devices},
        {kFtdiText, devices},
        {"", devices},
    };
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(rig.host.Text(IDC_PORT_COM1 + row), rows[row].first) << row;
        EXPECT_EQ(rig.host.Items(IDC_PORT_COM1 + row), rows[row].second) << row;
    }
}

TEST(PortsDialog, StoresOnlyTheRowsTheUserChangedAndOnlyOnOk) {
    struct Case {
        const char* what;
        std::function<void(HeadlessHost&)> edit;
        int button;
        Lines writes;
    };
    const std::vector<Case> cases{
        {"untouched", [](HeadlessHost&) {}, IDOK, {}},
        {"device picked for a default row",
         [](HeadlessHost& host) { host.UserSelect(IDC_PORT_COM1, 2); },
         IDOK,
         {"Ports/COM1=" + kCh340.path}},
        {"default picked again",
         [](HeadlessHost& host) { host.UserSelect(IDC_PORT_COM1, 0); },
         IDOK,
         {}},
        {"path typed",
         [](HeadlessHost& host) { host.UserType(IDC_PORT_COM2, "/dev/ttyACM3"); },
         IDOK,
         {"Ports/COM2=/dev/ttyACM3"}},
        {"typed and typed back",
         [](HeadlessHost& host) {
             host.UserType(IDC_PORT_COM2, "x");
             host.UserType(IDC_PORT_COM2, "/dev/ttyUSB7");
         },
         IDOK,
         {}},
        {"Abbrechen",
         [](HeadlessHost& host) { host.UserType(IDC_PORT_COM2, "/dev/ttyACM3"); },
         IDCANCEL,
         {}},
    };
    for (const Case& c : cases) {
        PortsRig rig({kFtdi, kCh340}, {{"COM2", "/dev/ttyUSB7"}});
        rig.Start();
        const std::size_t mark = rig.store->writes.size();
        rig.OpenPorts();
        c.edit(rig.host);
        rig.host.UserClick(c.button);
        ASSERT_TRUE(rig.host.WaitForLine("end IDD_PORTS " + std::to_string(c.button))) << c.what;
        rig.Close();
        EXPECT_EQ(rig.PortWrites(mark), c.writes) << c.what;
        EXPECT_EQ(rig.store->flushes, c.writes.empty() ? 0 : 1) << c.what;
    }
}

TEST(PortsDialog, FollowsDevicesPluggedInAndOutAndKeepsWhatTheUserChose) {
    PortsRig rig({kFtdi});
    rig.Start();
    rig.OpenPorts();
    rig.host.UserSelect(IDC_PORT_COM1, 1); // the FTDI adapter
    rig.host.UserType(IDC_PORT_COM2, "/dev/ttyAC");

    ASSERT_TRUE(rig.discovery.WaitForWaiters(1)) << "the dialog's watch alone waits";
    rig.host.ClearTranscript();
    rig.discovery.Change({kFtdi, kAcm});
    ASSERT_TRUE(rig.host.WaitForLine("additem IDC_PORT_COM4 " + HeadlessHost::Quote(kAcm.path)));
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM1), kFtdiText);
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM2), "/dev/ttyAC");
    EXPECT_EQ(rig.host.Items(IDC_PORT_COM2),
              (Lines{"Standard: " + kAcm.path, kFtdiText, kAcm.path}));

    rig.host.ClearTranscript();
    rig.discovery.Change({kAcm});
    ASSERT_TRUE(rig.host.WaitForLine("additem IDC_PORT_COM4 " + HeadlessHost::Quote(kAcm.path)));
    EXPECT_EQ(rig.host.Text(IDC_PORT_COM1), kFtdi.path) << "the unplugged choice stays as path";

    rig.host.UserClick(IDOK);
    ASSERT_TRUE(rig.host.WaitForLine("end IDD_PORTS 1"));
    rig.Close();
    EXPECT_EQ(rig.PortWrites(0), (Lines{"Ports/COM1=" + kFtdi.path, "Ports/COM2=/dev/ttyAC"}));
}

TEST(PortsDialog, ItsWatchIsJoinedBeforeItEndsAndTheMainDialogWatchesAgain) {
    for (const int button : {IDOK, IDCANCEL}) {
        std::atomic<int> liveAtEnd{-1};
        PortsRig rig({kFtdi});
        rig.host.OnRecord([&](const std::string& line) {
            if (line.starts_with("end IDD_PORTS"))
                liveAtEnd = LiveWorkerThreads();
        });
        rig.Start();
        ASSERT_TRUE(rig.discovery.WaitForWaiters(1));
        rig.OpenPorts();
        rig.host.UserClick(button);
        ASSERT_TRUE(rig.host.WaitForLine("end IDD_PORTS " + std::to_string(button)));
        rig.host.Sync([] {}); // the hook has run
        EXPECT_EQ(liveAtEnd, 0) << button;
        ASSERT_TRUE(rig.discovery.WaitForWaiters(1)) << button;
        rig.discovery.Change({kCh340});
        EXPECT_TRUE(rig.host.WaitForLine(Tip("IDC_COM_PORT", "COM1: " + kCh340Text))) << button;
    }
}

TEST(PortsPin, SavingPinsTheDefaultDeviceOfTheSelectedPortOnly) {
    struct Case {
        Entries ports;
        int select;
        Lines writes;
    };
    const std::vector<Case> cases{
        {{}, 0, {"Ports/COM1=" + kFtdi.path}},
        {{}, 1, {"Ports/COM2=" + kCh340.path}},
        {{{"COM1", "/dev/ttyUSB0"}}, 0, {}}, // an entry stays as the user wrote it
        {{{"COM3", ""}}, 2, {}},
    };
    for (const Case& c : cases) {
        PortsRig rig({kFtdi, kCh340}, c.ports);
        rig.store->Write("Settings", "COM Port", "3");
        rig.Start();
        const std::size_t mark = rig.store->writes.size();
        rig.host.ClearTranscript();
        rig.host.UserSelect(IDC_COM_PORT, c.select);
        rig.host.UserClick(IDC_SAVE);
        ASSERT_TRUE(rig.host.WaitForLine("enable IDC_SAVE 0"));
        rig.Close();
        EXPECT_EQ(rig.PortWrites(mark), c.writes) << c.select;
        EXPECT_EQ(rig.store->flushes, 1) << c.select;
    }
}
