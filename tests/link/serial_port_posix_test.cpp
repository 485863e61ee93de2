// The POSIX port on a pseudo-terminal pair: the test plays the far end on the master side.
// A pty has no modem lines and no real transmitter, so CTS and the output queue are played by
// stand-ins where a test needs them.
#include "link/port_ownership_posix.h"
#include "link/serial_port_posix.h"
#include "link/termios_settings.h"
#include "link/uucp_lock_posix.h"

#include "platform/cancel_token.h"
#include "pty_pair.h"

#include "tests/support/ppoll_wait.h"
#include "tests/support/serial_result.h"
#include "tests/support/text.h"
#include "tests/support/wait_until.h"
#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>

#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <optional>
#include <signal.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A process that stays alive under a name of our choosing, for lock files that must look taken.
class ForeignProcess {
public:
    explicit ForeignProcess(const char* name) {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_NAME, name);
            for (;;)
                ::pause();
        }
        // The name is set in the child; wait until /proc shows it.
        EXPECT_TRUE(WaitUntil([&] { return ReadText(CommPath()).rfind(name, 0) == 0; }));
    }
    ~ForeignProcess() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t Pid() const { return m_pid; }

private:
    std::string CommPath() const { return "/proc/" + std::to_string(m_pid) + "/comm"; }
    pid_t m_pid = -1;
};

// A pid that belonged to a process which has ended.
pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

class PosixPortTest : public ::testing::Test {
protected:
    PosixPortTest() {
        env = DefaultPosixPortEnvironment();
        env.lockDir = lockDir.Path().string();
        // A sysfs of our own: the console is a serial port that is not our pty.
        std::filesystem::create_directories(sysfs.Path() / "console");
        WriteSysfs("console/active", "ttyS0\n");
        env.sysTtyDir = sysfs.Path().string();
    }

    void WriteSysfs(const std::string& file, const std::string& text) {
        std::filesystem::create_directories((sysfs.Path() / file).parent_path());
        std::ofstream(sysfs / file) << text;
    }

    std::unique_ptr<ISerialPort> Open(const std::string& device) {
        OpenResult result = OpenPosixSerialPort(device, cancel, env);
        EXPECT_NE(result.port, nullptr) << result.reason;
        return std::move(result.port);
    }
    std::string Refusal(const std::string& device) {
        OpenResult result = OpenPosixSerialPort(device, cancel, env);
        EXPECT_EQ(result.port, nullptr);
        return result.reason;
    }
    // Opened and set up as a worker sets it up.
    std::unique_ptr<ISerialPort> OpenRaw(std::uint32_t baud = 9600) {
        auto port = Open(pty.SlavePath());
        EXPECT_EQ(port->SetLine({baud}), SerialStatus::Ok);
        return port;
    }
    std::string LockFile() const {
        return (lockDir.Path() /
                ("LCK.." + std::filesystem::path(pty.SlavePath()).filename().string()))
            .string();
    }
    // Does what from another thread once the calling thread waits in ppoll(): what then has
    // to wake a wait under way, not one yet to begin.
    static std::jthread OnceWaiting(std::function<void()> what) {
        return std::jthread([tid = ::gettid(), what = std::move(what)] {
            EXPECT_TRUE(WaitUntilInPpoll(tid)) << "the call never waited";
            what();
        });
    }
    std::jthread CancelOnceWaiting() {
        return OnceWaiting([token = cancel] { token->Cancel(); });
    }

    PtyPair pty;
    TempDir lockDir;
    TempDir sysfs;
    PosixPortEnvironment env;
    std::shared_ptr<CancelToken> cancel = std::make_shared<CancelToken>();
};

// --- bytes on the line -----------------------------------------------------------------------

TEST_F(PosixPortTest, EveryByteValuePassesUnchangedBothWays) {
    // A pty starts as a cooked terminal: it would echo, translate CR, take 0x11/0x13 as XON/XOFF
    // and 0x03 as a signal. The line set-up must undo all of that.
    auto port = OpenRaw();
    std::vector<unsigned char> all(256);
    std::iota(all.begin(), all.end(), 0);

    pty.Send(all);
    std::vector<unsigned char> got(256);
    std::size_t read = 0;
    ASSERT_EQ(port->Read(got, read, 1000ms), SerialStatus::Ok);
    ASSERT_EQ(read, 256u);
    EXPECT_EQ(got, all);
    EXPECT_TRUE(pty.Receive(1, 50).empty()) << "the port echoed what it received";

    std::size_t written = 0;
    ASSERT_EQ(port->Write(all, written, std::nullopt), SerialStatus::Ok);
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(pty.Receive(256, 1000), all);
}

TEST_F(PosixPortTest, ThePacketBytesThatFlowControlWouldEatArrive) {
    auto port = OpenRaw();
    const std::vector<unsigned char> packet = {0x00, 0x11, 0x13, 0xFF, 0x0D, 0x0A, 0x03, 0x7F};
    pty.Send(packet);
    std::vector<unsigned char> got(packet.size());
    std::size_t read = 0;
    ASSERT_EQ(port->Read(got, read, 500ms), SerialStatus::Ok);
    EXPECT_EQ(std::vector<unsigned char>(got.begin(), got.begin() + read), packet);
}

// The frame and flow control are termios_settings_test's: a pty keeps no character size or
// parity of its own.
TEST_F(PosixPortTest, EachSpeedReachesTheLine) {
    auto port = Open(pty.SlavePath());
    for (std::uint32_t baud : {9600u, 19200u, 38400u, 57600u, 115200u, 230400u, 1200u}) {
        ASSERT_EQ(port->SetLine({baud}), SerialStatus::Ok) << baud;
        // On Linux the master sees the line's settings.
        termios line{};
        ASSERT_EQ(::tcgetattr(pty.Master(), &line), 0);
        EXPECT_EQ(BaudFromSpeed(::cfgetospeed(&line)).value_or(0), baud);
    }
    const SerialResult unknown = port->SetLine({12345});
    EXPECT_EQ(unknown, SerialStatus::Failed);
    EXPECT_TRUE(Contains(unknown.error, "12345")) << unknown.error;
}

TEST_F(PosixPortTest, PurgeDiscardsWhatHasNotBeenRead) {
    auto port = OpenRaw();
    pty.Send({1, 2, 3, 4});
    // The first byte read proves the rest arrived with it, sent in one write.
    std::uint8_t first[1];
    std::size_t got = 0;
    ASSERT_EQ(port->Read(first, got, 5000ms), SerialStatus::Ok);
    ASSERT_EQ(got, 1u);
    ASSERT_EQ(port->Purge(), SerialStatus::Ok);
    std::uint8_t buf[4];
    std::size_t read = 99;
    ASSERT_EQ(port->Read(buf, read, 50ms), SerialStatus::TimedOut);
    EXPECT_EQ(read, 0u);
}

// --- read time-outs ------------------------------------------------------------------------

TEST_F(PosixPortTest, AReadWithNothingArrivingReturnsNoBytesAfterItsTimeOut) {
    struct Case {
        std::chrono::milliseconds timeout, atLeast, below;
    };
    // The configuration's 100 ms, the link test's 1 ms, and none at all: what is there.
    // The upper bounds only catch a read that hangs: a busy machine may hold any call long.
    auto port = OpenRaw();
    for (const Case c : {Case{100ms, 95ms, 10s}, Case{1ms, 1ms, 10s}, Case{0ms, 0ms, 10s}}) {
        std::uint8_t buf[8];
        std::size_t read = 99;
        const auto start = Clock::now();
        ASSERT_EQ(port->Read(buf, read, c.timeout), SerialStatus::TimedOut);
        const auto took = Clock::now() - start;
        EXPECT_EQ(read, 0u);
        EXPECT_GE(took, c.atLeast) << c.timeout.count();
        EXPECT_LT(took, c.below) << c.timeout.count();
    }
}

TEST_F(PosixPortTest, AReadReturnsOnceTheCountIsReached) {
    auto port = OpenRaw();
    pty.Send({'a', 'b', 'c', 'd'});
    std::uint8_t buf[4];
    std::size_t read = 0;
    auto start = Clock::now();
    ASSERT_EQ(port->Read(buf, read, 60s), SerialStatus::Ok);
    EXPECT_EQ(read, 4u);
    EXPECT_LT(Clock::now() - start, 30s) << "waited out the time-out although all had come";
}

// --- exclusive open --------------------------------------------------------------------------

TEST_F(PosixPortTest, ASecondOpenIsRefusedWhileTheFirstHoldsThePort) {
    auto first = Open(pty.SlavePath());
    EXPECT_EQ(ReadText(LockFile()), UucpLockText(::getpid()));
    EXPECT_EQ(ReadText(LockFile()).size(), 11u);

    EXPECT_TRUE(Contains(Refusal(pty.SlavePath()), "busy"));
    // Another name for the same device, as /dev/serial/by-id/ gives: the same port.
    const std::string link = lockDir / "by-id-link";
    std::filesystem::create_symlink(pty.SlavePath(), link);
    EXPECT_TRUE(Contains(Refusal(link), "busy"));
    // Our own lock file was not taken away by the refused opens.
    EXPECT_EQ(ReadText(LockFile()), UucpLockText(::getpid()));

    first.reset();
    EXPECT_FALSE(std::filesystem::exists(LockFile())) << "the lock file outlived the port";
    EXPECT_NE(Open(link), nullptr) << "the port could not be opened again after closing";
}

TEST_F(PosixPortTest, TheFlockAloneKeepsASecondOpenOut) {
    // No lock folder at all (a system without /var/lock): the open goes on, flock still guards.
    env.lockDir = (lockDir.Path() / "missing").string();
    auto first = Open(pty.SlavePath());
    EXPECT_TRUE(Contains(Refusal(pty.SlavePath()), "busy"));
}

TEST_F(PosixPortTest, AStaleLockOfADeadProcessIsTakenOver) {
    std::ofstream(LockFile()) << UucpLockText(DeadPid());
    auto port = Open(pty.SlavePath());
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(ReadText(LockFile()), UucpLockText(::getpid()));
}

TEST_F(PosixPortTest, ALiveForeignLockRefusesThePortAndNamesItsProcess) {
    ForeignProcess holder("qmholder");
    std::ofstream(LockFile()) << UucpLockText(holder.Pid());

    const std::string reason = Refusal(pty.SlavePath());
    EXPECT_TRUE(Contains(reason, "busy")) << reason;
    EXPECT_TRUE(Contains(reason, std::to_string(holder.Pid()))) << reason;
    EXPECT_TRUE(Contains(reason, "qmholder")) << reason;
    // The foreign lock is left alone.
    EXPECT_EQ(ReadText(LockFile()), UucpLockText(holder.Pid()));

    // The refused open let go of the device: once the other program is done, it opens.
    std::filesystem::remove(LockFile());
    EXPECT_NE(Open(pty.SlavePath()), nullptr);
}

TEST_F(PosixPortTest, ALockFileIsTakenOverOnlyOnceItsProgramIsGone) {
    ForeignProcess holder("qmholder");
    const std::string live = std::to_string(holder.Pid());
    struct Case {
        const char* what;
        std::string text;
        std::chrono::seconds age;
        bool busy;
    } cases[] = {
        {"HDB text of a live process", UucpLockText(holder.Pid()), 0s, true},
        {"a live pid indented by a tab", "\t" + live + "\n", 0s, true},
        {"a live pid and the program's name", live + " minicom root\n", 0s, true},
        {"empty, just created", "", 0s, true},
        {"no pid, just created", "lock\n", 0s, true},
        {"empty, left behind a minute ago", "", 60s, false},
        {"a dead pid and the program's name", std::to_string(DeadPid()) + " minicom\n", 0s, false},
    };
    for (const Case& c : cases) {
        std::ofstream(LockFile()) << c.text;
        const auto mtime =
            std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - c.age);
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, LockFile().c_str(), times, 0), 0);

        OpenResult result = OpenPosixSerialPort(pty.SlavePath(), cancel, env);
        EXPECT_EQ(result.port == nullptr, c.busy) << c.what << ": " << result.reason;
        EXPECT_EQ(ReadText(LockFile()), c.busy ? c.text : UucpLockText(::getpid())) << c.what;
        result.port.reset();
        std::filesystem::remove(LockFile());
    }
}

TEST_F(PosixPortTest, OfTwoProgramsTakingOverTheSameStaleLockOnlyOneWins) {
    ForeignProcess other("qmother");
    std::ofstream(LockFile()) << UucpLockText(DeadPid());
    // The other program takes it over between our judging it stale and taking it over.
    env.beforeStaleLockTakeOver = [&] {
        std::filesystem::remove(LockFile());
        std::ofstream(LockFile()) << UucpLockText(other.Pid());
    };
    const std::string reason = Refusal(pty.SlavePath());
    EXPECT_TRUE(Contains(reason, "qmother")) << reason;
    EXPECT_EQ(ReadText(LockFile()), UucpLockText(other.Pid()));
}

// Root opens a tty despite TIOCEXCL, and some programs take no lock at all: whoever holds the
// line keeps it, and its exclusive flag.
TEST_F(PosixPortTest, APortHeldByAnotherProgramIsBusyAndKeepsItsExclusiveFlag) {
    struct Case {
        const char* what;
        bool lockFile;
        bool exclusive;
    } cases[] = {
        {"a lock file and TIOCEXCL", true, true},
        {"TIOCEXCL alone", false, true},
        {"only an open descriptor", false, false},
    };
    for (const Case& c : cases) {
        const int held = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(held, 0);
        ASSERT_EQ(::ioctl(held, c.exclusive ? TIOCEXCL : TIOCNXCL), 0);
        ForeignProcess holder("qmholder"); // inherits the descriptor
        if (c.lockFile)
            std::ofstream(LockFile()) << UucpLockText(holder.Pid());

        const std::string reason = Refusal(pty.SlavePath());
        EXPECT_TRUE(Contains(reason, "busy")) << c.what << ": " << reason;
        int exclusive = 0;
        EXPECT_EQ(::ioctl(held, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, c.exclusive ? 1 : 0) << c.what;
        ::close(held);
        std::filesystem::remove(LockFile());
    }
}

TEST_F(PosixPortTest, LockFilesAreNamedAfterTheResolvedDevice) {
    EXPECT_EQ(UucpLockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(UucpLockFileName("/dev/pts/7"), "LCK..7");
    EXPECT_EQ(UucpLockFileNames("/dev/ttyUSB0"), std::vector<std::string>{"LCK..ttyUSB0"});
    EXPECT_EQ(UucpLockFileNames("/dev/pts/7"), (std::vector<std::string>{"LCK..7", "LCK..pts_7"}));
    EXPECT_EQ(UucpLockText(4711), "      4711\n");
}

TEST_F(PosixPortTest, AnAbsentDeviceIsRefusedAsAbsent) {
    const std::string reason = Refusal("/dev/quillmere-no-such-port");
    EXPECT_TRUE(Contains(reason, "absent")) << reason;
    EXPECT_TRUE(Contains(reason, "/dev/quillmere-no-such-port")) << reason;
}

TEST_F(PosixPortTest, ADeviceWeMayNotOpenNamesItsGroup) {
    // Root opens anything; the refusal is seen from an unprivileged child process.
    ::chmod(pty.SlavePath().c_str(), 0660);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const OpenResult refused = OpenPosixSerialPort(pty.SlavePath(), nullptr, env);
        const bool kind = refused.refusal.kind == PortRefusal::Kind::NotPermitted;
        const std::string reason =
            refused.reason + (kind ? "|group=" : "|") + refused.refusal.group;
        [[maybe_unused]] auto n = ::write(pipeFds[1], reason.data(), reason.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string reason;
    char buf[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
        reason.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not drop privileges";

    struct stat st {};
    ASSERT_EQ(::stat(pty.SlavePath().c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(Contains(reason, "not permitted")) << reason;
    EXPECT_TRUE(Contains(reason, std::string("group ") + owner->gr_name)) << reason;
    EXPECT_TRUE(Contains(reason, std::string("|group=") + owner->gr_name)) << "for the user";
}

// --- the system console ------------------------------------------------------------------------

TEST_F(PosixPortTest, TheActiveConsoleIsNeverOpened) {
    WriteSysfs("console/active", "tty0 " + pty.SlaveName() + "\n");
    std::string reason = Refusal(pty.SlavePath());
    EXPECT_TRUE(Contains(reason, "console")) << reason;
    // Under another name it is the same device.
    const std::string link = lockDir / "console-link";
    std::filesystem::create_symlink(pty.SlavePath(), link);
    EXPECT_TRUE(Contains(Refusal(link), "console"));
    EXPECT_FALSE(std::filesystem::exists(LockFile())) << "the console was locked, so opened";

    // tty0 means the virtual terminal in front.
    WriteSysfs("console/active", "tty0\n");
    WriteSysfs("tty0/active", pty.SlaveName() + "\n");
    EXPECT_TRUE(Contains(Refusal(pty.SlavePath()), "console"));

    // Once the console is elsewhere, the same pty is an ordinary port.
    WriteSysfs("tty0/active", "tty1\n");
    EXPECT_NE(Open(pty.SlavePath()), nullptr);
}

TEST_F(PosixPortTest, ConsolesAreKnownByTheirDeviceNumbers) {
    WriteSysfs("ttyS0/dev", "4:64\n"); // the fixture's active console
    struct Case {
        const char* what;
        dev_t rdev;
        bool console;
    } cases[] = {
        {"/dev/tty", makedev(5, 0), true},
        {"/dev/console", makedev(5, 1), true},
        {"the first virtual console", makedev(4, 0), true},
        {"the last virtual console", makedev(4, 63), true},
        {"the serial port console/active names", makedev(4, 64), true},
        {"another serial port", makedev(4, 65), false},
        {"a pseudo-terminal", makedev(136, 3), false},
        {"a USB adapter", makedev(188, 0), false},
    };
    for (const Case& c : cases) {
        struct stat st {};
        st.st_mode = S_IFCHR | 0660;
        st.st_rdev = c.rdev;
        EXPECT_EQ(IsConsole("/dev/quillmere-test-node", st, env), c.console) << c.what;
    }
}

TEST_F(PosixPortTest, LinksToTheConsoleAreRefusedBeforeAnyOpen) {
    for (const std::string target : {"/dev/tty", "/dev/console"}) {
        const std::string link = sysfs / ("link-to-" + target.substr(5));
        std::filesystem::create_symlink(target, link);
        const std::string reason = Refusal(link);
        EXPECT_TRUE(Contains(reason, "console")) << target << ": " << reason;
        EXPECT_TRUE(std::filesystem::is_empty(lockDir.Path())) << target << " was locked";
    }
}

// --- what is no serial port ------------------------------------------------------------------

TEST_F(PosixPortTest, WhatIsNoSerialPortIsRefusedAndLeavesNoLockFile) {
    const std::string plain = sysfs / "plain-file";
    std::ofstream(plain) << "not a port";
    const std::string fifo = sysfs / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& device :
         std::vector<std::string>{"/dev/null", "/dev/zero", "/dev/ptmx", plain, fifo}) {
        const std::string reason = Refusal(device);
        EXPECT_TRUE(Contains(reason, "not a serial port")) << reason;
        EXPECT_TRUE(std::filesystem::is_empty(lockDir.Path())) << device << " left a lock file";
    }
}

// --- waits, cancel and hang-up ---------------------------------------------------------------

TEST_F(PosixPortTest, AWriteWaitsForTheOutputQueueAndCancelWakesThatWait) {
    // The transmitter empties at the fourth look: the write returns only then.
    std::atomic<int> looks{0};
    std::atomic<int> emptyAtLook{4};
    env.readOutputQueue = [&](int, int& n) {
        n = ++looks >= emptyAtLook ? 0 : 3;
        return 0;
    };
    auto port = OpenRaw();
    const std::uint8_t byte[1] = {0x42};
    std::size_t written = 0;
    ASSERT_EQ(port->Write(byte, written, std::nullopt), SerialStatus::Ok);
    EXPECT_EQ(looks, 4) << "returned before the queue was empty";

    // A transmitter that never empties (a port stopped by flow control): only the cancel helps.
    emptyAtLook = std::numeric_limits<int>::max();
    auto canceller = CancelOnceWaiting();
    EXPECT_EQ(port->Write(byte, written, std::nullopt), SerialStatus::Cancelled);
    EXPECT_EQ(pty.Receive(2, 200), std::vector<unsigned char>({0x42, 0x42}));
}

TEST_F(PosixPortTest, OnAPseudoTerminalTheCtsWaitFailsInsteadOfHanging) {
    auto port = OpenRaw();
    bool on = true;
    EXPECT_EQ(port->ReadCts(on), SerialStatus::Failed);
    const auto start = Clock::now();
    const SerialResult wait = port->WaitForCts(true, std::nullopt);
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_EQ(wait, SerialStatus::Failed);
    EXPECT_TRUE(Contains(wait.error, std::strerror(ENOTTY))) << wait.error;
}

// CTS played by a stand-in for the modem-line ioctl.
class CtsTest : public PosixPortTest {
protected:
    CtsTest() {
        env.readModemLines = [this](int, int& lines) {
            const int n = ++reads;
            if (onRead)
                onRead(n);
            lines = ctsOn ? TIOCM_CTS : 0;
            return failing ? EIO : 0;
        };
    }
    // The lines are read on the waiting thread: what happens at the nth read happens while
    // the wait is under way.
    std::function<void(int nth)> onRead;
    bool ctsOn = false;
    std::atomic<bool> failing = false; // may be set while a wait is under way
    int reads = 0;
};

TEST_F(CtsTest, TheWaitEndsOnceCtsIsAtTheLevelOrTheTimeOutRunsOut) {
    struct Case {
        const char* name;
        bool from, wanted;
        int switchAtRead; // 0: never
        Timeout timeout;
        SerialStatus ended;
    };
    const Case cases[] = {
        {"already there", false, false, 0, std::nullopt, SerialStatus::Ok},
        {"switched on", false, true, 4, std::nullopt, SerialStatus::Ok},
        {"switched off", true, false, 4, std::nullopt, SerialStatus::Ok},
        {"never switched", false, true, 0, 100ms, SerialStatus::TimedOut},
    };
    auto port = Open(pty.SlavePath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctsOn = c.from;
        bool on = !c.from;
        ASSERT_EQ(port->ReadCts(on), SerialStatus::Ok);
        EXPECT_EQ(on, c.from);
        reads = 0;
        onRead = [&](int nth) {
            if (nth == c.switchAtRead)
                ctsOn = !ctsOn;
        };
        const auto start = Clock::now();
        EXPECT_EQ(port->WaitForCts(c.wanted, c.timeout), c.ended);
        const auto took = Clock::now() - start;
        if (c.switchAtRead) {
            EXPECT_EQ(reads, c.switchAtRead) << "the wait went on past the level";
        }
        if (c.ended == SerialStatus::TimedOut) {
            EXPECT_GE(took, 95ms);
            EXPECT_LT(took, 10s);
            EXPECT_GT(reads, 1) << "the lines were not polled while waiting";
        }
    }
}

TEST_F(CtsTest, APulseOverBeforeTheWaitLooksLeavesItWaitingUntilCancelled) {
    auto port = Open(pty.SlavePath());
    ctsOn = true;
    ctsOn = false; // on and off again before anyone looked

    onRead = [&](int nth) {
        if (nth == 5)
            cancel->Cancel();
    };
    EXPECT_EQ(port->WaitForCts(true, std::nullopt), SerialStatus::Cancelled);
    EXPECT_GE(reads, 5) << "the wait ended without the level";
}

// Each way a call can end, as the call says it: done, the time-out run out with what it
// moved, cancelled (before it or while it waits), or refused by the system (the far end gone,
// the lines unplugged).
TEST_F(CtsTest, EachCallSaysHowItEnded) {
    using enum SerialStatus;
    // Done once the call waits; CancelFirst before it begins.
    enum class Meanwhile { Nothing, CancelFirst, Cancel, HangUp, Unplug };
    struct Case {
        const char* name;
        std::function<SerialResult(ISerialPort&, std::size_t& moved)> call;
        Meanwhile meanwhile;
        SerialStatus ended;
        std::optional<std::size_t> moved; // none: some, but not all
        const char* error = "";
    };
    std::uint8_t buf[8] = {};
    const std::vector<std::uint8_t> lots(4 * 1024 * 1024, 0x55); // more than a pty holds
    std::atomic<bool> queueStuck = false;
    env.readOutputQueue = [&](int fd, int& n) {
        return queueStuck ? (n = 1, 0) : (::ioctl(fd, TIOCOUTQ, &n) == 0 ? 0 : errno);
    };
    const auto read = [&](std::size_t count, Timeout t) {
        return [&buf, count, t](ISerialPort& p, std::size_t& n) {
            return p.Read(std::span(buf).first(count), n, t);
        };
    };
    const auto write = [](std::span<const std::uint8_t> data, Timeout t) {
        return [data, t](ISerialPort& p, std::size_t& n) { return p.Write(data, n, t); };
    };
    const auto waitForCts = [](Timeout t) {
        return [t](ISerialPort& p, std::size_t&) { return p.WaitForCts(true, t); };
    };
    const auto stuck = [&](Timeout t) {
        return [&queueStuck, &buf, t](ISerialPort& p, std::size_t& n) {
            queueStuck = true;
            return p.Write(std::span(buf).first(1), n, t);
        };
    };
    const Case cases[] = {
        {"a read of what came", read(3, 60s), Meanwhile::Nothing, Ok, 3},
        {"a read of more than came", read(8, 100ms), Meanwhile::Nothing, TimedOut, 3},
        {"a write", write(std::span(buf).first(2), 60s), Meanwhile::Nothing, Ok, 2},
        {"a write the far end stops taking", write(lots, 100ms), Meanwhile::Nothing, TimedOut, {}},
        {"a write whose queue stands still", stuck(100ms), Meanwhile::Nothing, TimedOut, 1},
        {"a CTS wait nobody ends", waitForCts(100ms), Meanwhile::Nothing, TimedOut, 0},
        {"a read, cancelled", read(8, std::nullopt), Meanwhile::Cancel, Cancelled, 0},
        {"a write, cancelled", write(lots, std::nullopt), Meanwhile::Cancel, Cancelled, {}},
        {"a CTS wait, cancelled", waitForCts(std::nullopt), Meanwhile::Cancel, Cancelled, 0},
        {"a read after the cancel", read(8, std::nullopt), Meanwhile::CancelFirst, Cancelled, 0},
        {"a write after the cancel", write(lots, 60s), Meanwhile::CancelFirst, Cancelled, 0},
        // CTS is off as wanted, but the cancel came first.
        {"a CTS wait after the cancel",
         [](ISerialPort& p, std::size_t&) { return p.WaitForCts(false, std::nullopt); },
         Meanwhile::CancelFirst, Cancelled, 0},
        {"a read, hung up", read(8, std::nullopt), Meanwhile::HangUp, Failed, 0},
        {"a CTS wait, unplugged", waitForCts(std::nullopt), Meanwhile::Unplug, Failed, 0,
         "Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        queueStuck = false;
        failing = false;
        PtyPair line;
        const auto token = std::make_shared<CancelToken>();
        OpenResult opened = OpenPosixSerialPort(line.SlavePath(), token, env);
        ASSERT_TRUE(opened.port) << opened.reason;
        ASSERT_EQ(opened.port->SetLine({115200}), Ok);
        std::jthread meanwhile;
        if (c.meanwhile == Meanwhile::Nothing)
            line.Send({'x', 'y', 'z'}); // what a read finds
        else if (c.meanwhile == Meanwhile::CancelFirst)
            token->Cancel();
        else
            meanwhile = OnceWaiting([&] {
                if (c.meanwhile == Meanwhile::Cancel)
                    token->Cancel();
                else if (c.meanwhile == Meanwhile::HangUp)
                    line.CloseMaster();
                else
                    failing = true;
            });
        std::size_t moved = 0;
        const SerialResult result = c.call(*opened.port, moved);
        EXPECT_EQ(result, c.ended);
        if (c.moved)
            EXPECT_EQ(moved, *c.moved);
        else
            EXPECT_TRUE(moved > 0 && moved < lots.size()) << moved;
        EXPECT_TRUE(Contains(result.error, c.error)) << result.error;
        EXPECT_EQ(result.error.empty(), c.ended != Failed) << result.error;
    }
}

} // namespace
