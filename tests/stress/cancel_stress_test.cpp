// Start and cancel, over and over, at random moments: both workers against the simulated
// transceiver, and every wait of the serial layer on a pseudo-terminal. After every cycle
// nothing may be left over: no internal error, no descriptor, no thread, and the port opens
// again at once.
//
//   cancel_stress_test [--seed=N] [--cycles=N]   N cycles of each kind (default 300)
#include "link/serial_port_posix.h"
#include "platform/cancel_token.h"
#include "stress_support.h"
#include "tests/workers/worker_rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <random>
#include <thread>

namespace {

StressArgs g_args;

long Cycles() {
    return g_args.cycles > 0 ? g_args.cycles : 300;
}

using namespace std::chrono_literals;

// The program's time running a fixed number of times faster than the wall clock: every phase
// of a worker lasts a while in real time, in proportion to its length, so a cancel at a random
// real moment lands in every phase in turn.
class FastClock : public IClock {
public:
    explicit FastClock(int speedUp) : m_speedUp(speedUp) {}
    std::uint32_t Now() override {
        const auto real = std::chrono::steady_clock::now() - m_start;
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(real).count() * m_speedUp / 1000);
    }
    bool Sleep(std::uint32_t ms, const CancelToken* cancel) override {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::microseconds(std::int64_t{ms} * 1000 / m_speedUp);
        for (;;) {
            if (cancel && cancel->IsCancelled())
                return false;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return true;
            const timespec ts{0, static_cast<long>(std::min<std::int64_t>(left.count(), 100000)) *
                                     1000};
            pollfd pfd{cancel ? cancel->Fd() : -1, POLLIN, 0};
            ::ppoll(&pfd, 1, &ts, nullptr);
        }
    }

private:
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    const int m_speedUp;
};

struct Situation {
    const char* options;
    int button;
    bool autoMode;
};

// Each one a different path through the workers; together every phase of both.
constexpr Situation kSituations[] = {
    {"power=off", IDC_CONFIGURE, false},               // switch on, packet, readiness, done
    {"power=on", IDC_CONFIGURE, true},                 // off first, then the whole sequence
    {"power=off,ready=forever", IDC_CONFIGURE, false}, // readiness never ends
    {"power=off,echo=none", IDC_CONFIGURE, false},     // the echo's read time-out
    {"power=off,user=absent", IDC_CONFIGURE, false},   // a CTS wait only the cancel ends
    {"power=on,link=90", IDC_TEST, true},              // the bad-link warning, then by hand
    {"power=on", IDC_TEST, false},                     // the test by hand
    {"power=on,timing=none", IDC_TEST, true},          // cycles as fast as they go
};

} // namespace

TEST(CancelStress, BothWorkersAtRandomMomentsLeaveNothingBehind) {
    std::mt19937_64 random(g_args.seed);
    FastClock clock(50);
    const int fds = OpenFds();
    const int threads = Threads();
    long finishedBeforeCancel = 0;
    for (long cycle = 0; cycle < Cycles(); ++cycle) {
        const Situation& s = kSituations[random() % std::size(kSituations)];
        // The program started afresh each cycle (the host is one per process); the transceiver
        // of each situation lives on, with whatever power state the last cycle left.
        std::optional<WorkerRig> started(std::in_place, clock, s.options, false);
        WorkerRig& rig = *started;
        rig.Start();
        rig.h.host.ClearTranscript();
        if (s.autoMode)
            rig.SetAutoMode();
        rig.Click(s.button);
        // Up to 30 ms of real time: 1.5 s of the program's, past the configuration's pause and
        // packet and well into the test's cycles.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
        bool cancelled = false;
        rig.h.host.Sync([&] {
            CLinkControlDialog& dlg = rig.Dlg();
            if (dlg.State().activity == Activity::Configuring)
                dlg.OnConfigure();
            else if (dlg.State().activity == Activity::Testing)
                dlg.OnTest();
            else
                return;
            cancelled = true;
        });
        finishedBeforeCancel += !cancelled;
        // A run that ended by itself has its end step on the way; wait until it is through.
        ASSERT_TRUE(rig.WorkersGone()) << "cycle " << cycle;
        const bool idle = rig.h.OnUi([&] { return rig.Dlg().State().activity == Activity::Idle; });
        ASSERT_TRUE(idle) << "cycle " << cycle << " (" << s.options << ")";
        ASSERT_EQ(rig.h.host.Text(IDC_CONFIGURE), "Konfigurieren") << "cycle " << cycle;
        ASSERT_EQ(rig.h.host.Text(IDC_TEST), "Testen") << "cycle " << cycle;
        ASSERT_TRUE(rig.h.host.Lines("messagebox").empty()) << "cycle " << cycle;
        ASSERT_FALSE(rig.PortMarkedOpen()) << "cycle " << cycle;
        ASSERT_TRUE(rig.PortOpensAgain()) << "cycle " << cycle;
        ASSERT_EQ(LiveWorkerThreads(), 0) << "cycle " << cycle;
        started.reset();
        ASSERT_EQ(OpenFds(), fds) << "cycle " << cycle;
        ASSERT_EQ(ThreadsOnceSettled(threads), threads) << "cycle " << cycle;
    }
    std::printf("%ld worker cycles, %ld of them ended by themselves before the cancel\n", Cycles(),
                finishedBeforeCancel);
}

namespace {

// A port whose CTS never changes and whose output never drains, as a dead line would be:
// only the cancel ends its waits.
PosixPortEnvironment StuckLine(const std::string& lockDir) {
    PosixPortEnvironment env = DefaultPosixPortEnvironment();
    env.lockDir = lockDir;
    env.readModemLines = [](int, int& lines) {
        lines = 0;
        return 0;
    };
    env.readOutputQueue = [](int, int& queued) {
        queued = 16;
        return 0;
    };
    return env;
}

enum class Wait { Read, WriteDrain, Cts };

// The far end of a pseudo-terminal; the port opens the other end by its name.
class PtyMaster {
public:
    PtyMaster() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_fd, &slave, name, nullptr, nullptr) == 0) {
            ::close(slave);
            m_slave = name;
        }
    }
    ~PtyMaster() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;
    const std::string& SlavePath() const { return m_slave; }
    // Throws away whatever the port sent.
    void Discard() const {
        char buf[4096];
        pollfd pfd{m_fd, POLLIN, 0};
        while (::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLIN) &&
               ::read(m_fd, buf, sizeof buf) > 0) {
        }
    }

private:
    int m_fd = -1;
    std::string m_slave;
};

} // namespace

TEST(CancelStress, EveryWaitOfTheSerialLayerEndsAtTheCancel) {
    std::mt19937_64 random(g_args.seed ^ 0x5eed);
    PtyMaster pty;
    ASSERT_FALSE(pty.SlavePath().empty());
    TempDir lockDir;
    const PosixPortEnvironment env = StuckLine(lockDir.Path());
    const int fds = OpenFds();
    const int threads = Threads();
    long counts[3] = {};
    for (long cycle = 0; cycle < Cycles() * 3; ++cycle) {
        auto cancel = std::make_shared<CancelToken>();
        OpenResult opened = OpenPosixSerialPort(pty.SlavePath(), cancel, env);
        ASSERT_TRUE(opened.port) << "cycle " << cycle << ": " << opened.reason;
        ISerialPort& port = *opened.port;
        ASSERT_EQ(port.SetLine({115200}).status, SerialStatus::Ok);

        const auto wait = static_cast<Wait>(random() % 3);
        ++counts[static_cast<int>(wait)];
        std::promise<SerialResult> result;
        std::thread caller([&] {
            std::uint8_t buffer[64] = {};
            std::size_t n = 0;
            switch (wait) {
            case Wait::Read:
                result.set_value(port.Read(buffer, n, std::nullopt));
                break;
            case Wait::WriteDrain:
                result.set_value(port.Write(std::span(buffer).first(16), n, std::nullopt));
                break;
            case Wait::Cts:
                result.set_value(port.WaitForCts(true, std::nullopt));
                break;
            }
        });
        // Before the call, as it begins, or while it waits.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        cancel->Cancel();
        auto ended = result.get_future();
        if (ended.wait_for(2s) != std::future_status::ready) {
            // The caller cannot be joined: report and stop here.
            std::fprintf(stderr, "cycle %ld: wait %d ignored the cancel\n", cycle, int(wait));
            std::_Exit(1);
        }
        caller.join();
        ASSERT_EQ(ended.get().status, SerialStatus::Cancelled) << "cycle " << cycle;
        opened.port.reset();
        cancel.reset();
        // Whatever the far end got is thrown away, so the next cycle starts empty.
        pty.Discard();
        ASSERT_EQ(OpenFds(), fds) << "cycle " << cycle;
        ASSERT_EQ(ThreadsOnceSettled(threads), threads) << "cycle " << cycle;
    }
    // The port opens again at once after the last cycle too.
    EXPECT_TRUE(OpenPosixSerialPort(pty.SlavePath(), nullptr, env).port);
    std::printf("%ld serial waits cancelled: %ld reads, %ld write drains, %ld CTS waits\n",
                Cycles() * 3, counts[0], counts[1], counts[2]);
}

int main(int argc, char** argv) {
    g_args = TakeStressArgs(argc, argv, "cancel_stress_test");
    WarmUpThreads();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
