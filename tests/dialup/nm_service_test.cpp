// The NetworkManager backend against python3-dbusmock's NetworkManager template, on a private
// bus that stands in for the system bus: what a real NetworkManager (nm_real_service_test.cpp)
// cannot be made to do on demand: refuse, answer slowly, stay activating, stop answering, vanish.
#include "../support/wait_until.h"
#include "dialup/networkmanager/nm_service.h"
#include "platform/cancel_token.h"
#include "tests/dialup/temp_dir.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const char* const kPython = "/usr/bin/python3";

pid_t Spawn(const std::vector<std::string>& args, int stdoutFd = -1) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&files, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Stop(pid_t& pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

// Drives the mock through its own D-Bus interface: one command and its arguments.
const char* const kMockScript = R"PY(
import sys, dbus
NM = 'org.freedesktop.NetworkManager'
bus = dbus.SystemBus()
manager = bus.get_object(NM, '/org/freedesktop/NetworkManager')
mock = dbus.Interface(manager, 'org.freedesktop.DBus.Mock')
settings = dbus.Interface(bus.get_object(NM, '/org/freedesktop/NetworkManager/Settings'),
                          NM + '.Settings')
def saved(name):
    return settings.AddConnection(dbus.Dictionary({'connection': dbus.Dictionary(
        {'id': name, 'type': 'ppp'}, signature='sv')}, signature='sa{sv}'))
command, args = sys.argv[1], sys.argv[2:]
if command == 'device':
    mock.AddEthernetDevice('mock_Ethernet1', 'eth0', 30)
elif command == 'saved':
    saved(args[0])
elif command == 'active':
    mock.AddActiveConnection(['/org/freedesktop/NetworkManager/Devices/mock_Ethernet1'],
                             saved(args[0]), '/', args[1], 2)
elif command == 'refuse':
    mock.AddMethod(NM, 'ActivateConnection', 'ooo', 'o',
        "raise dbus.exceptions.DBusException('not authorized', "
        "name='org.freedesktop.NetworkManager.PermissionDenied')")
elif command == 'stall':
    mock.AddMethod(NM, 'ActivateConnection', 'ooo', 'o',
        "ret = dbus.ObjectPath(self.AddActiveConnection([], args[0], '/', 'stalled', 1))")
elif command == 'deaf':
    # A saved connection whose GetSettings touches args[1] once the call is in, then keeps the
    # whole mock silent for 6 s: past the backend's deadline.
    mock_of = dbus.Interface(bus.get_object(NM, saved(args[0])), 'org.freedesktop.DBus.Mock')
    mock_of.AddMethod(NM + '.Settings.Connection', 'GetSettings', '', 'a{sa{sv}}',
        "import time; open(%r, 'w').close(); time.sleep(6)" % args[1])
elif command == 'slow':
    # Touches args[0] once the call is in, then answers 3 s later.
    mock.AddMethod(NM, 'ActivateConnection', 'ooo', 'o',
        "import time; open(%r, 'w').close(); time.sleep(3); "
        "ret = dbus.ObjectPath(self.AddActiveConnection([], args[0], '/', 'slow', 1))" % args[0])
)PY";

bool MockAvailable() {
    struct stat st {};
    if (::stat("/usr/bin/dbus-daemon", &st) != 0)
        return false;
    pid_t pid = Spawn({kPython, "-c", "import dbusmock, dbus"});
    return pid > 0 && Wait(pid) == 0;
}

class NetworkManagerBackend : public ::testing::Test {
protected:
    static inline pid_t s_bus = -1;
    static inline bool s_available = false;
    pid_t m_mock = -1;

    static void SetUpTestSuite() {
        s_available = MockAvailable();
        if (!s_available)
            return;
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        s_bus = Spawn({"/usr/bin/dbus-daemon", "--config-file=/usr/share/dbus-1/session.conf",
                       "--nofork", "--print-address=1"},
                      fds[1]);
        ::close(fds[1]);
        std::string address;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            address += c;
        ::close(fds[0]);
        ASSERT_FALSE(address.empty()) << "the private bus did not start";
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    static void TearDownTestSuite() {
        Stop(s_bus);
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    void SetUp() override {
        if (!s_available)
            GTEST_SKIP() << "python3-dbusmock or dbus-daemon is not installed";
        ASSERT_EQ(MakeNetworkManagerService(), nullptr) << "NetworkManager before it started";
        m_mock = Spawn({kPython, "-m", "dbusmock", "--template", "networkmanager"});
        ASSERT_GT(m_mock, 0);
        ASSERT_TRUE(WaitUntil([&] { return (service = MakeNetworkManagerService()) != nullptr; }))
            << "the NetworkManager mock never came up";
        Mock({"device"});
    }
    void TearDown() override {
        service.reset();
        Stop(m_mock);
    }

    void Mock(std::vector<std::string> command) {
        command.insert(command.begin(), {kPython, "-c", kMockScript});
        ASSERT_EQ(Wait(Spawn(command)), 0) << command[3];
    }

    std::vector<std::string> Listed() {
        std::vector<std::string> names;
        auto list = service->EnumConnections();
        EXPECT_TRUE(list.has_value());
        for (const auto& c : list.value_or(std::vector<RASCONN>{}))
            names.push_back(c.szEntryName);
        return names;
    }

    HRASCONN HandleOf(const std::string& name) {
        const auto list = service->EnumConnections();
        for (const auto& c : list.value())
            if (c.szEntryName == name)
                return c.hrasconn;
        return 0;
    }

    std::shared_ptr<IDialupService> service;
};

TEST_F(NetworkManagerBackend, ARefusalByTheAuthorisationServiceIsExplained) {
    Mock({"saved", "Mast"});
    Mock({"refuse"});
    CancelToken token;
    DialOutcome outcome = service->Dial("Mast", token, nullptr);
    EXPECT_EQ(outcome.kind, DialOutcome::Failed);
    EXPECT_EQ(outcome.error,
              "Keine Berechtigung: Die Rechteverwaltung des Systems hat das Verbinden abgelehnt.");
    EXPECT_EQ(outcome.detail, "org.freedesktop.NetworkManager.PermissionDenied: not authorized");
}

TEST_F(NetworkManagerBackend, CancelWhileTheActivationIsUnansweredDeactivatesWhatTheAnswerNames) {
    TempDir dir;
    Mock({"saved", "Mast"});
    Mock({"slow", dir / "called"});
    CancelToken token;
    DialOutcome outcome;
    std::thread dial([&] { outcome = service->Dial("Mast", token, nullptr); });
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir / "called"); }));
    token.Cancel();
    dial.join();
    EXPECT_EQ(outcome.kind, DialOutcome::Cancelled);
    EXPECT_EQ(Listed(), std::vector<std::string>{});
}

TEST_F(NetworkManagerBackend, CancelWhileActivatingDeactivatesIt) {
    Mock({"saved", "Mast"});
    Mock({"stall"});
    CancelToken token;
    DialOutcome outcome;
    std::thread dial([&] { outcome = service->Dial("Mast", token, nullptr); });
    EXPECT_TRUE(WaitUntil([&] { return !Listed().empty(); })) << "never activating";
    token.Cancel();
    dial.join();
    EXPECT_EQ(outcome.kind, DialOutcome::Cancelled);
    EXPECT_EQ(Listed(), std::vector<std::string>{});
}

// NetworkManager lists its connections but does not tell one's settings: that may be the one
// the entry names, so the user hears that it does not answer, not that there is no such
// connection; and "Abbrechen" does not wait for it.
TEST_F(NetworkManagerBackend, AConnectionWhoseSettingsDoNotComeIsNoAnswerAndCancelEndsTheWait) {
    TempDir dir;
    Mock({"deaf", "Alt", dir / "asked"});
    Mock({"saved", "Mast"});
    CancelToken token;
    DialOutcome outcome = service->Dial("Mast", token, nullptr);
    EXPECT_EQ(outcome.error, "Der NetworkManager gibt keine Auskunft.");
    EXPECT_NE(outcome.detail.find("GetSettings"), std::string::npos) << outcome.detail;
    std::filesystem::remove(dir / "asked");
    const auto start = std::chrono::steady_clock::now();
    std::thread dial([&] { outcome = service->Dial("Mast", token, nullptr); });
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir / "asked"); }));
    token.Cancel();
    dial.join();
    EXPECT_EQ(outcome.kind, DialOutcome::Cancelled) << outcome.error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, kServiceDeadline);
}

TEST_F(NetworkManagerBackend, AServiceThatStopsAnsweringIsGivenUpAfterTheDeadline) {
    Mock({"active", "Mast", "mast0"});
    const HRASCONN handle = HandleOf("Mast");
    ::kill(m_mock, SIGSTOP);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(service->EnumConnections().has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(6500));
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(service->HangUp(handle));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(6500));
    ::kill(m_mock, SIGCONT);
}

TEST_F(NetworkManagerBackend, AServiceThatIsGoneIsAFailedEnumeration) {
    Stop(m_mock);
    EXPECT_FALSE(service->EnumConnections().has_value());
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("DBUS_FATAL_WARNINGS", "0", 0); // as the program does before Qt starts
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
