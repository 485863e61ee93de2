// The link test with both alignment aids on: the real program on the Qt host, the tone on a
// private PulseAudio server's null sink and the readout open, against the simulated transceiver
// sweeping its link (30 % to 100 % and back in 20 s) on the real clock.
//
//   alignment_aids [seconds per rate [tone changes]]    (defaults 6 and 200)
//
// Printed: the cycle against the line time at every rate, with the aids and (at 115200) without
// them; at 115200, until that many tone changes were seen: cycle end to the new tone's samples
// written to the sound server and heard on its monitor (parec), and cycle end to the readout
// painted; the CPU of each phase, the sound server's apart.
//
// A cycle ends where the worker reports it (its progress-bar call, stamped by a tracing host
// around the Qt host). The samples leave the program through libpulse's pa_stream_write, which
// this program defines itself and passes on: the call that carries the first samples made after
// the tone was set is the tone's change. Its samples are checked against the new pitch where
// they sound (in a pulsed tone's gap they are silence). Without pulseaudio the tone is skipped,
// without parec the monitor, with the reason printed.
#include "bench/aids_measure.h"
#include "bench/bench_support.h"
#include "link/baud_tables.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/qt_host.h"
#include "platform/qt/readout_window.h"
#include "platform/tracing_host.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <numbers>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

using namespace bench;

namespace {

// The writes seen so far. A global: libpulse's caller knows nothing of this program.
struct SinkWrites {
    std::mutex mutex;
    std::vector<SinkWrite> writes;
} g_sink;

} // namespace

// Takes the place of libpulse's own for the whole process (the linker exports it), then calls it.
extern "C" int pa_stream_write(void* stream, const void* data, std::size_t bytes,
                               void (*freeData)(void*), std::int64_t offset, int seek) {
    using Real = int (*)(void*, const void*, std::size_t, void (*)(void*), std::int64_t, int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "pa_stream_write"));
    SinkWrite w;
    w.called = SteadyClock::now();
    const int result = real(stream, data, bytes, freeData, offset, seek);
    w.returned = SteadyClock::now();
    // Qt's sink writes 48 kHz mono 16 bit, as the tone asks for.
    w.hz = PitchOf(static_cast<const std::int16_t*>(data), bytes / 2);
    std::lock_guard lock(g_sink.mutex);
    g_sink.writes.push_back(w);
    return result;
}

namespace {

double LineTimeMs(std::uint32_t rate) {
    return 1024.0 * 10.0 * 1000.0 / rate;
}

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

// A process's CPU time from /proc, for the sound server.
double CpuSecondsOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto paren = text.rfind(')');
    if (paren == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(paren + 2));
    std::string f;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i)
        if (i == 14 || i == 15)
            ticks += std::stod(f);
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

// A PulseAudio server of our own with a null sink, as the e2e tone test has it.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        std::string dir = (std::filesystem::temp_directory_path() / "qm-aids-XXXXXX").string();
        if (!::mkdtemp(dir.data())) {
            why = "no temporary folder";
            return;
        }
        m_dir = dir;
        const std::string socket = dir + "/native";
        std::vector<std::string> args = {"pulseaudio",
                                         "-n",
                                         "--daemonize=no",
                                         "--exit-idle-time=-1",
                                         "--use-pid-file=no",
                                         "-L",
                                         "module-null-sink sink_name=q rate=48000",
                                         "-L",
                                         "module-native-protocol-unix socket=" + socket +
                                             " auth-anonymous=1"};
        std::vector<std::string> env = {"HOME=" + dir, "XDG_RUNTIME_DIR=" + dir,
                                        "XDG_CONFIG_HOME=" + dir};
        for (char** e = environ; *e; ++e)
            if (std::string_view(*e).find("HOME=") != 0 && std::string_view(*e).find("XDG_") != 0)
                env.emplace_back(*e);
        auto pointers = [](std::vector<std::string>& v) {
            std::vector<char*> p;
            for (std::string& s : v)
                p.push_back(s.data());
            p.push_back(nullptr);
            return p;
        };
        auto argv = pointers(args), envp = pointers(env);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned =
            ::posix_spawnp(&m_pid, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
        ::posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            m_pid = 0;
            why = "pulseaudio is not installed (Debian pulseaudio)";
            return;
        }
        // Ready once its socket takes a connection.
        const auto deadline = SteadyClock::now() + std::chrono::seconds(20);
        while (!Accepts(socket)) {
            int status = 0;
            if (SteadyClock::now() > deadline || ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                why = "the private PulseAudio server did not start";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        server = "unix:" + socket;
    }
    ~PrivateSoundServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (!m_dir.empty())
            std::filesystem::remove_all(m_dir);
    }
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    pid_t Pid() const { return server.empty() ? 0 : m_pid; }

    std::string server; // PULSE_SERVER, "" when there is none
    std::string why;    // why not

private:
    static bool Accepts(const std::string& path) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        path.copy(addr.sun_path, sizeof addr.sun_path - 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }

    pid_t m_pid = 0;
    std::string m_dir;
};

// The sink's monitor as parec records it, in 10 ms blocks stamped as they arrive: what a
// listener would hear, the sink's and the recorder's latency included.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const std::string& server) {
        int fds[2];
        if (server.empty() || ::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"parec",          "-d",           "q.monitor",    "--raw",
                              "--format=s16le", "--rate=48000", "--channels=1", "--latency-msec=10",
                              nullptr};
        const int spawned =
            ::posix_spawnp(&m_pid, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (spawned != 0) {
            m_pid = 0;
            ::close(fds[0]);
            why = "parec is not installed (Debian pulseaudio-utils)";
            return;
        }
        m_fd = fds[0];
        m_reader = std::thread([this] { Read(); });
    }
    ~MonitorRecorder() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_reader.joinable())
            m_reader.join(); // ends with the pipe
        if (m_fd >= 0)
            ::close(m_fd);
    }
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool Running() const { return m_pid > 0; }
    std::vector<SinkWrite> Take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_blocks, {});
    }

    std::string why;

private:
    void Read() {
        constexpr std::size_t kBlock = 480;
        std::vector<std::int16_t> pending;
        std::int16_t buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            const auto now = SteadyClock::now();
            pending.insert(pending.end(), buf, buf + n / 2);
            std::size_t used = 0;
            std::lock_guard lock(m_mutex);
            for (; pending.size() - used >= kBlock; used += kBlock)
                m_blocks.push_back({now, now, PitchOf(pending.data() + used, kBlock)});
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
        }
    }

    pid_t m_pid = 0;
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<SinkWrite> m_blocks;
};

struct Paint {
    SteadyClock::time_point cycle, end;
};

// Every stamp the program's threads give: cycles (the worker's progress call), tone settings
// (the UI thread's), and the readout's paints of a new cycle.
class Stamps final : public QObject, public ILinkTestObserver {
public:
    void Line(const std::string& line) {
        const auto now = SteadyClock::now();
        std::lock_guard lock(m_mutex);
        if (line.rfind("pos IDC_LINK_QUALITY ", 0) == 0 && line != "pos IDC_LINK_QUALITY 0")
            m_cycles.push_back(now);
        else if (line.rfind("tone ", 0) == 0 && line != "tone off" && !m_cycles.empty())
            m_tones.push_back(
                {m_cycles.back(), now, std::atoi(line.c_str() + 5), line.ends_with(" pulsed")});
    }
    void TestStarted(const LinkHistory&) override {}
    // After the readout's own observer: the window has the cycle's picture.
    void Cycle(const LinkHistory&) override {
        std::lock_guard lock(m_mutex);
        if (!m_cycles.empty())
            m_pictured = m_cycles.back();
    }
    void TestEnded(const LinkHistory&) override {}
    // The filter paints the window itself so that the end of its paint can be stamped.
    bool eventFilter(QObject* target, QEvent* e) override {
        if (e->type() != QEvent::Paint)
            return false;
        target->event(e);
        const auto end = SteadyClock::now();
        std::lock_guard lock(m_mutex);
        if (m_pictured)
            m_paints.push_back({*m_pictured, end});
        m_pictured.reset();
        return true;
    }

    struct Taken {
        std::vector<SteadyClock::time_point> cycles;
        std::vector<ToneSet> tones;
        std::vector<Paint> paints;
    };
    Taken Take() {
        std::lock_guard lock(m_mutex);
        Taken t{std::move(m_cycles), std::move(m_tones), std::move(m_paints)};
        m_cycles.clear();
        m_tones.clear();
        m_paints.clear();
        m_pictured.reset();
        return t;
    }
    std::size_t Tones() {
        std::lock_guard lock(m_mutex);
        return m_tones.size();
    }

private:
    std::mutex m_mutex;
    std::vector<SteadyClock::time_point> m_cycles;
    std::vector<ToneSet> m_tones;
    std::vector<Paint> m_paints;
    std::optional<SteadyClock::time_point> m_pictured;
};

void RunFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunUntil(const std::function<bool()>& done, double limitSeconds) {
    const auto end = SteadyClock::now() + std::chrono::duration<double>(limitSeconds);
    while (!done()) {
        if (SteadyClock::now() > end)
            return false;
        RunFor(0.02);
    }
    return true;
}

ReadoutWindow* Readout() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* r = dynamic_cast<ReadoutWindow*>(w); r && r->isVisible())
            return r;
    return nullptr;
}

std::vector<double> Intervals(const std::vector<SteadyClock::time_point>& cycles) {
    std::vector<double> v;
    for (std::size_t i = 1; i < cycles.size(); ++i)
        v.push_back(Ms(cycles[i] - cycles[i - 1]));
    return v;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(2.0, std::atof(argv[1])) : 6.0;
    const std::size_t wantTones = argc > 2 ? std::max(10, std::atoi(argv[2])) : 200;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    PrivateSoundServer sound;
    if (!sound.server.empty())
        ::setenv("PULSE_SERVER", sound.server.c_str(), 1);
    QApplication qtApp(argc, argv);
    QtHost qtHost(ProgramResources());
    Stamps stamps;
    TracingHost host(qtHost, [&](const std::string& line) { stamps.Line(line); });
    CLinkControlApp app;
    app.SetHost(&host);
    app.m_pszAppName = "Quillmere";
    auto store = std::make_shared<MemoryProfileStore>();
    store->Write("Ports", "COM1", ""); // manual mode: the benchmark starts each test
    store->Write("Dialup", "Service", "none");
    app.SetProfileStore(store);
    const std::filesystem::path records =
        std::filesystem::temp_directory_path() / ("qm-aids-records-" + std::to_string(::getpid()));
    app.SetLinkRecords(LinkRecordStore(records));
    static const char* args[] = {"/usr/bin/Quillmere"};
    app.SetStartup(1, args);

    MonitorRecorder monitor(sound.server);
    int failed = 0;
    QTimer::singleShot(0, [&] {
        auto& dlg = *static_cast<CLinkControlDialog*>(app.m_pMainWnd);
        dlg.AddLinkObserver(stamps);
        DialogWindow& window = *qtHost.WindowOf(dlg);
        auto* rates = window.findChild<QComboBox*>("IDC_BAUDRATE");
        auto* test = window.findChild<QPushButton*>("IDC_TEST");
        if (!rates || !test || !RunUntil([&] { return test->isEnabled(); }, 10)) {
            std::fprintf(stderr, "alignment_aids: the main dialog did not come up\n");
            failed = 1;
            dlg.EndDialog(IDCANCEL);
            return;
        }
        std::printf("Link test with the alignment aids, Qt host (%s), sim link=sweep, %.0f s per "
                    "rate\n",
                    qPrintable(QApplication::platformName()), seconds);
        if (sound.server.empty())
            std::printf("tone: skipped, %s\n", sound.why.c_str());

        struct Phase {
            const char* name;
            int rate;
            bool aids;
        };
        const Phase phases[] = {{"no aids", 3, false},
                                {"aids", 0, true},
                                {"aids", 1, true},
                                {"aids", 2, true},
                                {"aids", 3, true}};
        std::printf("%-8s %-7s %8s %9s %9s %7s %7s %6s %7s %7s\n", "phase", "rate", "line ms",
                    "cycle ms", "p99 ms", "ratio", "p99 r", "cycles", "CPU %", "server");
        Stamps::Taken last;
        std::vector<SinkWrite> heardBlocks;
        for (const Phase& p : phases) {
            if (p.aids && !Readout()) {
                if (!sound.server.empty())
                    dlg.OnSysCommand(IDM_TONE, 0); // opens the sound stream, about a second
                dlg.OnSysCommand(IDM_ALIGNMENT, 0);
                if (Readout())
                    Readout()->installEventFilter(&stamps);
            }
            const std::uint32_t rate = BaudRateTable[p.rate];
            store->Write("Ports", "COM1",
                         "sim:power=on,timing=real,link=sweep,rate=" + std::to_string(rate));
            rates->setCurrentIndex(p.rate);
            emit rates->activated(p.rate);
            test->click();
            RunFor(1.0); // the test under way, the sink's stream settled
            stamps.Take();
            {
                std::lock_guard lock(g_sink.mutex);
                g_sink.writes.clear();
            }
            monitor.Take();
            const double cpu = CpuSeconds(), serverCpu = CpuSecondsOf(sound.Pid());
            const auto wall = SteadyClock::now();
            RunFor(seconds);
            // At the fastest rate the aids run on until the tone has changed often enough.
            const bool latencies = p.aids && p.rate == 3;
            if (latencies && !sound.server.empty())
                RunUntil([&] { return stamps.Tones() >= wantTones; }, 300);
            const double took = Ms(SteadyClock::now() - wall) / 1000;
            const double used = CpuSeconds() - cpu;
            const double serverUsed = CpuSecondsOf(sound.Pid()) - serverCpu;
            Stamps::Taken t = stamps.Take();
            test->click(); // cancels: the test has ended when the click returns
            const std::vector<double> c = Intervals(t.cycles);
            const double line = LineTimeMs(rate);
            std::printf("%-8s %-7u %8.2f %9.2f %9.2f %7.4f %7.4f %6zu %7.1f %7.1f\n", p.name, rate,
                        line, Median(c), Percentile(c, 0.99), Median(c) / line,
                        Percentile(c, 0.99) / line, c.size(), 100 * used / took,
                        100 * serverUsed / took);
            failed |= c.empty();
            if (latencies) {
                last = std::move(t);
                heardBlocks = monitor.Take();
            }
        }

        std::vector<SinkWrite> writes;
        {
            std::lock_guard lock(g_sink.mutex);
            writes = g_sink.writes;
        }
        std::printf("\nAt 115200, %zu cycles:\n", last.cycles.size());
        std::printf("%-40s %6s %9s %9s %9s\n", "", "count", "median ms", "p99 ms", "max ms");
        std::vector<double> painted;
        for (const Paint& p : last.paints)
            painted.push_back(Ms(p.end - p.cycle));
        if (!sound.server.empty()) {
            const ToneLatencies tone = MatchTones(last.tones, writes);
            std::printf("%-40s %6zu %9.2f %9.2f %9.2f\n", "cycle end -> new tone written",
                        tone.written.size(), Median(tone.written), Percentile(tone.written, 0.99),
                        Percentile(tone.written, 1));
            std::vector<double> toUi;
            for (const ToneSet& t : last.tones)
                toUi.push_back(Ms(t.set - t.cycle));
            std::printf("%-40s %6zu %9.2f %9.2f %9.2f\n", "  of which cycle end -> tone set (UI)",
                        toUi.size(), Median(toUi), Percentile(toUi, 0.99), Percentile(toUi, 1));
            std::printf("  its samples: %d at the new pitch (within 4 Hz), %d silent (a pulse's "
                        "gap or fade), %d at neither; %d carried by the write after; %d never "
                        "written; %zu writes in all\n",
                        tone.checked, tone.silent,
                        int(tone.written.size()) - tone.checked - tone.silent, tone.later,
                        tone.missing, writes.size());
            failed |= tone.written.empty();
            const HeardLatencies heard = MatchHeard(last.tones, heardBlocks);
            if (!monitor.Running())
                std::printf("heard: skipped, %s\n", monitor.why.c_str());
            else
                for (const auto& [name, v] :
                     {std::pair{"cycle end -> new pitch heard, every tone", &heard.all},
                      std::pair{"cycle end -> new pitch heard, steady tone", &heard.steady}})
                    std::printf("%-40s %6zu %9.2f %9.2f %9.2f\n", name, v->size(), Median(*v),
                                Percentile(*v, 0.99), Percentile(*v, 1));
            if (monitor.Running())
                std::printf("  on the sink's monitor (parec, 10 ms blocks stamped as they "
                            "arrive); %d settings replaced before they were heard\n",
                            heard.replaced);
        }
        std::printf("%-40s %6zu %9.2f %9.2f %9.2f\n", "cycle end -> readout painted",
                    painted.size(), Median(painted), Percentile(painted, 0.99),
                    Percentile(painted, 1));
        std::printf("\ntargets: cycle <= 1.02 line time; tone median/p99 <= 60 ms; readout "
                    "<= 20 ms\nCPU %%: this process over the wall time (every thread); server: "
                    "the sound server's\n");
        failed |= painted.empty();
        dlg.EndDialog(IDCANCEL);
    });
    app.InitInstance();
    std::filesystem::remove_all(records);
    if (failed)
        std::fprintf(stderr, "alignment_aids: a phase saw no cycle, tone change or paint\n");
    return failed;
}
