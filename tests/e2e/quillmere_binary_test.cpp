// End to end: the built binary, offscreen, with a private settings folder, `sim:` ports and the
// dial-up simulator. What the dialog shows is read from its trace (QUILLMERE_TRACE=1).
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

class Sandbox {
public:
    Sandbox() {
        std::string tmpl = (fs::temp_directory_path() / "qm-e2e-XXXXXX").string();
        dir = ::mkdtemp(tmpl.data());
        fs::create_directories(dir / "config" / "Talvenmark");
        fs::create_directories(dir / "run");
        fs::permissions(dir / "run", fs::perms::owner_all);
        fs::create_directories(dir / "lock");
    }
    ~Sandbox() { fs::remove_all(dir); }

    void WriteSettings(const std::string& text) {
        std::ofstream(dir / "config" / "Talvenmark" / "Quillmere.conf") << text;
    }
    std::string Log(const char* name) const { return Slurp(dir / name); }
    std::string Path(const char* name) const { return (dir / name).string(); }

    fs::path dir;
};

struct Result {
    int exitCode = -1;
    bool timedOut = false;
    std::string trace; // standard error
    std::string out;   // standard output
};

// The program as started, still running until Finish.
class Running {
public:
    Running(pid_t pid, std::string errPath) : m_pid(pid), m_errPath(std::move(errPath)) {}

    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    pid_t Pid() const { return m_pid; }
    std::string Trace() const { return Slurp(m_errPath); }

    // Whether standard error shows part within limit.
    bool WaitForTrace(const std::string& part, std::chrono::milliseconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (Trace().find(part) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // Waits at most `limit`; a program still running then is killed.
    Result Finish(std::chrono::milliseconds limit) {
        Result r;
        if (m_pid <= 0) {
            r.trace = "cannot start the program";
            return r;
        }
        auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        for (;;) {
            pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid)
                break;
            if (std::chrono::steady_clock::now() > deadline) {
                r.timedOut = true;
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        m_pid = -1;
        if (!r.timedOut && WIFEXITED(status))
            r.exitCode = WEXITSTATUS(status);
        r.trace = Trace();
        r.out = Slurp(fs::path(m_errPath).parent_path() / "stdout.txt");
        return r;
    }

    ~Running() {
        if (m_pid > 0)
            Finish(0ms);
    }

private:
    pid_t m_pid;
    std::string m_errPath;
};

// closedFd: a standard descriptor the program starts without.
Running StartProgram(const Sandbox& box, std::vector<std::string> args,
                     std::map<std::string, std::string> envChanges = {},
                     const std::string& program = QUILLMERE_BINARY, int closedFd = -1) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        auto eq = kv.find('=');
        env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    env["XDG_CONFIG_HOME"] = (box.dir / "config").string();
    env["XDG_STATE_HOME"] = (box.dir / "state").string();
    env["XDG_RUNTIME_DIR"] = (box.dir / "run").string();
    env["QUILLMERE_LOCK_DIR"] = (box.dir / "lock").string();
    env["QUILLMERE_TRACE"] = "1";
    env["QT_QPA_PLATFORM"] = "offscreen";
    for (const auto& [k, v] : envChanges) {
        if (v.empty())
            env.erase(k);
        else
            env[k] = v;
    }
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : env)
        envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string errPath = (box.dir / "stderr.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (box.dir / "stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (closedFd >= 0)
        posix_spawn_file_actions_addclose(&actions, closedFd);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return Running(pid, errPath);
}

// Starts the program and waits at most `limit`; a program still running then is killed.
Result RunProgram(const Sandbox& box, std::vector<std::string> args,
                  std::chrono::milliseconds limit,
                  std::map<std::string, std::string> envChanges = {},
                  const std::string& program = QUILLMERE_BINARY) {
    return StartProgram(box, std::move(args), std::move(envChanges), program).Finish(limit);
}

std::string Settings(const Sandbox& box, const std::string& transceiver, const std::string& dialup,
                     const std::string& extra = "") {
    return "[Settings]\nRAS%20Link%20Name=Optolink\nRun%20Program=/usr/bin/touch " +
           box.Path("follow-up-ran") + "\n" + extra + "\n[Ports]\nCOM1=sim:" + transceiver +
           ",log=" + box.Path("transceiver.log") + "\n\n[Dialup]\nService=sim:" + dialup +
           ",log=" + box.Path("dialup.log") + "\n";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A system bus that takes connections and then stops: from the start, or once it has answered
// the login (a daemon that never answers Hello).
class StuckBus {
public:
    StuckBus(const std::string& path, bool answersLogin) : m_address("unix:path=" + path) {
        m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_listener, 4) != 0 || ::pipe2(m_stop, O_CLOEXEC) != 0)
            ADD_FAILURE() << "no socket at " << path;
        m_thread = std::thread([this, answersLogin] { Serve(answersLogin); });
    }
    ~StuckBus() {
        ::close(m_stop[1]);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_listener);
    }
    const std::string& Address() const { return m_address; }

private:
    void Serve(bool answersLogin) {
        std::vector<pollfd> fds{{m_stop[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        std::map<int, std::string> received;
        std::vector<int> accepted;
        while (::poll(fds.data(), fds.size(), -1) >= 0 && !fds[0].revents) {
            if (fds[1].revents) {
                // A silent bus never reads: what the program sends stays in the socket.
                const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                accepted.push_back(fd);
                fds.push_back({fd, static_cast<short>(answersLogin ? POLLIN : 0), 0});
            }
            for (size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                char buf[256];
                const ssize_t n = answersLogin ? ::read(fds[i].fd, buf, sizeof buf) : 0;
                if (n <= 0) {
                    fds[i].fd = -1; // hung up: poll leaves it alone
                    continue;
                }
                std::string& text = received[fds[i].fd];
                text.append(buf, static_cast<size_t>(n));
                for (size_t end; (end = text.find("\r\n")) != std::string::npos;) {
                    const std::string line = text.substr(0, end);
                    text.erase(0, end + 2);
                    const char* answer = Contains(line, "AUTH ")
                                             ? "OK 0123456789abcdef0123456789abcdef\r\n"
                                         : Contains(line, "NEGOTIATE_UNIX_FD") ? "AGREE_UNIX_FD\r\n"
                                                                               : nullptr;
                    if (answer)
                        ::send(fds[i].fd, answer, std::strlen(answer), MSG_NOSIGNAL);
                }
            }
        }
        for (int fd : accepted)
            ::close(fd);
    }

    std::string m_address;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

// A pseudo-terminal as the transceiver's port. It has no modem lines; the preloaded shim
// answers for them: CTS off, a transceiver switched off whom nobody switches on.
class PtyPort {
public:
    PtyPort() {
        char name[128] = {};
        int slave = -1;
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            ADD_FAILURE() << "no pseudo-terminal";
        ::close(slave);
        m_name = name;
    }
    ~PtyPort() { ::close(m_master); }
    const std::string& Name() const { return m_name; }
    fs::path LockFile(const Sandbox& box) const {
        return box.dir / "lock" / ("LCK.." + fs::path(m_name).filename().string());
    }

private:
    int m_master = -1;
    std::string m_name;
};

} // namespace

TEST(Binary, TheFullAutomaticRunExitsZeroAfterStartingTheFollowUpProgram) {
    Sandbox box;
    box.WriteSettings(Settings(box, "power=off,user=obedient,react=200", "entries=Optolink"));
    Result r = RunProgram(box, {}, 30s);
    ASSERT_FALSE(r.timedOut) << r.trace;
    EXPECT_EQ(r.exitCode, 0) << r.trace;
    // The follow-up program runs on its own: it may finish after ours.
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(box.dir / "follow-up-ran"); }));
    const std::string line = box.Log("transceiver.log");
    const size_t packet = line.find("tx 0b 51 64 70 43 81 90 11");
    ASSERT_NE(packet, std::string::npos) << line;
    EXPECT_LT(line.rfind("speed 9600", packet), packet);
    const size_t test = line.find("tx 54 45 53 54 54 45 53 54", packet);
    ASSERT_NE(test, std::string::npos);
    EXPECT_LT(line.rfind("speed 115200", test), test);
    EXPECT_TRUE(Contains(box.Log("dialup.log"), "dial Optolink ok")) << box.Log("dialup.log");
    for (const char* status : {"Laser-Transceiver einschalten", "Sende Konfigurationsdaten...",
                               "Warten, bis Transceiver bereit ist...", "Prüfe Link-Qualität..."})
        EXPECT_TRUE(Contains(r.trace, std::string("trace: text IDC_STATUS \"") + status + "\""))
            << status;
}

TEST(Binary, ATransceiverAlreadyOnSkipsTheConfiguration) {
    Sandbox box;
    box.WriteSettings(Settings(box, "power=on", "entries=Optolink"));
    Result r = RunProgram(box, {}, 30s);
    EXPECT_EQ(r.exitCode, 0) << r.trace;
    EXPECT_FALSE(Contains(box.Log("transceiver.log"), "tx 0b 51"));
    EXPECT_FALSE(Contains(r.trace, "Laser-Transceiver einschalten"));
}

// Where the automatic sequence stops, the program shows why and stays in manual mode: a second
// after the status it still waits for the user, and the step after it never came.
TEST(Binary, ABadLinkOrAMissingEchoStopsInManualModeWithItsWarning) {
    const struct {
        const char* transceiver;
        const char* status;
        const char* log;
        const char* neverLogged;
    } cases[] = {
        {"power=on,link=80", "Schlechte Verbindung - Ausrichten erforderlich", "dialup.log",
         "dial "},
        {"power=off,user=obedient,react=100,echo=none",
         "FEHLER: Konfigurationsdaten wurden nicht empfangen", "transceiver.log",
         "tx 54 45 53 54"}, // no link test
    };
    for (const auto& c : cases) {
        Sandbox box;
        box.WriteSettings(Settings(box, c.transceiver, "entries=Optolink"));
        Running program = StartProgram(box, {});
        ASSERT_TRUE(program.WaitForTrace(std::string("text IDC_STATUS \"") + c.status + "\"", 60s))
            << program.Trace();
        Result r = program.Finish(1s);
        EXPECT_TRUE(r.timedOut) << c.status << ": the program must still be running: " << r.trace;
        EXPECT_FALSE(Contains(box.Log(c.log), c.neverLogged)) << c.status;
    }
}

TEST(Binary, HangUpModeEndsAnActiveConnectionAndExitsZero) {
    Sandbox box;
    box.WriteSettings(Settings(box, "power=on", "entries=Optolink,active=Optolink"));
    Result r = RunProgram(box, {"/d"}, 15s);
    EXPECT_EQ(r.exitCode, 0) << r.trace;
    EXPECT_TRUE(Contains(box.Log("dialup.log"), "hangup Optolink")) << box.Log("dialup.log");
    EXPECT_FALSE(Contains(box.Log("transceiver.log"), "open")) << "the port is not touched";
}

TEST(Binary, HangUpModeExitsZeroWithNothingActiveNoServiceAndNoDisplay) {
    Sandbox box;
    box.WriteSettings(Settings(box, "power=on", "entries=Optolink"));
    Result nothing = RunProgram(box, {"/d"}, 15s);
    EXPECT_EQ(nothing.exitCode, 0) << nothing.trace;
    EXPECT_FALSE(Contains(box.Log("dialup.log"), "hangup"));

    box.WriteSettings("[Dialup]\nService=none\n");
    EXPECT_EQ(RunProgram(box, {"/d"}, 15s).exitCode, 0);

    box.WriteSettings(Settings(box, "power=on", "entries=Optolink,active=Optolink"));
    Result headless = RunProgram(box, {"/d"}, 15s,
                                 {{"QT_QPA_PLATFORM", ""},
                                  {"DISPLAY", ""},
                                  {"WAYLAND_DISPLAY", ""},
                                  {"DBUS_SESSION_BUS_ADDRESS", ""}});
    EXPECT_EQ(headless.exitCode, 0) << headless.trace;
    EXPECT_TRUE(Contains(box.Log("dialup.log"), "hangup Optolink"));
}

// Asking for help or the version does nothing else, display or not: no window, the port and the
// dial-up service untouched, the settings as they were.
TEST(Binary, HelpAndVersionPrintAndExitZeroTouchingNothing) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"--help",
         {"Aufruf: Quillmere\n", " --list-ports\n", "QUILLMERE_LOCK_DIR ", "Einstellungen: /"}},
        {"-h", {"Aufruf: Quillmere\n"}},
        {"--version", {"Quillmere 1.", "Copyright"}},
    };
    for (const auto& [arg, parts] : cases) {
        Sandbox box;
        const std::string settings = Settings(box, "power=on", "entries=Optolink,active=Optolink");
        box.WriteSettings(settings);
        Result r = RunProgram(box, {arg}, 10s,
                              {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
        EXPECT_EQ(r.exitCode, 0) << arg << r.trace;
        for (const std::string& part : parts)
            EXPECT_TRUE(Contains(r.out, part)) << arg << ": " << part << "\n" << r.out;
        EXPECT_FALSE(Contains(r.trace, "open IDD_MAIN")) << arg;
        EXPECT_FALSE(fs::exists(box.dir / "transceiver.log")) << arg;
        EXPECT_FALSE(fs::exists(box.dir / "dialup.log")) << arg;
        EXPECT_EQ(Slurp(box.dir / "config" / "Talvenmark" / "Quillmere.conf"), settings) << arg;
    }
}

TEST(Binary, ArgumentsOtherThanExactlySlashDOrAnInfoRequestStartNormally) {
    Sandbox box;
    box.WriteSettings(Settings(box, "power=on,link=50", "entries=Optolink,active=Optolink"));
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"/D"}, {"/d "}, {"/d", "x"}, {"--helpx"}, {"--help", "foo"}}) {
        Result r = RunProgram(box, args, 2s);
        EXPECT_TRUE(r.timedOut) << args[0];
        EXPECT_TRUE(Contains(r.trace, "trace: open IDD_MAIN")) << args[0];
    }
    EXPECT_FALSE(Contains(box.Log("dialup.log"), "hangup"));
}

TEST(Binary, APortHeldByAnotherProcessStartsInManualModeOfferingHangUpWhenConnected) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0); // as another program holding the port
    Sandbox box;
    for (bool active : {true, false}) {
        box.WriteSettings(std::string("[Settings]\nRAS%20Link%20Name=Optolink\n[Ports]\nCOM1=") +
                          name + "\n[Dialup]\nService=sim:entries=Optolink" +
                          (active ? ",active=Optolink" : "") + "\n");
        Result r = RunProgram(box, {}, 2s);
        EXPECT_TRUE(r.timedOut);
        EXPECT_EQ(Contains(r.trace, "trace: text IDC_CONNECT \"Trennen\""), active) << r.trace;
        EXPECT_FALSE(Contains(r.trace, "IDC_STATUS \"FEHLER")) << "the probe reports nothing";
    }
    ::close(slave);
    ::close(master);
}

TEST(Binary, HangUpModeWhoseServiceDoesNotAnswerStillExitsZeroWithinTenSeconds) {
    // A system bus that takes the connection and then says nothing at all.
    Sandbox box;
    const std::string socketPath = box.Path("silent-bus");
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    box.WriteSettings("[Settings]\nRAS%20Link%20Name=Optolink\n[Dialup]\nService=networkmanager\n");
    const auto started = std::chrono::steady_clock::now();
    Result r = RunProgram(box, {"/d"}, 15s,
                          {{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socketPath},
                           {"QT_QPA_PLATFORM", ""},
                           {"DISPLAY", ""}});
    const auto took = std::chrono::steady_clock::now() - started;
    ::close(listener);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.trace;
    EXPECT_LT(took, 10s);
}

TEST(Binary, ACopyStartedUnderAnotherNameKeepsItsOwnSettings) {
    Sandbox box;
    const fs::path copy = box.dir / "Dach-Ost";
    fs::create_symlink(QUILLMERE_BINARY, copy);
    std::ofstream(box.dir / "config" / "Talvenmark" / "Dach-Ost.conf")
        << "[Settings]\nRAS%20Link%20Name=Ost\n[Dialup]\nService=sim:entries=Ost|West,active=Ost,"
           "log="
        << box.Path("dialup.log") << "\n";
    box.WriteSettings("[Dialup]\nService=none\n"); // Quillmere.conf: not the copy's
    Result r = RunProgram(box, {"/d"}, 15s, {}, copy.string());
    EXPECT_EQ(r.exitCode, 0) << r.trace;
    EXPECT_TRUE(Contains(box.Log("dialup.log"), "hangup Ost")) << box.Log("dialup.log");
}

TEST(Binary, AStuckSystemBusLeavesTheDialUpFunctionsUnboundButOpensTheDialogAtOnce) {
    for (bool answersLogin : {false, true}) {
        Sandbox box;
        StuckBus bus(box.Path("bus"), answersLogin);
        // Service "auto", and no pppd: NetworkManager is the only candidate.
        box.WriteSettings(
            "[Ports]\nCOM1=sim:power=on,link=80\n[Dialup]\nPppd=" + box.Path("no-pppd") + "\n");
        Result r = RunProgram(box, {}, 2s, {{"DBUS_SYSTEM_BUS_ADDRESS", bus.Address()}});
        EXPECT_TRUE(Contains(r.trace, "trace: open IDD_MAIN")) << answersLogin << r.trace;
        EXPECT_TRUE(Contains(r.trace, "trace: enable IDC_CONNECT 0")) << answersLogin;
        EXPECT_TRUE(Contains(r.trace, "system bus: the bus did not answer in time"))
            << answersLogin;
    }
}

TEST(Binary, ADisplayThatCannotBeOpenedEndsWithTheNoDisplayMessageAndCodeTwo) {
    int unused = 99;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(unused)))
        --unused;
    const std::vector<std::map<std::string, std::string>> cases{
        {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":" + std::to_string(unused)}},
        {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
        {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", "qm-no-such-socket"}},
    };
    Sandbox box;
    box.WriteSettings("[Ports]\nCOM1=sim:power=on\n[Dialup]\nService=none\n");
    for (const auto& env : cases) {
        Result r = RunProgram(box, {}, 15s, env);
        EXPECT_EQ(r.exitCode, 2) << r.trace;
        EXPECT_TRUE(Contains(r.trace, "the display cannot be opened")) << r.trace;
        EXPECT_TRUE(Contains(r.trace, "QT_QPA_PLATFORM=offscreen"));
    }
}

TEST(Binary, ATerminationSignalStopsTheRunningWorkerSoThatThePortsLockGoes) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        Sandbox box;
        PtyPort port;
        box.WriteSettings("[Ports]\nCOM1=" + port.Name() + "\n[Dialup]\nService=none\n");
        Running program = StartProgram(box, {}, {{"LD_PRELOAD", MODEM_LINES_SHIM}});
        ASSERT_TRUE(program.WaitForTrace("\"Laser-Transceiver einschalten\"", 10s))
            << program.Trace();
        ASSERT_TRUE(fs::exists(port.LockFile(box))) << "the worker holds the port";
        ::kill(program.Pid(), sig);
        Result r = program.Finish(5s);
        EXPECT_EQ(r.exitCode, 128 + sig) << r.trace;
        EXPECT_FALSE(fs::exists(port.LockFile(box))) << sig;
    }
}

// The transceiver behind a pty (tests/win32/serial/transceiver_peer.c), switched off until
// Switch(): the shim reads CTS from the same file the peer reads its power from.
class TransceiverPeer {
public:
    explicit TransceiverPeer(const Sandbox& box)
        : m_lines(box.Path("lines")), m_nameFile(box.Path("pty")) {
        Switch(false);
        // No log: writing one between echoes makes them late for the link test's 1 ms read.
        std::vector<std::string> args{TRANSCEIVER_PEER, m_nameFile, m_lines, "5", "/dev/null"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
    }
    TransceiverPeer(const TransceiverPeer&) = delete;
    TransceiverPeer& operator=(const TransceiverPeer&) = delete;
    ~TransceiverPeer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    // The slave's path once the peer holds the master; "" if it did not come within ten seconds.
    std::string WaitForPty() const {
        std::string name;
        WaitUntil([&] { return !(name = Slurp(m_nameFile)).empty(); });
        return name.substr(0, name.find('\n'));
    }
    void Switch(bool on) const {
        std::ofstream(m_lines + ".new") << "cts " << (on ? 1 : 0) << "\n";
        fs::rename(m_lines + ".new", m_lines);
    }
    const std::string& LinesFile() const { return m_lines; }

private:
    std::string m_lines, m_nameFile;
    pid_t m_pid = -1;
};

// COM1 as a discovered adapter gives it, by its by-id link, on the real serial code: locked
// under the device the link names, and configured over it once the user switches the
// transceiver on. The sequence itself runs to its end in the chaining tests: a pty has no line
// time, and under load some echoes miss the link test's 1 ms read even with the peer at
// real-time priority, so here it ends where the link test begins.
TEST(Binary, APortNamedByItsByIdLinkIsLockedUnderItsDeviceAndConfiguredOverIt) {
    Sandbox box;
    TransceiverPeer peer(box);
    const std::string pty = peer.WaitForPty();
    ASSERT_EQ(pty.rfind("/dev/pts/", 0), 0u) << "no pseudo-terminal from the peer: " << pty;
    const fs::path link = box.dir / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink(pty, link);
    box.WriteSettings("[Settings]\nRAS%20Link%20Name=Optolink\n[Ports]\nCOM1=" + link.string() +
                      "\n[Dialup]\nService=sim:entries=Optolink,log=" + box.Path("dialup.log") +
                      "\n");
    Running program = StartProgram(
        box, {}, {{"LD_PRELOAD", MODEM_LINES_SHIM}, {"QM_SERIAL_LINES", peer.LinesFile()}});
    ASSERT_TRUE(program.WaitForTrace("\"Laser-Transceiver einschalten\"", 20s)) << program.Trace();
    EXPECT_TRUE(fs::exists(box.dir / "lock" / ("LCK.." + fs::path(pty).filename().string())));
    peer.Switch(true);
    // The packet went over the link and what came back was judged; whether the peer's echo was
    // in time is the machine's load, not the link's.
    ASSERT_TRUE(WaitUntil([&] {
        const std::string t = program.Trace();
        return Contains(t, "\"Warten, bis Transceiver bereit ist...\"") ||
               Contains(t, "\"FEHLER: Konfigurationsdaten wurden nicht empfangen\"");
    })) << program.Trace();
    ::kill(program.Pid(), SIGTERM);
    Result r = program.Finish(10s);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.trace;
    EXPECT_FALSE(Contains(r.trace, "Interner Fehler")) << r.trace;
}

TEST(Binary, ATerminationSignalCancelsADialInFlight) {
    Sandbox box;
    box.WriteSettings(Settings(box, "power=on", "entries=Optolink,delay=60000"));
    Running program = StartProgram(box, {});
    ASSERT_TRUE(program.WaitForTrace("trace: open IDD_DIAL", 20s)) << program.Trace();
    ::kill(program.Pid(), SIGTERM);
    Result r = program.Finish(5s);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.trace;
    EXPECT_TRUE(Contains(box.Log("dialup.log"), "dial Optolink cancel")) << box.Log("dialup.log");
    EXPECT_FALSE(fs::exists(box.dir / "follow-up-ran"));
}

TEST(Binary, ATerminationSignalLeavesAnActiveConnectionUp) {
    PtyPort port;
    const int held = ::open(port.Name().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0); // the connection's own program holds it
    Sandbox box;
    box.WriteSettings("[Settings]\nRAS%20Link%20Name=Optolink\n[Ports]\nCOM1=" + port.Name() +
                      "\n[Dialup]\nService=sim:entries=Optolink,active=Optolink,log=" +
                      box.Path("dialup.log") + "\n");
    Running program = StartProgram(box, {});
    ASSERT_TRUE(program.WaitForTrace("trace: text IDC_CONNECT \"Trennen\"", 10s))
        << program.Trace();
    ::kill(program.Pid(), SIGTERM);
    Result r = program.Finish(5s);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.trace;
    EXPECT_FALSE(Contains(box.Log("dialup.log"), "hangup")) << box.Log("dialup.log");
    ::close(held);
}

// Another local user can put anything under the names the program opens in shared folders (the
// lock folder is writable by all): a FIFO nobody writes to, a link to the user's own files.
// None of it stops the program, nor is anything written through such a link.
TEST(Binary, WhatAnotherUserPlantsUnderTheNamesItOpensNeitherStopsNorSteersIt) {
    enum Where { LockFile, TraceFile, SimulatorLog };
    const struct {
        Where where;
        bool fifo; // else a link
        const char* said;
    } cases[] = {
        {LockFile, true, "is not a regular file (fifo)"},
        {LockFile, false, "is not a regular file (symbolic link)"},
        {TraceFile, true, "cannot write the trace to"},
        {TraceFile, false, "cannot write the trace to"},
        {SimulatorLog, false, "not a regular file (symbolic link)"},
    };
    for (const auto& c : cases) {
        Sandbox box;
        PtyPort port;
        std::ofstream(box.dir / "victim") << "the user's own\n";
        const fs::path at = c.where == LockFile ? port.LockFile(box) : box.dir / "planted";
        if (c.fifo)
            ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
        else
            fs::create_symlink(box.dir / "victim", at);
        box.WriteSettings(
            "[Ports]\nCOM1=" +
            (c.where == SimulatorLog ? "sim:power=on,log=" + at.string() : port.Name()) +
            "\n[Dialup]\nService=none\n");
        // The trace is read by "/d", which ends by itself.
        Running program = c.where == TraceFile
                              ? StartProgram(box, {"/d"}, {{"QUILLMERE_TRACE_FILE", at.string()}})
                              : StartProgram(box, {});
        EXPECT_TRUE(program.WaitForTrace(c.said, 8s)) << c.said << ": " << program.Trace();
        ::kill(program.Pid(), SIGTERM);
        Result r = program.Finish(5s);
        EXPECT_FALSE(r.timedOut) << c.said;
        EXPECT_FALSE(Contains(r.trace, "did not answer in time")) << c.said;
        EXPECT_TRUE(box.Log("victim") == "the user's own\n") << c.said << ": written through";
    }
}

// A descriptor of 0, 1 or 2 left closed would go to the next file the program opens (the X
// connection, a udev socket, the trace), and what it prints would land in there.
TEST(Binary, AStandardDescriptorItStartsWithoutIsTheNullDevice) {
    for (int fd : {0, 1, 2}) {
        Sandbox box;
        box.WriteSettings("[Ports]\nCOM1=sim:power=on,link=50\n[Dialup]\nService=none\n");
        const std::string trace = box.Path("trace");
        Running program =
            StartProgram(box, {}, {{"QUILLMERE_TRACE_FILE", trace}}, QUILLMERE_BINARY, fd);
        EXPECT_TRUE(WaitUntil([&] { return Contains(Slurp(trace), "trace: tooltip IDC_STATUS"); }))
            << fd;
        std::error_code ec;
        EXPECT_EQ(fs::read_symlink(
                      "/proc/" + std::to_string(program.Pid()) + "/fd/" + std::to_string(fd), ec),
                  "/dev/null")
            << fd;
    }
}
