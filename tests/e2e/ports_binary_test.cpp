// The built binary on serial devices of a umockdev testbed (see tests/link/port_discovery_test.cpp
// for how the testbed reaches libudev): the program inherits UMOCKDEV_DIR and the preload, so it
// sees the testbed's devices and opens the testbed's pty for an adapter's node.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if QM_HAVE_UMOCKDEV
#include <umockdev.h>
#endif

extern char** environ;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Starts the binary with standard output and error in files of the test's folder.
pid_t Spawn(const fs::path& dir, std::vector<std::string> args,
            std::map<std::string, std::string> changes) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        env[kv.substr(0, kv.find('='))] = kv.substr(kv.find('=') + 1);
    }
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.erase(name);
    env["XDG_CONFIG_HOME"] = (dir / "config").string();
    env["QUILLMERE_LOCK_DIR"] = (dir / "lock").string();
    for (const auto& [k, v] : changes)
        if (v.empty())
            env.erase(k);
        else
            env[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : env)
        envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    args.insert(args.begin(), QUILLMERE_BINARY);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}
// The exit code, or -1 when the program was still running at the deadline (then killed).
int Finish(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(20ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The automatic start on a discovered adapter cannot run inside the testbed: umockdev 0.17's
// realpath() answers "" for a device node that is one of its ptys (the program resolves the
// port's path before it locks it, so the open fails with ENOENT). So this is the same start on
// a plain pty named by a by-id link, as the COM1 value a discovered FTDI adapter gives: the
// program locks the pty behind it and, the transceiver being off (the shim's CTS), asks the
// user to switch it on.
TEST(PortsBinaryPty, TheAutomaticStartOpensAPortNamedByItsByIdLink) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("qm-by-id-" + std::to_string(::getpid()));
    fs::create_directories(dir / "lock");
    fs::create_directories(dir / "config" / "Talvenmark");
    const fs::path link = dir / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink(name, link);
    std::ofstream(dir / "config" / "Talvenmark" / "Quillmere.conf")
        << "[Ports]\nCOM1=" << link.string() << "\n[Dialup]\nService=none\n";
    const pid_t pid = Spawn(dir, {},
                            {{"QT_QPA_PLATFORM", "offscreen"},
                             {"QUILLMERE_TRACE", "1"},
                             {"LD_PRELOAD", MODEM_LINES_SHIM},
                             {"UMOCKDEV_DIR", ""}});
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (Slurp(dir / "stderr").find("\"Laser-Transceiver einschalten\"") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    const std::string trace = Slurp(dir / "stderr");
    EXPECT_NE(trace.find("\"Laser-Transceiver einschalten\""), std::string::npos) << trace;
    EXPECT_TRUE(fs::exists(dir / "lock" / ("LCK.." + fs::path(name).filename().string())));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Finish(pid, 10s), 128 + SIGTERM) << Slurp(dir / "stderr");
    ::close(master);
    fs::remove_all(dir);
}

#if QM_HAVE_UMOCKDEV

class PortsBinary : public ::testing::Test {
protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "libumockdev-preload"))
            GTEST_SKIP() << "needs libumockdev-preload.so.0 preloaded: run it through ctest or "
                            "umockdev-wrapper";
        m_testbed = umockdev_testbed_new();
        std::string tmpl = (fs::temp_directory_path() / "qm-ports-XXXXXX").string();
        m_dir = ::mkdtemp(tmpl.data());
        fs::create_directories(m_dir / "config" / "Talvenmark");
        fs::create_directories(m_dir / "lock");
    }
    void TearDown() override {
        if (m_testbed)
            g_object_unref(m_testbed);
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }

    void Add(const std::string& name) {
        GError* error = nullptr;
        const std::string text = Slurp(std::string(QM_DEVICE_DIR) + "/" + name + ".umockdev");
        if (!umockdev_testbed_add_from_string(m_testbed, text.c_str(), &error)) {
            ADD_FAILURE() << name << ": " << (error ? error->message : "?");
            g_clear_error(&error);
        }
    }
    void WriteSettings(const std::string& text) {
        std::ofstream(m_dir / "config" / "Talvenmark" / "Quillmere.conf") << text;
    }

    pid_t Start(std::vector<std::string> args, std::map<std::string, std::string> changes) {
        return Spawn(m_dir, std::move(args), std::move(changes));
    }
    std::string Output(const char* name) const { return Slurp(m_dir / name); }

    UMockdevTestbed* m_testbed = nullptr;
    fs::path m_dir;
};

const std::string kFtdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

TEST_F(PortsBinary, ListPortsPrintsTheDevicesThenCom1ToCom4WithoutADisplay) {
    for (const char* name : {"virtual", "uarts_8250", "ftdi_ft232r"})
        Add(name);
    WriteSettings("[Ports]\nCOM2=/dev/ttyUSB0\nCOM4=\n");
    const int code = Finish(Start({"--list-ports"}, {}), 20s);
    EXPECT_EQ(code, 0) << Output("stderr");
    EXPECT_EQ(Output("stdout"),
              "device\t/dev/ttyS1\t/dev/ttyS1\tserial8250\t\t\t\t\n"
              "device\t/dev/serial/by-path/pci-0000:05:00.0\t/dev/ttyS10\tserial\t\t\t\t\n"
              "device\t" +
                  kFtdi +
                  "\t/dev/ttyUSB0\tftdi_sio\t0403\t6001\tA50285BI\tFT232R USB UART\n"
                  "COM1\t/dev/ttyS1\tdefault\n"
                  "COM2\t/dev/ttyUSB0\tsettings\n"
                  "COM3\t" +
                  kFtdi +
                  "\tdefault\n"
                  "COM4\t\tnone\n");
}

#else

TEST(PortsBinary, NeedsUmockdev) {
    GTEST_SKIP() << "umockdev is not installed (apt-get install umockdev libumockdev-dev)";
}

#endif

} // namespace
