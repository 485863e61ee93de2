// Link-test cycle time against the line's own limit, the line time of 1024 bytes
// (1024 × 10 bits ÷ rate), at every operating rate:
//   worker: the whole link-test worker of the real program (headless host) on the simulated
//           transceiver with timing=real on the system clock; a cycle is the time between two
//           progress-bar updates.
//   own:    the same with timing=none: what the program itself spends per cycle (worker,
//           simulator, the progress-bar call to the UI thread), and (line + own) / line.
//   pty:    the serial layer's cycle alone (64 writes of 16 bytes with drain, one read with the
//           1 ms time-out, purge) on a pseudo-terminal pair whose far end echoes. A pty has no
//           line time, so the far end is also run paced, as a transmitter without FIFO, with
//           the port's drain reading its queue, against a drain that is woken the moment the
//           queue is empty (the reference, which carries the same thread wake-ups).
//
//   With phones, the worker runs while that many browsers follow the readout in the network:
//   the phone dialog open, each a stream read to its end on a thread of its own.
//
//   link_cycle [seconds per rate [phones]]    (default 6, 0)
#include "bench/bench_support.h"
#include "link/baud_tables.h"
#include "link/serial_port_posix.h"
#include "link/transceiver_protocol.h"
#include "platform/cancel_token.h"
#include "res/resource.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

using namespace bench;

namespace {

double LineTimeMs(std::uint32_t rate) {
    return 1024.0 * 10.0 * 1000.0 / rate;
}

// A browser that follows the readout: reads the stream on loopback until the server ends it.
std::thread Phone(int port, const std::string& path) {
    return std::thread([port, path] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(std::uint16_t(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
            const std::string request = "GET " + path + "events HTTP/1.1\r\nHost: x\r\n\r\n";
            if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
                char buffer[16384];
                while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
                }
            }
        }
        ::close(fd);
    });
}

std::vector<double> WorkerCycles(int baudIndex, double seconds, const char* timing,
                                 int phones = 0) {
    const std::uint32_t rate = BaudRateTable[baudIndex];
    HeadlessProgram program("sim:power=on,timing=" + std::string(timing) +
                            ",rate=" + std::to_string(rate));
    std::mutex mutex;
    std::vector<SteadyClock::time_point> updates;
    std::string url;
    const std::string urlLine = "text IDC_PHONE_URL \"";
    program.host.OnRecord([&](const std::string& line) {
        std::lock_guard lock(mutex);
        if (line.rfind("pos IDC_LINK_QUALITY ", 0) == 0 && line != "pos IDC_LINK_QUALITY 0")
            updates.push_back(SteadyClock::now());
        else if (line.rfind(urlLine, 0) == 0)
            url = line.substr(urlLine.size(), line.size() - urlLine.size() - 1);
    });
    program.host.UserSelect(IDC_BAUDRATE, baudIndex);
    program.host.UserClick(IDC_TEST);
    std::vector<std::thread> browsers;
    SteadyClock::time_point from{};
    if (phones > 0) {
        program.host.UserSysCommand(IDM_PHONE);
        program.host.WaitForLine("ready IDD_PHONE");
        program.host.Sync([] {});
        std::string address;
        {
            std::lock_guard lock(mutex);
            address = url;
        }
        const std::size_t colon = address.rfind(':'), slash = address.find('/', colon);
        if (colon == std::string::npos || slash == std::string::npos) {
            std::fprintf(stderr, "the phone dialog shows no address\n");
            std::exit(2);
        }
        for (int i = 0; i < phones; ++i)
            browsers.push_back(Phone(std::stoi(address.substr(colon + 1)), address.substr(slash)));
        program.host.WaitForLine("text IDC_PHONE_STATE \"" + std::to_string(phones) +
                                 " Telefone verbunden\"");
        from = SteadyClock::now();
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    if (phones > 0) {
        program.host.UserPressEscape(); // the phone dialog: its streams end
        for (std::thread& b : browsers)
            b.join();
    }
    program.host.UserClick(IDC_TEST);
    program.host.WaitForLine("text IDC_STATUS \"\"");
    program.host.Sync([] {});
    program.host.OnRecord({});

    std::lock_guard lock(mutex);
    std::vector<double> cycles;
    // The first cycle's start is not seen; the last one may be cut by the cancel. With phones,
    // only the cycles while all of them were connected.
    for (size_t i = 1; i < updates.size(); ++i)
        if (updates[i - 1] >= from)
            cycles.push_back(Ms(updates[i] - updates[i - 1]));
    return cycles;
}

// Bytes handed to the port and bytes the paced far end has sent: their difference is the
// output queue the port's drain wait sees instead of TIOCOUTQ.
struct PacedLine {
    std::atomic<long long> handed{0};
    std::atomic<long long> sent{0};
};

// The far end of the pseudo-terminal: everything that arrives goes straight back. Paced, it
// plays a transmitter as well: it takes one byte at a time, counts it as sent once its 10 bit
// times are over (an absolute schedule) and only then echoes it, so the drain wait meets a
// line time as on a real UART (without its FIFO).
class EchoingFarEnd {
public:
    EchoingFarEnd(int master, std::uint32_t pacedRate, PacedLine& line)
        : m_master(master), m_rate(pacedRate), m_line(line), m_thread([this] { Run(); }) {}
    ~EchoingFarEnd() {
        m_stop.Cancel();
        m_thread.join();
    }
    EchoingFarEnd(const EchoingFarEnd&) = delete;
    EchoingFarEnd& operator=(const EchoingFarEnd&) = delete;

private:
    void Run() {
        if (m_rate)
            ::prctl(PR_SET_TIMERSLACK, 1UL); // wake on the bit time, not 50 us after it
        const long long byteNs = m_rate ? 10'000'000'000LL / m_rate : 0;
        long long lineFree = 0;
        char buf[4096];
        for (;;) {
            // A byte that was already waiting when the last one ended follows it without a
            // gap; one that comes to an idle line starts when it comes.
            int waiting = 0;
            const bool busy = m_rate && ::ioctl(m_master, FIONREAD, &waiting) == 0 && waiting > 0 &&
                              NowNs() < lineFree + byteNs;
            pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stop.Fd(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            if (!m_rate) {
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0) {
                    [[maybe_unused]] ssize_t w = ::write(m_master, buf, static_cast<size_t>(n));
                }
                continue;
            }
            // One byte at a time: it stays queued until its last bit is out. It is read only
            // then, so that a purge meanwhile takes it away unsent, as the hardware's would.
            lineFree = (busy ? lineFree : NowNs()) + byteNs;
            const timespec until{static_cast<time_t>(lineFree / 1'000'000'000),
                                 static_cast<long>(lineFree % 1'000'000'000)};
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
            }
            if (::read(m_master, buf, 1) == 1) {
                m_line.sent.fetch_add(1);
                m_line.sent.notify_all();
                [[maybe_unused]] ssize_t w = ::write(m_master, buf, 1);
            }
        }
    }
    static long long NowNs() {
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
    }

    int m_master;
    std::uint32_t m_rate;
    PacedLine& m_line;
    CancelToken m_stop;
    std::thread m_thread;
};

struct PtyResult {
    std::vector<double> cycles;
    std::vector<double> received;
};

enum class FarEnd { Echo, Paced, PacedIdealDrain };

PtyResult PtyCycles(std::uint32_t rate, double seconds, FarEnd mode) {
    const bool paced = mode != FarEnd::Echo;
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
    PacedLine line;
    if (mode == FarEnd::Paced)
        env.readOutputQueue = [&line](int, int& queued) {
            queued = static_cast<int>(line.handed.load() - line.sent.load());
            return 0;
        };
    // The reference: a drain that is told the moment the queue is empty, as if the driver
    // woke it; the model's own latencies stay in.
    if (mode == FarEnd::PacedIdealDrain)
        env.readOutputQueue = [&line](int, int& queued) {
            for (long long sent = line.sent.load(); sent != line.handed.load();
                 sent = line.sent.load())
                line.sent.wait(sent);
            queued = 0;
            return 0;
        };
    {
        EchoingFarEnd farEnd(master, paced ? rate : 0, line);
        auto cancel = std::make_shared<CancelToken>();
        OpenResult opened = OpenPosixSerialPort(name, cancel, env);
        if (!opened.port) {
            std::fprintf(stderr, "%s\n", opened.reason.c_str());
        } else {
            ISerialPort& p = *opened.port;
            if (const SerialResult set = p.SetLine({rate}); !set.Ok())
                std::fprintf(stderr, "line set-up: %s\n", set.error.c_str());
            const Timeout readTimeout = std::chrono::milliseconds(1);
            std::uint8_t received[kCycleBytes];
            const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
            while (SteadyClock::now() < end) {
                const auto start = SteadyClock::now();
                for (int i = 0; i < kWritesPerCycle; ++i) {
                    std::size_t written = 0;
                    line.handed.fetch_add(kTestPatternSize);
                    (void)p.Write(TestPattern, written, std::nullopt);
                }
                std::size_t count = 0;
                (void)p.Read(received, count, readTimeout);
                (void)p.Purge();
                line.handed.store(line.sent.load()); // what the purge took away was never sent
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
    const int phones = argc > 2 ? std::clamp(std::atoi(argv[2]), 0, 8) : 0;
    struct Row {
        std::vector<double> worker, own;
        PtyResult pty, paced, ideal;
    } rows[4];
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t rate = BaudRateTable[i];
        rows[i].worker = WorkerCycles(i, seconds, "real", phones);
        rows[i].own = WorkerCycles(i, 1.0, "none");
        rows[i].pty = PtyCycles(rate, 1.0, FarEnd::Echo);
        rows[i].paced = PtyCycles(rate, std::max(1.0, seconds / 2), FarEnd::Paced);
        rows[i].ideal = PtyCycles(rate, std::max(1.0, seconds / 2), FarEnd::PacedIdealDrain);
    }

    std::printf("Link-test cycle / line time (1024 bytes x 10 bits / rate)\n\n");
    std::printf("The link-test worker on the simulated transceiver, %.0f s per rate (timing=real), "
                "and its own time per cycle (timing=none); %d phones following\n",
                seconds, phones);
    std::printf("%-7s %8s %9s %9s %7s %7s %6s | %7s %7s %7s\n", "rate", "line ms", "cycle ms",
                "p99 ms", "ratio", "p99 r", "cycles", "own us", "own p99", "ratio");
    for (int i = 0; i < 4; ++i) {
        const double line = LineTimeMs(BaudRateTable[i]);
        const Row& r = rows[i];
        std::printf("%-7u %8.2f %9.2f %9.2f %7.4f %7.4f %6zu | %7.1f %7.1f %7.4f\n",
                    BaudRateTable[i], line, Median(r.worker), Percentile(r.worker, 0.99),
                    Median(r.worker) / line, Percentile(r.worker, 0.99) / line, r.worker.size(),
                    Median(r.own) * 1000, Percentile(r.own, 0.99) * 1000,
                    (line + Median(r.own)) / line);
    }
    std::printf("\nThe serial layer's cycle (64 writes with drain, read, purge) on a "
                "pseudo-terminal whose far end echoes: as is, and with the far end paced as a "
                "transmitter, %.0f s per rate\n",
                std::max(1.0, seconds / 2));
    std::printf("%-7s %8s | %7s %7s %8s %5s | %8s %7s %7s %5s | %8s %7s | %7s\n", "rate", "line ms",
                "pty ms", "p99 ms", "ratio", "rx", "paced ms", "ratio", "p99 r", "rx", "notif ms",
                "ratio", "p/notif");
    for (int i = 0; i < 4; ++i) {
        const double line = LineTimeMs(BaudRateTable[i]);
        const Row& r = rows[i];
        std::printf("%-7u %8.2f | %7.3f %7.3f %8.5f %5.0f | %8.2f %7.4f %7.4f %5.0f | %8.2f %7.4f "
                    "| %7.4f\n",
                    BaudRateTable[i], line, Median(r.pty.cycles), Percentile(r.pty.cycles, 0.99),
                    Median(r.pty.cycles) / line, Median(r.pty.received), Median(r.paced.cycles),
                    Median(r.paced.cycles) / line, Percentile(r.paced.cycles, 0.99) / line,
                    Median(r.paced.received), Median(r.ideal.cycles), Median(r.ideal.cycles) / line,
                    Median(r.paced.cycles) / Median(r.ideal.cycles));
    }
    std::printf("\ncycle: between two progress-bar updates of the real worker; target ratio <= "
                "1.02\n"
                "own: the program's own time per cycle on timing=none; ratio = (line + own) / "
                "line\n"
                "pty: a pseudo-terminal has no line time (TIOCOUTQ is 0 at once): its ratio is "
                "system-call cost over a line time the pty does not have\n"
                "paced: the far end sends a byte per 10 bit times and the port's drain wait reads "
                "its queue instead of TIOCOUTQ\n"
                "notif: the same line with a drain that is woken the moment the queue is empty "
                "(the reference); p/notif = paced / notif\n"
                "rx: median echo bytes the cycle's read saw\n");
    return 0;
}
