// `Quillmere --list-ports` on the serial devices of a umockdev testbed (see
// tests/link/port_discovery_test.cpp for how the testbed reaches libudev): the program inherits
// UMOCKDEV_DIR and the preload.
//
// The automatic sequence does not run inside the testbed. umockdev 0.17 makes a tty node a
// symlink to a pty of its own, and its realpath() answers "" for a path that resolves out of the
// testbed (in a plain C caller it even jumps to address 0); the program resolves the port's path
// before it locks it. A node replaced by a symlink to the test's pty is the same case. A device
// node made with mknod resolves but does not open (EIO: a pty opens only through devpts). The
// pty bind-mounted on the node in a mount namespace of the program's own resolves and opens,
// once the testbed's dev/.node entry gives the pty's device numbers; but then no worker starts
// and the dialog shows no status at all, which is not understood yet. Instead, the real serial
// code meets a plain pty named by a by-id link (Binary.APortNamedByItsByIdLinkIs... in
// quillmere_binary_test.cpp), and the whole sequence runs on a discovered default in
// Chaining.WithoutAPortEntryTheWholeSequenceRunsOnTheAdapterTheSystemListsFirst.
#include <gtest/gtest.h>

#if QM_HAVE_UMOCKDEV
#include "tests/support/text.h"

#include <umockdev.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(PortsBinary, ListPortsPrintsTheDevicesThenCom1ToCom4WithoutADisplay) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload"))
        GTEST_SKIP() << "needs libumockdev-preload.so.0 preloaded: run it through ctest or "
                        "umockdev-wrapper";
    UMockdevTestbed* testbed = umockdev_testbed_new();
    for (const char* name : {"virtual", "uarts_8250", "ftdi_ft232r"}) {
        const std::string text = ReadText(std::string(QM_DEVICE_DIR) + "/" + name + ".umockdev");
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, text.c_str(), nullptr)) << name;
    }
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("qm-list-ports-" + std::to_string(::getpid()));
    fs::create_directories(dir / "Talvenmark");
    std::ofstream(dir / "Talvenmark" / "Quillmere.conf") << "[Ports]\nCOM2=/dev/ttyUSB0\nCOM4=\n";

    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
                                "XDG_CONFIG_HOME=" +
                                dir.string() + " " QUILLMERE_BINARY " --list-ports";
    FILE* out = ::popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string listing;
    for (int c; (c = std::fgetc(out)) != EOF;)
        listing += static_cast<char>(c);
    const int status = ::pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string ftdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    EXPECT_EQ(listing, "device\t/dev/ttyS1\t/dev/ttyS1\tserial8250\t\t\t\t\n"
                       "device\t/dev/serial/by-path/pci-0000:05:00.0\t/dev/ttyS10\tserial\t\t\t\t\n"
                       "device\t" +
                           ftdi +
                           "\t/dev/ttyUSB0\tftdi_sio\t0403\t6001\tA50285BI\tFT232R USB UART\n"
                           "COM1\t/dev/ttyS1\tdefault\n"
                           "COM2\t/dev/ttyUSB0\tsettings\n"
                           "COM3\t" +
                           ftdi +
                           "\tdefault\n"
                           "COM4\t\tnone\n");
    fs::remove_all(dir);
    g_object_unref(testbed);
}

} // namespace

#else

TEST(PortsBinary, NeedsUmockdev) {
    GTEST_SKIP() << "umockdev is not installed (apt-get install umockdev libumockdev-dev)";
}

#endif
