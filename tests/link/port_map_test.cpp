#include "app/simulators.h"
#include "dialup/service_binding.h"
#include "link/port_map.h"
#include "link/port_open.h"

#include "platform/clock.h"
#include "platform/profile_store.h"
#include "pty_pair.h"
#include "tests/support/serial_result.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <vector>

namespace {

struct PortNameCase {
    int nComPort;
    const char* name;
    const char* digit;
};

TEST(ComPortName, FollowsTheDigitRuleForEveryIndex) {
    const PortNameCase cases[] = {
        {0, "COM1:", "1"},
        {2, "COM3:", "3"},
        {3, "COM4:", "4"},
        {8, "COM9:", "9"},
        {9, "COM::", ":"},             // the byte after '9'
        {-1, "COM0:", "0"},            // '1' - 1
        {255, "COM0:", "0"},           // wraps as an 8-bit character
        {256, "COM1:", "1"},           // a whole turn
        {79, "COM\u20AC:", "\u20AC"},  // 0x80 is the euro sign in Windows-1252
        {80, "COM\u0081:", "\u0081"},  // 0x81 is undefined there: the C1 control
        {114, "COM\u00A3:", "\u00A3"}, // 0xA3
        {206, "COM\u00FF:", "\u00FF"}, // 0xFF
        {-49, "COM", ""},              // the NUL byte ends the name
        {207, "COM", ""},              // the same byte from above
        {INT_MAX, "COM0:", "0"},       // 0x7FFFFFFF + '1' wraps without overflow
        {INT_MIN, "COM1:", "1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComPortName(c.nComPort), c.name) << c.nComPort;
        EXPECT_EQ(ComPortDigit(c.nComPort), c.digit) << c.nComPort;
    }
}

TEST(ComPortName, Windows1252HighHalfBecomesDistinctUtf8) {
    EXPECT_EQ(Cp1252ToUtf8(0x80), "\u20AC");
    EXPECT_EQ(Cp1252ToUtf8(0x8A), "\u0160");
    EXPECT_EQ(Cp1252ToUtf8(0x93), "\u201C");
    EXPECT_EQ(Cp1252ToUtf8(0x99), "\u2122");
    EXPECT_EQ(Cp1252ToUtf8(0x9F), "\u0178");
    EXPECT_EQ(Cp1252ToUtf8(0xE4), "\u00E4");
    EXPECT_EQ(Cp1252ToUtf8('A'), "A");
    for (unsigned char undefinedByte : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(Cp1252ToUtf8(undefinedByte), std::string({char(0xC2), char(undefinedByte)}));

    // Every byte keeps its own character: no two ports share a name.
    std::set<std::string> seen;
    for (int b = 0; b < 256; ++b)
        seen.insert(Cp1252ToUtf8(static_cast<unsigned char>(b)));
    EXPECT_EQ(seen.size(), 256u);
}

SerialDevice Found(const char* path, const char* node) {
    SerialDevice d;
    d.path = path;
    d.node = node;
    return d;
}
const SerialDevice kUart = Found("/dev/ttyS1", "/dev/ttyS1");
const SerialDevice kFtdi =
    Found("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB0");

struct BindCase {
    const char* what;
    std::vector<SerialDevice> devices;
    std::optional<std::string> entry; // [Ports] COM<n>, if there is one
    int nComPort;
    ComPortBinding::Source source;
    std::string value;
    std::optional<SerialDevice> device;
};

TEST(BindComPort, AnEntryWinsAndOtherwiseComNIsTheNthDeviceFound) {
    using S = ComPortBinding::Source;
    const BindCase cases[] = {
        {"nothing found", {}, {}, 0, S::Default, "", {}},
        {"one device: COM1", {kFtdi}, {}, 0, S::Default, kFtdi.path, kFtdi},
        {"one device: COM2 has none", {kFtdi}, {}, 1, S::Default, "", {}},
        {"several: COM2", {kUart, kFtdi}, {}, 1, S::Default, kFtdi.path, kFtdi},
        {"no digit, no default", {kUart, kFtdi}, {}, 9, S::Default, "", {}},
        {"below COM1", {kUart, kFtdi}, {}, -1, S::Default, "", {}},
        {"an entry wins", {kUart, kFtdi}, "sim:power=on", 0, S::Settings, "sim:power=on", {}},
        {"an empty entry is no port", {kUart}, "", 0, S::Settings, "", {}},
        {"an entry naming a node",
         {kUart, kFtdi},
         "/dev/ttyUSB0",
         0,
         S::Settings,
         "/dev/ttyUSB0",
         kFtdi},
        {"an entry naming a stable path", {kFtdi}, kFtdi.path, 2, S::Settings, kFtdi.path, kFtdi},
        {"an entry for an adapter not there", {kUart}, kFtdi.path, 0, S::Settings, kFtdi.path, {}},
    };
    for (const auto& c : cases) {
        MemoryProfileStore store;
        if (c.entry)
            store.Write("Ports", "COM" + ComPortDigit(c.nComPort), *c.entry);
        store.Write("Settings", "COM1", "/dev/wrong-group");
        const ComPortBinding b = BindComPort(store, c.nComPort, c.devices);
        EXPECT_EQ(b.source, c.source) << c.what;
        EXPECT_EQ(b.value, c.value) << c.what;
        EXPECT_EQ(b.device, c.device) << c.what;
        EXPECT_EQ(ResolveComPort(store, c.nComPort, c.devices), c.value) << c.what;
    }
}

TEST(ResolveComPort, AHandWrittenSimValueIsReadWholeCommasAndAll) {
    TempDir dir;
    const std::string path = dir / "Quillmere.conf";
    std::ofstream(path) << "[Settings]\nComPort=2\n\n[Ports]\n"
                           "COM3=sim:power=on,user=absent,echo=short,link=90\n";
    IniProfileStore store(path);
    EXPECT_EQ(ResolveComPort(store, 2), "sim:power=on,user=absent,echo=short,link=90");
}

TEST(PortOpener, RoutesByTheValue) {
    // The program's opener, with the simulator registered as the program does.
    SystemClock clock;
    PortOpener ports;
    DialupBackends backends;
    RegisterSimulators(ports, backends, [&]() -> IClock& { return clock; });
    // Nothing mapped: not available, with a reason.
    const OpenResult none = ports.Open("", nullptr);
    EXPECT_EQ(none.port, nullptr);
    EXPECT_FALSE(none.reason.empty());

    // A device path goes to the device.
    const OpenResult absent = ports.Open("/dev/quillmere-no-such-port", nullptr);
    EXPECT_EQ(absent.port, nullptr);
    EXPECT_NE(absent.reason.find("absent"), std::string::npos) << absent.reason;

    // "sim:" goes to the simulator, which judges its own options.
    const OpenResult bad = ports.Open("sim:power=sideways", nullptr);
    EXPECT_EQ(bad.port, nullptr);
    EXPECT_FALSE(bad.reason.empty());
    const OpenResult sim = ports.Open("sim:power=on,timing=none", nullptr);
    ASSERT_NE(sim.port, nullptr) << sim.reason;
    bool cts = false;
    ASSERT_EQ(sim.port->ReadCts(cts), SerialStatus::Ok);
    EXPECT_TRUE(cts); // a pty has no CTS at all: this is the simulator
}

TEST(PortOpener, APseudoTerminalPathOpensAsADevice) {
    PtyPair pty;
    TempDir lockDir; // keep the test's lock file out of /var/lock
    ::setenv("QUILLMERE_LOCK_DIR", lockDir.Path().c_str(), 1);
    const OpenResult opened = PortOpener().Open(pty.SlavePath(), nullptr);
    ::unsetenv("QUILLMERE_LOCK_DIR");
    ASSERT_NE(opened.port, nullptr) << opened.reason;
    EXPECT_EQ(opened.port->SetLine({9600}), SerialStatus::Ok);
    EXPECT_TRUE(std::filesystem::exists(lockDir / ("LCK.." + pty.SlaveName().substr(4))));
}

} // namespace
