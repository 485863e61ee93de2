// Link-test cycle time against the line's own limit, the line time of 1024 bytes
// (1024 × 10 bits ÷ rate), at every operating rate:
//   worker: the whole link-test worker of the real program (headless host) on the simulated
//           transceiver with timing=real on the system clock; a cycle is the time between two
//           progress-bar updates.
//   own:    the same with timing=none: what the program itself spends per cycle (worker,
//           simulator, the progress-bar call to the UI thread), and (line + own) / line.
//   pty:    the serial layer's cycle alone (64 writes of 16 bytes with drain, one read with the
//           1 ms time-out, purge) on a pseudo-terminal pair whose far end echoes.
//
//   link_cycle [seconds per rate]    (default 6)
#include "bench/bench_support.h"
#include "link/baud_tables.h"
#include "link/serial_port_posix.h"
#include "link/transceiver_protocol.h"
#include "link/worker_support.h"
#include "platform/cancel_token.h"
#include "res/resource.h"

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

using namespace bench;

namespace {

double LineTimeMs(DWORD rate) {
    return 1024.0 * 10.0 * 1000.0 / rate;
}

std::vector<double> WorkerCycles(int baudIndex, double seconds, const char* timing) {
    const DWORD rate = BaudRateTable[baudIndex];
    HeadlessProgram program("sim:power=on,timing=" + std::string(timing) +
                            ",rate=" + std::to_string(rate));
    std::mutex mutex;
    std::vector<SteadyClock::time_point> updates;
    program.host.OnRecord([&](const std::string& line) {
        if (line.rfind("pos IDC_LINK_QUALITY ", 0) == 0 && line != "pos IDC_LINK_QUALITY 0") {
            std::lock_guard lock(mutex);
            updates.push_back(SteadyClock::now());
        }
    });
    program.host.Sync([&] { program.Dialog().m_nBaudrate = baudIndex; });
    program.host.UserClick(IDC_TEST);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    program.host.UserClick(IDC_TEST);
    program.host.WaitForLine("text IDC_STATUS \"\"");
    program.host.Sync([&] { ReapFinishedThreads(); });
    program.host.OnRecord({});

    std::lock_guard lock(mutex);
    std::vector<double> cycles;
    // The first cycle's start is not seen; the last one may be cut by the cancel.
    for (size_t i = 1; i < updates.size(); ++i)
        cycles.push_back(Ms(updates[i] - updates[i - 1]));
    return cycles;
}

// The far end of the pseudo-terminal: everything that arrives goes straight back.
class EchoingFarEnd {
public:
    explicit EchoingFarEnd(int master) : m_master(master), m_thread([this] { Run(); }) {}
    ~EchoingFarEnd() {
        m_stop.Cancel();
        m_thread.join();
    }
    EchoingFarEnd(const EchoingFarEnd&) = delete;
    EchoingFarEnd& operator=(const EchoingFarEnd&) = delete;

private:
    void Run() {
        char buf[4096];
        for (;;) {
            pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stop.Fd(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) [[maybe_unused]]
                ssize_t w = ::write(m_master, buf, static_cast<size_t>(n));
        }
    }

    int m_master;
    CancelToken m_stop;
    std::thread m_thread;
};

struct PtyResult {
    std::vector<double> cycles;
    std::vector<double> received;
};

PtyResult PtyCycles(DWORD rate, double seconds) {
    PtyResult r;
    int master = -1;
    int slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return r;
    }
    ::close(slave); // the port opens it by name, as it would a device
    std::string lockDir = (std::filesystem::temp_directory_path() / "qm-bench-XXXXXX").string();
    if (!::mkdtemp(lockDir.data())) {
        ::close(master);
        return r;
    }
    PosixPortEnvironment env = DefaultPosixPortEnvironment();
    env.lockDir = lockDir;
    {
        EchoingFarEnd farEnd(master);
        auto cancel = std::make_shared<CancelToken>();
        OpenResult opened = OpenPosixSerialPort(name, cancel, env);
        if (!opened.port) {
            std::fprintf(stderr, "%s\n", opened.reason.c_str());
        } else {
            ISerialPort& p = *opened.port;
            DCB dcb;
            p.GetCommState(dcb);
            SetLineSettings(dcb, rate);
            COMMTIMEOUTS timeouts;
            timeouts.ReadTotalTimeoutConstant = 1;
            if (!p.SetCommState(dcb) || !p.SetCommTimeouts(timeouts))
                std::fprintf(stderr, "line set-up: %s\n", p.LastError().c_str());
            BYTE received[kCycleBytes];
            const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
            while (SteadyClock::now() < end) {
                const auto start = SteadyClock::now();
                for (int i = 0; i < kWritesPerCycle; ++i) {
                    DWORD written = 0;
                    p.WriteFile(TestPattern, kTestPatternSize, written);
                }
                DWORD count = 0;
                p.ReadFile(received, kCycleBytes, count);
                p.PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR);
                r.cycles.push_back(Ms(SteadyClock::now() - start));
                r.received.push_back(count);
            }
        }
    }
    ::close(master);
    std::filesystem::remove_all(lockDir);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 6.0;
    std::printf("Link-test cycle / line time (1024 bytes x 10 bits / rate), %.0f s per rate\n",
                seconds);
    std::printf("%-7s %7s %9s %9s %7s %7s %6s | %7s %7s %7s | %7s %7s %8s %6s\n", "rate", "line ms",
                "worker ms", "p99 ms", "ratio", "p99 r", "cycles", "own us", "own p99", "ratio",
                "pty ms", "pty p99", "ratio", "rx med");
    for (int i = 0; i < 4; ++i) {
        const DWORD rate = BaudRateTable[i];
        const double line = LineTimeMs(rate);
        const std::vector<double> worker = WorkerCycles(i, seconds, "real");
        const std::vector<double> own = WorkerCycles(i, 1.0, "none");
        const PtyResult pty = PtyCycles(rate, 1.0);
        std::printf("%-7u %7.2f %9.2f %9.2f %7.4f %7.4f %6zu | %7.1f %7.1f %7.4f | %7.3f %7.3f "
                    "%8.5f %6.0f\n",
                    rate, line, Median(worker), Percentile(worker, 0.99), Median(worker) / line,
                    Percentile(worker, 0.99) / line, worker.size(), Median(own) * 1000,
                    Percentile(own, 0.99) * 1000, (line + Median(own)) / line, Median(pty.cycles),
                    Percentile(pty.cycles, 0.99), Median(pty.cycles) / line, Median(pty.received));
        std::fflush(stdout);
    }
    std::printf("worker: the real worker on sim:timing=real (target ratio <= 1.02)\n"
                "own: the same on timing=none, the program's own time per cycle; ratio = (line "
                "+ own) / line\n"
                "pty: the serial layer on a pseudo-terminal, which has no line time (TIOCOUTQ "
                "is 0 at once): its ratio is system-call cost over a line time the pty does not "
                "have; rx med: echo bytes the cycle's read saw\n");
    return 0;
}
