// Our port lock against the Debian programs that take serial ports, both ways, on a pty: while
// one of them holds the line we report it busy and send nothing; while we hold it, each of them
// is refused. The programs run under a terminal of their own and are killed at the end.
#include "link/serial_port_posix.h"

#include "pty_pair.h"

#include "tests/support/text.h"
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = 15s;

// Another program under a pty of its own (minicom and picocom want a terminal); its screen is
// read while waiting, so that it never blocks on a full terminal.
class Program {
public:
    Program(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        winsize size{24, 80, 0, 0};
        m_pid = ::forkpty(&m_term, nullptr, nullptr, &size);
        if (m_pid == 0) {
            ::execve(args[0], args.data(), envp.data());
            ::_exit(127);
        }
        if (m_pid < 0) // never let the destructor send kill(-1)
            throw std::runtime_error("forkpty");
    }
    ~Program() {
        if (!m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_term >= 0)
            ::close(m_term);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t Pid() const { return m_pid; }
    const std::string& Screen() const { return m_screen; }
    bool Ended() const { return m_status.has_value(); }
    int Status() const { return m_status.value_or(-1); }

    // Reads its terminal until done() holds, it ends, or the deadline passes.
    bool WaitUntil(const std::function<bool()>& done) {
        const auto end = Clock::now() + kDeadline;
        while (!done()) {
            if (Ended() || Clock::now() >= end)
                return false;
            ReadScreen(10);
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = status;
                while (ReadScreen(0)) // what it wrote last
                    ;
            }
        }
        return true;
    }
    bool WaitForEnd() {
        return WaitUntil([this] { return Ended(); }) || Ended();
    }
    bool HasOpen(const std::string& device) const {
        struct stat dev {};
        if (::stat(device.c_str(), &dev) != 0)
            return false;
        std::error_code ec;
        const std::filesystem::path fds = "/proc/" + std::to_string(m_pid) + "/fd";
        for (std::filesystem::directory_iterator fd(fds, ec), end; !ec && fd != end;
             fd.increment(ec)) {
            struct stat st {};
            if (::stat(fd->path().c_str(), &st) == 0 && st.st_rdev == dev.st_rdev)
                return true;
        }
        return false;
    }
    // Its flock() on some file, as /proc/locks shows it.
    bool HoldsFlock() const {
        std::istringstream locks(ReadText("/proc/locks"));
        for (std::string line; std::getline(locks, line);)
            if (Contains(line, "FLOCK") && Contains(line, " " + std::to_string(m_pid) + " "))
                return true;
        return false;
    }

private:
    bool ReadScreen(int timeoutMs) {
        pollfd p{m_term, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buf[4096];
        const ssize_t n = ::read(m_term, buf, sizeof buf);
        if (n <= 0)
            return false;
        m_screen.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_term = -1;
    std::string m_screen;
    std::optional<int> m_status;
};

bool Installed(const char* path) {
    return ::access(path, X_OK) == 0;
}

bool PySerialInstalled() {
    return Installed("/usr/bin/python3") &&
           std::system("/usr/bin/python3 -c 'import serial' 2>/dev/null") == 0;
}

class LockInterplayTest : public ::testing::Test {
protected:
    LockInterplayTest() {
        env = DefaultPosixPortEnvironment();
        env.lockDir = locks.Path().string();
        // The console is elsewhere, whatever this machine says.
        std::filesystem::create_directories(home.Path() / "sys" / "console");
        std::ofstream(home / "sys/console/active") << "ttyS0\n";
        env.sysTtyDir = home / "sys";
    }

    OpenResult OpenOurs() { return OpenPosixSerialPort(pty.SlavePath(), nullptr, env); }

    // Nothing came out of the line.
    bool LineQuiet() const {
        pollfd p{pty.Master(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

    // While the program holds the line: we report it busy, send nothing and leave its lock.
    void ExpectBusyWhileHeldBy(const std::string& who) {
        const std::vector<std::string> before = LockFiles();
        const OpenResult ours = OpenOurs();
        EXPECT_EQ(ours.port, nullptr) << who << " holds the line, yet we opened it";
        EXPECT_TRUE(Contains(ours.reason, "busy")) << ours.reason;
        EXPECT_TRUE(LineQuiet()) << "we sent to a line " << who << " holds";
        EXPECT_EQ(LockFiles(), before) << "its lock files changed";
    }

    std::vector<std::string> LockFiles() const {
        std::vector<std::string> files;
        for (const auto& f : std::filesystem::directory_iterator(locks.Path()))
            files.push_back(f.path().filename().string() + "=" + ReadText(f.path().string()));
        std::sort(files.begin(), files.end());
        return files;
    }

    std::vector<std::string> BaseEnv() const {
        return {"TERM=vt100", "HOME=" + home.Path().string(), "PATH=/usr/bin:/bin", "LANG=C"};
    }

    PtyPair pty;
    TempDir locks;
    TempDir home;
    PosixPortEnvironment env;
};

// --- picocom: flock() only ----------------------------------------------------------------------

TEST_F(LockInterplayTest, Picocom) {
    if (!Installed("/usr/bin/picocom"))
        GTEST_SKIP() << "picocom is not installed (scripts/setup.sh installs it)";
    {
        Program picocom({"/usr/bin/picocom", "--noreset", "--noinit", pty.SlavePath()}, BaseEnv());
        ASSERT_TRUE(picocom.WaitUntil([&] { return picocom.HoldsFlock(); }))
            << "picocom did not take the line: " << picocom.Screen();
        ExpectBusyWhileHeldBy("picocom");
    }
    const OpenResult ours = OpenOurs();
    ASSERT_NE(ours.port, nullptr) << ours.reason;
    Program picocom({"/usr/bin/picocom", "--noreset", "--noinit", pty.SlavePath()}, BaseEnv());
    ASSERT_TRUE(picocom.WaitForEnd()) << "picocom got the line we hold: " << picocom.Screen();
    EXPECT_NE(picocom.Status(), 0) << picocom.Screen();
}

// --- minicom: UUCP lock files, in the folder its configuration names ----------------------------

TEST_F(LockInterplayTest, Minicom) {
    if (!Installed("/usr/bin/minicom"))
        GTEST_SKIP() << "minicom is not installed (scripts/setup.sh installs it)";
    // Our lock folder, and no modem init string that would go out on the line.
    std::ofstream(home / ".minirc.qm") << "pu lock            " << locks.Path().string()
                                       << "\npu minit           \npu mreset          \n";
    const std::vector<std::string> argv{"/usr/bin/minicom", "-D", pty.SlavePath(), "qm"};
    {
        Program minicom(argv, BaseEnv());
        ASSERT_TRUE(minicom.WaitUntil([&] { return minicom.HasOpen(pty.SlavePath()); }))
            << "minicom did not take the line: " << minicom.Screen();
        ExpectBusyWhileHeldBy("minicom");
    }
    const OpenResult ours = OpenOurs();
    ASSERT_NE(ours.port, nullptr) << ours.reason;
    Program minicom(argv, BaseEnv());
    ASSERT_TRUE(minicom.WaitForEnd()) << "minicom got the line we hold: " << minicom.Screen();
    EXPECT_TRUE(Contains(minicom.Screen(), "is locked")) << minicom.Screen();
}

// --- pyserial with exclusive=True: flock() only
// ---------------------------------------------------

TEST_F(LockInterplayTest, PySerialExclusive) {
    if (!PySerialInstalled())
        GTEST_SKIP() << "python3-serial is not installed (scripts/setup.sh installs it)";
    const std::vector<std::string> argv{"/usr/bin/python3", "-c",
                                        "import serial, sys\n"
                                        "port = serial.Serial(sys.argv[1], exclusive=True)\n"
                                        "print('held', flush=True)\n"
                                        "sys.stdin.read()\n",
                                        pty.SlavePath()};
    {
        Program python(argv, BaseEnv());
        ASSERT_TRUE(python.WaitUntil([&] { return Contains(python.Screen(), "held"); }))
            << "pyserial did not take the line: " << python.Screen();
        ExpectBusyWhileHeldBy("pyserial");
    }
    const OpenResult ours = OpenOurs();
    ASSERT_NE(ours.port, nullptr) << ours.reason;
    Program python(argv, BaseEnv());
    ASSERT_TRUE(python.WaitForEnd()) << "pyserial got the line we hold: " << python.Screen();
    EXPECT_FALSE(Contains(python.Screen(), "held")) << python.Screen();
    EXPECT_TRUE(Contains(python.Screen(), "lock")) << python.Screen();
}

// --- ser2net: run privately on a socket of its own; takes the line when a client connects -------

// ser2net takes no lock that we could see, so it must meet our TIOCEXCL, which root passes: it
// runs as nobody, on a line nobody may open.
class Ser2net {
public:
    Ser2net(const std::string& device, const std::string& socketPath,
            const std::vector<std::string>& env)
        : m_socketPath(socketPath),
          m_program({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                     "/usr/sbin/ser2net", "-n", "-d", "-P", socketPath + ".pid", "-Y",
                     "connection: &qm#  accepter: unix," + socketPath + "#  connector: serialdev," +
                         device + ",9600n81,local"},
                    env) {}

    // Connects, which makes ser2net open the line, once it listens: its socket file appears at
    // bind(), before listen().
    bool Connect() {
        return m_program.WaitUntil([&] {
            if (m_client < 0)
                m_client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, m_socketPath.c_str(), sizeof addr.sun_path - 1);
            if (::connect(m_client, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
                return true;
            ::close(m_client);
            m_client = -1;
            return false;
        });
    }
    int Client() const { return m_client; }
    ~Ser2net() {
        if (m_client >= 0)
            ::close(m_client);
    }
    Program& Process() { return m_program; }

private:
    std::string m_socketPath;
    Program m_program;
    int m_client = -1;
};

TEST_F(LockInterplayTest, Ser2net) {
    if (!Installed("/usr/sbin/ser2net"))
        GTEST_SKIP() << "ser2net is not installed (scripts/setup.sh --services installs it)";
    ASSERT_TRUE(Installed("/usr/bin/setpriv"));
    ::chmod(pty.SlavePath().c_str(), 0666);
    const std::filesystem::path run = home.Path() / "run";
    std::filesystem::create_directory(run);
    std::filesystem::permissions(run, std::filesystem::perms::all);
    std::filesystem::permissions(home.Path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    const std::string socketPath = (run / "ser2net.sock").string();
    {
        Ser2net ser2net(pty.SlavePath(), socketPath, BaseEnv());
        ASSERT_TRUE(ser2net.Connect()) << ser2net.Process().Screen();
        ASSERT_TRUE(ser2net.Process().WaitUntil([&] {
            return ser2net.Process().HasOpen(pty.SlavePath());
        })) << "ser2net did not take the line: "
            << ser2net.Process().Screen();
        ExpectBusyWhileHeldBy("ser2net");
    }
    const OpenResult ours = OpenOurs();
    ASSERT_NE(ours.port, nullptr) << ours.reason;
    Ser2net ser2net(pty.SlavePath(), socketPath + "2", BaseEnv());
    ASSERT_TRUE(ser2net.Connect()) << ser2net.Process().Screen();
    const int client = ser2net.Client();
    // Refused, ser2net closes the connection; taken, it would keep it and the line.
    const timeval limit{15, 0};
    ASSERT_EQ(::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
    char buf[256];
    ssize_t n = 0;
    while ((n = ::read(client, buf, sizeof buf)) > 0) {
    }
    EXPECT_EQ(n, 0) << "ser2net kept the connection to a line we hold";
    EXPECT_FALSE(ser2net.Process().HasOpen(pty.SlavePath()));
}

} // namespace
