// Port discovery against device trees described as the kernel and udev lay them out, in a
// umockdev testbed: the test makes the testbed in-process (it sets UMOCKDEV_DIR), and the test
// program runs with libumockdev-preload.so.0 in LD_PRELOAD (tests/link/CMakeLists.txt sets it
// for ctest; by hand: umockdev-wrapper build/tests/link/port_discovery_tests). The preload
// shows libudev the testbed's /sys and /dev instead of the machine's, and carries the testbed's
// uevents to udev monitors.
#include "link/port_discovery.h"

#include "platform/cancel_token.h"

#include <gtest/gtest.h>

#if QM_HAVE_UMOCKDEV
#include <umockdev.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::string Description(const std::string& name) {
    std::ifstream in(std::string(QM_DEVICE_DIR) + "/" + name + ".umockdev");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class PortDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "libumockdev-preload"))
            GTEST_SKIP() << "needs libumockdev-preload.so.0 preloaded: run it through ctest or "
                            "umockdev-wrapper";
        m_testbed = umockdev_testbed_new();
    }
    void TearDown() override {
        if (m_testbed)
            g_object_unref(m_testbed);
    }

    void Add(const std::string& name) {
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(m_testbed, Description(name).c_str(), &error)) {
            ADD_FAILURE() << name << ": " << (error ? error->message : "?");
            g_clear_error(&error);
        }
    }
    std::vector<std::string> Nodes() {
        std::vector<std::string> nodes;
        for (const SerialDevice& d : MakeSystemPortDiscovery()->Devices())
            nodes.push_back(d.node);
        return nodes;
    }

    UMockdevTestbed* m_testbed = nullptr;
};

const char* const kFtdiTty =
    "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0";

TEST_F(PortDiscovery, ListsHardwarePortsBoardFirstWithWhatTheirParentsSay) {
    for (const char* name :
         {"virtual", "uarts_8250", "ftdi_ft232r", "ch340", "cp2102", "pl2303", "cdc_acm"})
        Add(name);
    const auto board = [](const char* path, const char* node, const char* driver) {
        SerialDevice d;
        d.path = path;
        d.node = node;
        d.driver = driver;
        d.onBoard = true;
        return d;
    };
    const auto usb = [](const char* id, const char* node, const char* driver, const char* vendor,
                        const char* product, const char* serial, const char* name) {
        return SerialDevice{std::string("/dev/serial/by-id/") + id,
                            node,
                            driver,
                            false,
                            vendor,
                            product,
                            serial,
                            name};
    };
    // Not listed: the console ttyS0, the phantom ttyS2, tty1, console and ptmx.
    const std::vector<SerialDevice> expected = {
        board("/dev/ttyS1", "/dev/ttyS1", "serial8250"),
        board("/dev/serial/by-path/pci-0000:05:00.0", "/dev/ttyS10", "serial"),
        usb("usb-1a86_USB_Serial-if00-port0", "/dev/ttyUSB1", "ch341-uart", "1a86", "7523", "",
            "USB Serial"),
        usb("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB0", "ftdi_sio", "0403",
            "6001", "A50285BI", "FT232R USB UART"),
        usb("usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "/dev/ttyUSB3",
            "pl2303", "067b", "2303", "", "USB-Serial Controller"),
        usb("usb-STMicroelectronics_STM32_Virtual_ComPort_6D8A36725648-if00", "/dev/ttyACM0",
            "cdc_acm", "0483", "5740", "6D8A36725648", "STM32 Virtual ComPort"),
        usb("usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0", "/dev/ttyUSB2",
            "cp210x", "10c4", "ea60", "0001", "CP2102 USB to UART Bridge Controller"),
    };
    EXPECT_EQ(MakeSystemPortDiscovery()->Devices(), expected);
}

TEST_F(PortDiscovery, TheConsoleAndSlotsWithoutAUartAreLeftOutTheRestGoByNumber) {
    Add("virtual");
    Add("uarts_8250");
    const struct {
        const char* active;
        const char* ttyS2Type; // 0: no UART answered there
        std::vector<std::string> nodes;
    } cases[] = {
        {"tty0 ttyS0", "0", {"/dev/ttyS1", "/dev/ttyS10"}},
        {"ttyS1", "0", {"/dev/ttyS0", "/dev/ttyS10"}},
        {"tty0", "0", {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS10"}},
        {"tty0 ttyS0", "4", {"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"}},
    };
    for (const auto& c : cases) {
        umockdev_testbed_set_attribute(m_testbed, "/sys/devices/virtual/tty/console", "active",
                                       c.active);
        umockdev_testbed_set_attribute(m_testbed, "/sys/devices/platform/serial8250/tty/ttyS2",
                                       "type", c.ttyS2Type);
        EXPECT_EQ(Nodes(), c.nodes) << c.active << ", ttyS2 type " << c.ttyS2Type;
    }
}

TEST_F(PortDiscovery, AWaitWithACancelAlreadyGivenReportsOnlyRealDevicesComingOrGoing) {
    Add("virtual");
    Add("ftdi_ft232r");
    const struct {
        const char* what;
        std::function<void()> event;
        bool changed;
    } cases[] = {
        {"nothing", [] {}, false},
        {"a tty without hardware",
         [&] { umockdev_testbed_uevent(m_testbed, "/sys/devices/virtual/tty/tty1", "add"); },
         false},
        {"an adapter added", [&] { Add("ch340"); }, true},
        {"an adapter removed",
         [&] {
             umockdev_testbed_uevent(m_testbed, kFtdiTty, "remove");
             umockdev_testbed_remove_device(m_testbed, kFtdiTty);
         },
         true},
    };
    for (const auto& c : cases) {
        auto discovery = MakeSystemPortDiscovery();
        c.event();
        CancelToken cancel;
        cancel.Cancel();
        EXPECT_EQ(discovery->WaitForChange(cancel), c.changed) << c.what;
    }
}

TEST_F(PortDiscovery, ABlockedWaitWakesOnAnAdapterAndOnCancel) {
    auto discovery = MakeSystemPortDiscovery();
    CancelToken cancel;
    auto waiting = std::async(std::launch::async, [&] { return discovery->WaitForChange(cancel); });
    Add("cp2102");
    ASSERT_EQ(waiting.wait_for(20s), std::future_status::ready);
    EXPECT_TRUE(waiting.get());

    waiting = std::async(std::launch::async, [&] { return discovery->WaitForChange(cancel); });
    cancel.Cancel();
    ASSERT_EQ(waiting.wait_for(20s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
}

} // namespace

#else

TEST(PortDiscovery, NeedsUmockdev) {
    GTEST_SKIP() << "umockdev is not installed (apt-get install umockdev libumockdev-dev)";
}

#endif
