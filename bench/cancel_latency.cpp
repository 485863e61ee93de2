// How long a cancel takes: from the click on "Abbrechen" until the port can be opened again,
// in every phase of the configuration and the link test, against the simulated transceiver on
// the real clock. The real program runs on the headless host; this thread plays the user and,
// right after the click, another program that wants the port.
//
//   cancel_latency [runs per phase [phase name part]]    (default 100, every phase)
#include "app/link_control_app.h"
#include "bench/bench_support.h"
#include "dialog/link_control_dialog.h"
#include "link/port_open.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "platform/headless_host.h"
#include "platform/profile_store.h"
#include "platform/ui_queue.h"
#include "res/resource.h"
#include "tests/support/dialog_test_peer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

// The system clock, except that one kind of sleep (its length in ms) is announced and
// stretched to ten seconds, so that the cancel surely finds the worker inside it. The 500 ms
// pause before the packet is cut short in the other phases, only to keep the runs quick.
class PhaseClock : public IClock {
public:
    void Target(std::uint32_t ms, int nth) {
        std::lock_guard lock(m_mutex);
        m_targetMs = ms;
        m_left = nth;
        m_reached = false;
    }
    bool WaitReached() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_reached; });
    }

    std::uint32_t Now() override { return m_system.Now(); }
    bool Sleep(std::uint32_t ms, const CancelToken* cancel) override {
        bool hold = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_left > 0 && ms == m_targetMs && --m_left == 0) {
                hold = true;
                m_reached = true;
            }
            if (!hold && ms == 500 && m_targetMs != 500)
                ms = 0;
        }
        if (hold) {
            m_cv.notify_all();
            ms = 10000;
        }
        return m_system.Sleep(ms, cancel);
    }

private:
    SystemClock m_system;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::uint32_t m_targetMs = 0;
    int m_left = 0;
    bool m_reached = false;
};

using RunningProgram = bench::HeadlessProgram;
using bench::Ms;
using bench::Percentile;

struct Phase {
    const char* name;
    int button;
    const char* options;
    bool autoMode;
    const char* status;   // reached when this text shows ...
    int jitterMs;         // ... plus up to this long, to land anywhere in a loop
    std::uint32_t holdMs; // or: reached in the nth sleep of this length
    int holdNth;
};

struct Result {
    std::vector<double> idleMs; // click to the dialog idle again (status line cleared)
    std::vector<double> portMs; // click to the port opened by someone else
    int failures = 0;
};

Result Measure(const Phase& p, PhaseClock& clock, int runs) {
    const std::string portValue = std::string("sim:") + p.options;
    RunningProgram program(portValue, &clock);
    std::atomic<SteadyClock::rep> idleAt{0};
    program.host.OnRecord([&](const std::string& line) {
        if (line == "text IDC_STATUS \"\"" && idleAt == 0)
            idleAt = SteadyClock::now().time_since_epoch().count();
    });
    std::mt19937 random(42);
    Result r;
    for (int i = 0; i < runs; ++i) {
        program.host.ClearTranscript();
        if (p.autoMode)
            program.host.Sync([&] { DialogPeer::SetAutoMode(program.Dialog(), true); });
        if (p.holdMs)
            clock.Target(p.holdMs, p.holdNth);
        program.host.UserClick(p.button);
        bool reached =
            p.holdMs ? clock.WaitReached()
                     : program.host.WaitForLine("text IDC_STATUS " + HeadlessHost::Quote(p.status));
        if (!reached) {
            ++r.failures;
            break;
        }
        if (p.jitterMs)
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<int>(0, p.jitterMs * 1000)(random)));

        idleAt = 0;
        const auto click = SteadyClock::now();
        program.host.UserClick(p.button);
        for (;;) {
            if (program.Ports().Open(portValue, nullptr).port)
                break;
            std::this_thread::yield();
        }
        const auto open = SteadyClock::now();
        if (!program.host.WaitForLine("text IDC_STATUS \"\"")) {
            ++r.failures;
            break;
        }
        program.host.Sync([] {});
        r.portMs.push_back(Ms(open - click));
        r.idleMs.push_back(Ms(SteadyClock::duration(idleAt.load()) - click.time_since_epoch()));
        clock.Target(0, 0);
    }
    program.host.OnRecord({});
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const std::string only = argc > 2 ? argv[2] : "";
    PhaseClock clock;

    const int C = IDC_CONFIGURE;
    const int T = IDC_TEST;
    const Phase phases[] = {
        {"configure: waiting for CTS off", C, "power=on,user=absent", false,
         "Laser-Transceiver zuerst ausschalten", 0, 0, 0},
        {"configure: waiting for CTS on", C, "power=off,user=absent", false,
         "Laser-Transceiver einschalten", 0, 0, 0},
        {"configure: user switching", C, "power=off,react=200", false, nullptr, 0, 200, 1},
        {"configure: 500 ms pause", C, "power=off,react=0", false, nullptr, 0, 500, 1},
        {"configure: writing the packet", C, "power=off,react=0,echo=none", false, nullptr, 0, 8,
         1},
        {"configure: reading the echo", C, "power=off,react=1,echo=none", false, nullptr, 0, 100,
         1},
        {"configure: readiness loop", C, "power=off,react=0,ready=forever", false,
         "Warten, bis Transceiver bereit ist...", 5, 0, 0},
        {"configure: readiness read", C, "power=off,react=0,ready=0", false, nullptr, 0, 100, 1},
        {"test by hand: cycles", T, "power=on", false, "Der Laser ist eingeschaltet", 100, 0, 0},
        {"test by hand: writing", T, "power=on,react=5", false, nullptr, 0, 1, 5},
        {"test automatic: cycles", T, "power=on,link=99", true, "Prüfe Link-Qualität...", 100, 0,
         0},
    };

    std::printf("Cancel latency against the simulated transceiver, %d runs per phase (ms)\n", runs);
    std::printf("%-34s %9s %9s %9s %9s\n", "phase", "port med", "port p99", "idle med", "idle p99");
    int failed = 0;
    for (const Phase& p : phases) {
        if (std::string(p.name).find(only) == std::string::npos)
            continue;
        Result r = Measure(p, clock, runs);
        failed += r.failures;
        std::printf("%-34s %9.3f %9.3f %9.3f %9.3f%s\n", p.name, Percentile(r.portMs, 0.5),
                    Percentile(r.portMs, 0.99), Percentile(r.idleMs, 0.5),
                    Percentile(r.idleMs, 0.99), r.failures ? "  (phase not reached)" : "");
        std::fflush(stdout);
    }
    std::printf("port: click to the port opening for someone else; idle: click to the status "
                "line cleared\n");
    return failed ? 1 : 0;
}
