// Dial and hang-up against a real NetworkManager (tests/dialup/real_nm.h), the program against
// nmcli on the same static profile, rounds alternating which goes first.
// The program: its main dialog on the headless host (--qt: the Qt host, offscreen) with the
// NetworkManager backend and the real dial dialog. Dial: the click on "Verbinden" to the moment the
// follow-up program's main() runs (follow_up_stamp writes it to a fifo). Hang-up: the click on
// "Trennen" to "Verbinden" shown. nmcli: `nmcli connection up|down`, spawn to exit. With --phases
// the backend is wrapped to stamp its calls, and dbus-monitor stamps the active connection's
// StateChanged signals: a table of where the time goes. Ends with 77 (skipped) where the real
// service cannot run, with the reason on standard output.
//
//   dial_hangup [rounds] [--phases] [--qt]    (default 20, headless host)
#include "bench/bench_support.h"
#include "bench/child_process.h"
#include "dialup/follow_up.h"
#include "dialup/networkmanager/nm_service.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/qt_host.h"
#include "platform/tracing_host.h"
#include "platform/ui_queue.h"
#include "res/resource.h"
#include "res/resources.h"
#include "tests/dialup/real_nm.h"

#include <QApplication>
#include <QPushButton>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

using namespace bench;

namespace {

const char* const kProfile = "Optolink Dach";
constexpr std::chrono::seconds kDeadline{10};

// Ends the run; main reports it once the program and NetworkManager have been stopped.
[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

// Everything that happened, stamped: transcript lines, backend calls, NetworkManager's signals.
class Events {
public:
    void Add(const std::string& what, long long ns = MonotonicNs()) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back({ns, what});
        }
        m_cv.notify_all();
    }
    size_t Size() const {
        std::lock_guard lock(m_mutex);
        return m_events.size();
    }
    // The stamp of the first event what from index from on; fails after the deadline.
    long long WaitFor(const std::string& what, size_t from) {
        std::unique_lock lock(m_mutex);
        long long at = 0;
        const bool seen = m_cv.wait_for(lock, kDeadline, [&] {
            for (size_t i = from; i < m_events.size(); ++i)
                if (m_events[i].what == what) {
                    at = m_events[i].ns;
                    return true;
                }
            return false;
        });
        if (!seen)
            Fail("no \"" + what + "\" within " + std::to_string(kDeadline.count()) + " s");
        return at;
    }
    // The first event what stamped within [from, to]; 0 when there is none.
    long long First(const std::string& what, long long from, long long to) const {
        std::lock_guard lock(m_mutex);
        long long first = 0;
        for (const auto& e : m_events)
            if (e.what == what && e.ns >= from && e.ns <= to && (!first || e.ns < first))
                first = e.ns;
        return first;
    }

private:
    struct Event {
        long long ns;
        std::string what;
    };
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Event> m_events;
};

// The real backend, its calls stamped.
class StampedService : public IDialupService {
public:
    StampedService(std::shared_ptr<IDialupService> inner, Events& events)
        : m_inner(std::move(inner)), m_events(events) {}
    std::optional<std::vector<RASCONN>> EnumConnections() override {
        m_events.Add("service EnumConnections called");
        auto result = m_inner->EnumConnections();
        m_events.Add("service EnumConnections returned");
        return result;
    }
    bool HangUp(HRASCONN handle) override {
        m_events.Add("service HangUp called");
        const bool result = m_inner->HangUp(handle);
        m_events.Add("service HangUp returned");
        return result;
    }
    DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                     const DialProgress& progress) override {
        m_events.Add("service Dial called");
        DialOutcome result = m_inner->Dial(entry, cancel, progress);
        m_events.Add("service Dial returned");
        return result;
    }

private:
    std::shared_ptr<IDialupService> m_inner;
    Events& m_events;
};

// dbus-monitor on the private bus: every active connection's StateChanged as "nm state N",
// stamped with the monitor's own time of the message (wall clock, turned into ours).
class StateMonitor {
public:
    explicit StateMonitor(Events& events) : m_events(events) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            Fail("pipe");
        const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], 1);
            // Its note that it falls back to eavesdropping is expected on this bus.
            if (const int null = ::open("/dev/null", O_WRONLY); null >= 0)
                ::dup2(null, 2);
            ::execl("/usr/bin/dbus-monitor", "dbus-monitor", "--address", address ? address : "",
                    "type='signal',interface='org.freedesktop.NetworkManager.Connection.Active',"
                    "member='StateChanged'",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        m_fd = fds[0];
        timespec real{}, mono{};
        ::clock_gettime(CLOCK_REALTIME, &real);
        ::clock_gettime(CLOCK_MONOTONIC, &mono);
        m_offsetNs = (real.tv_sec - mono.tv_sec) * 1000000000LL + (real.tv_nsec - mono.tv_nsec);
        m_reader = std::thread([this] { Read(); });
    }
    ~StateMonitor() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_reader.join();
        ::close(m_fd);
    }
    StateMonitor(const StateMonitor&) = delete;
    StateMonitor& operator=(const StateMonitor&) = delete;

    // Waits until the monitor listens: the bus tells it its own name first.
    bool Ready() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, kDeadline, [&] { return m_ready; });
    }

private:
    void Read() {
        std::string text;
        char buf[4096];
        long long signalNs = 0;
        for (ssize_t n; (n = ::read(m_fd, buf, sizeof buf)) > 0;) {
            text.append(buf, static_cast<size_t>(n));
            for (size_t eol; (eol = text.find('\n')) != std::string::npos; text.erase(0, eol + 1)) {
                const std::string line = text.substr(0, eol);
                long long sec = 0, usec = 0;
                unsigned value = 0;
                if (std::sscanf(line.c_str(), "signal time=%lld.%lld", &sec, &usec) == 2) {
                    if (line.find("member=StateChanged") != std::string::npos)
                        signalNs = sec * 1000000000LL + usec * 1000 - m_offsetNs;
                    std::lock_guard lock(m_mutex);
                    m_ready = true;
                    m_cv.notify_all();
                } else if (signalNs && std::sscanf(line.c_str(), " uint32 %u", &value) == 1) {
                    m_events.Add("nm state " + std::to_string(value), signalNs);
                    signalNs = 0; // the second number is the reason
                }
            }
        }
    }

    Events& m_events;
    pid_t m_pid = -1;
    int m_fd = -1;
    long long m_offsetNs = 0;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_ready = false;
};

// The program dialling kProfile through the NetworkManager backend, the follow-up program the
// stamp. Its dialogs run on the headless host on a UI thread of its own, or on the Qt host
// (offscreen), whose UI thread is main's: Run() runs the program there and measure beside it.
class Program {
public:
    Program(Events& events, bool stamped, const std::string& runProgram, bool qt) {
        if (qt) {
            m_qt = std::make_unique<QtHost>(ProgramResources());
            m_traced = std::make_unique<TracingHost>(
                *m_qt, [&events](const std::string& line) { events.Add(line); });
            m_app.SetHost(m_traced.get());
        } else {
            m_headless.OnRecord([&events](const std::string& line) { events.Add(line); });
            m_app.SetHost(&m_headless);
        }
        m_app.m_pszAppName = "Quillmere";
        for (int digit = 1; digit <= 9; ++digit)
            m_store->Write("Ports", "COM" + std::to_string(digit), ""); // no port is probed
        m_store->Write("Dialup", "Service", "networkmanager");
        m_store->Write("Settings", "RAS Link Name", kProfile);
        m_store->Write("Settings", "Run Program", runProgram);
        m_store->Write("Settings", "Run Invisible", "1");
        InstallNetworkManagerBackend(m_app.Backends());
        if (stamped) {
            m_app.SetFollowUpStarter([&events](const std::string& commandLine, bool hidden) {
                events.Add("follow-up start called");
                const bool started = StartFollowUpProgram(commandLine, hidden);
                events.Add("follow-up start returned");
                return started;
            });
            m_app.Backends().Register(
                "networkmanager", [&events](const std::string&, std::string&) {
                    auto service = MakeNetworkManagerService();
                    return service ? std::make_shared<StampedService>(service, events) : nullptr;
                });
        }
        m_app.SetProfileStore(m_store);
        static const char* argv[] = {"/usr/bin/Quillmere"};
        m_app.SetStartup(1, argv);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    void Run(const std::function<void()>& measure) {
        std::exception_ptr failed;
        std::thread other([&] {
            if (m_qt) {
                Drive(measure, failed);
            } else {
                m_app.InitInstance();
                m_done = true;
            }
        });
        if (m_qt) {
            m_app.InitInstance();
            m_done = true;
        } else {
            Drive(measure, failed);
        }
        other.join();
        if (failed)
            std::rethrow_exception(failed);
    }

    // The click on the connection button, as the user gives it.
    void Click() {
        if (!m_qt) {
            m_headless.UserClick(IDC_CONNECT);
            return;
        }
        m_qt->Post([this] {
            if (DialogWindow* top = m_qt->TopWindow())
                if (auto* button = top->findChild<QPushButton*>("IDC_CONNECT"))
                    button->click();
        });
    }

private:
    IDialogHost& Host() { return m_qt ? static_cast<IDialogHost&>(*m_traced) : m_headless; }

    // Waits for the main dialog, measures, and closes whatever is open, as Escape does.
    void Drive(const std::function<void()>& measure, std::exception_ptr& failed) {
        try {
            bool enabled = false;
            if (m_qt) // runs once the main dialog's event loop does
                CallOnUi(Host(), [&] {
                    enabled = m_app.m_pMainWnd->GetDlgItem(IDC_CONNECT).IsWindowEnabled();
                });
            else if (m_headless.WaitForLine("ready IDD_MAIN"))
                enabled = m_headless.Enabled(IDC_CONNECT);
            if (!enabled)
                Fail("\"Verbinden\" is not there: the NetworkManager backend was not bound");
            measure();
        } catch (...) {
            failed = std::current_exception();
        }
        while (!m_done) {
            if (m_qt)
                m_qt->Post([this] {
                    if (DialogWindow* top = m_qt->TopWindow())
                        top->reject();
                });
            else
                m_headless.UserPressEscape();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    HeadlessHost m_headless;
    std::unique_ptr<QtHost> m_qt;
    std::unique_ptr<TracingHost> m_traced;
    std::shared_ptr<IProfileStore> m_store = std::make_shared<MemoryProfileStore>();
    CLinkControlApp m_app;
    std::atomic<bool> m_done{false};
};

// The fifo the follow-up program writes its start to; held open for reading and writing, so
// that it never reports an end.
class StampFifo {
public:
    explicit StampFifo(std::string path) : m_path(std::move(path)) {
        if (::mkfifo(m_path.c_str(), 0600) != 0)
            Fail("mkfifo " + m_path + ": " + std::strerror(errno));
        m_fd = ::open(m_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            Fail("open " + m_path + ": " + std::strerror(errno));
    }
    ~StampFifo() { ::close(m_fd); }
    StampFifo(const StampFifo&) = delete;
    StampFifo& operator=(const StampFifo&) = delete;

    const std::string& Path() const { return m_path; }

    long long Next() {
        const long long deadline = MonotonicNs() + kDeadline.count() * 1000000000LL;
        for (;;) {
            if (const auto eol = m_text.find('\n'); eol != std::string::npos) {
                const long long stamp = std::atoll(m_text.c_str());
                m_text.erase(0, eol + 1);
                return stamp;
            }
            const long long left = deadline - MonotonicNs();
            pollfd pfd{m_fd, POLLIN, 0};
            if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left / 1000000 + 1)) < 0)
                Fail("the follow-up program did not start");
            char buf[64];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                m_text.append(buf, static_cast<size_t>(n));
        }
    }

private:
    std::string m_path;
    int m_fd = -1;
    std::string m_text;
};

struct Window {
    long long from = 0, to = 0; // the click (or spawn) and the end of the step
};

struct Samples {
    std::vector<double> ms;
    std::vector<Window> windows;
    void Add(long long from, long long to) {
        ms.push_back(static_cast<double>(to - from) / 1e6);
        windows.push_back({from, to});
    }
};

Samples g_dial, g_hangUp, g_up, g_down;

const std::string kConnectShown = "text IDC_CONNECT \"Verbinden\"";
const std::string kHangUpShown = "text IDC_CONNECT \"Trennen\"";

void ProgramDial(Program& program, Events& events, StampFifo& fifo, bool measured) {
    const size_t from = events.Size();
    const long long click = MonotonicNs();
    program.Click();
    const long long started = fifo.Next();
    // The next step begins once the lookup after the dial has set the button.
    events.Add("follow-up started", started);
    const long long shown = events.WaitFor(kHangUpShown, from);
    if (measured) {
        g_dial.Add(click, started);
        g_dial.windows.back().to = std::max(started, shown); // the lookup runs meanwhile
    }
}

void ProgramHangUp(Program& program, Events& events, bool measured) {
    const size_t from = events.Size();
    const long long click = MonotonicNs();
    program.Click();
    const long long shown = events.WaitFor(kConnectShown, from);
    if (measured)
        g_hangUp.Add(click, shown);
}

void Nmcli(const RealNetworkManager& nm, const char* verb, Samples* samples) {
    const long long start = MonotonicNs();
    const CommandResult r = nm.Nmcli({"connection", verb, kProfile});
    const long long end = MonotonicNs();
    if (r.exitCode != 0)
        Fail(std::string("nmcli connection ") + verb + ": " + r.output);
    if (samples)
        samples->Add(start, end);
}

// The reference for the follow-up start: the stamp program spawned by a plain posix_spawn.
std::vector<double> SpawnAlone(StampFifo& fifo, int runs) {
    std::vector<double> ms;
    const std::vector<std::string> args{fifo.Path()};
    const std::map<std::string, std::string> env{{"PATH", "/usr/bin:/bin"}};
    for (int i = 0; i < runs; ++i) {
        const Child child = Spawn(FOLLOW_UP_STAMP, args, env);
        if (child.pid < 0)
            Fail("cannot start " FOLLOW_UP_STAMP);
        ms.push_back(static_cast<double>(fifo.Next() - child.startNs) / 1e6);
        Reap(child);
    }
    return ms;
}

void Row(const char* what, const std::vector<double>& ms) {
    std::printf("%-44s %8.1f %8.1f %8.1f\n", what, Median(ms), Percentile(ms, 0.9),
                Percentile(ms, 1.0));
}

void Ratio(const std::vector<double>& ours, const std::vector<double>& theirs) {
    std::printf("%-44s %8.2f %8.2f\n", "ratio (target <= 1.0)", Median(ours) / Median(theirs),
                Percentile(ours, 0.9) / Percentile(theirs, 0.9));
}

// Median ms from the step's start to each milestone, over the rounds where it was seen.
void Phases(const char* title, const Samples& samples, const Events& events,
            const std::vector<std::pair<const char*, std::string>>& milestones) {
    std::printf("\n%s (ms from the start, median)\n", title);
    for (const auto& [label, what] : milestones) {
        std::vector<double> ms;
        for (const Window& w : samples.windows)
            if (const long long at = events.First(what, w.from, w.to))
                ms.push_back(static_cast<double>(at - w.from) / 1e6);
        if (!ms.empty())
            std::printf("  %-52s %8.1f  (%zu of %zu)\n", label, Median(ms), ms.size(),
                        samples.windows.size());
    }
}

void Run(int rounds, bool phases, bool qt) {
    RealNetworkManager nm;
    if (const std::string failed = nm.Start(); !failed.empty())
        Fail(failed + "\n" + nm.Logs());
    if (!nm.AddProfile(kProfile))
        Fail("nmcli connection add failed");

    Events events;
    std::unique_ptr<StateMonitor> monitor;
    if (phases) {
        monitor = std::make_unique<StateMonitor>(events);
        if (!monitor->Ready())
            Fail("dbus-monitor did not start");
    }
    TempDir box;
    StampFifo fifo(box / "started");
    Program program(events, phases,
                    CommandLineForFile(FOLLOW_UP_STAMP) + " " + CommandLineForFile(fifo.Path()),
                    qt);
    program.Run([&] {
        // One unmeasured round first: the first activation and the first calls set things up.
        for (int round = -1; round < rounds; ++round) {
            const bool measured = round >= 0;
            for (int k : {round & 1, 1 - (round & 1)}) {
                if (k == 0) {
                    ProgramDial(program, events, fifo, measured);
                    ProgramHangUp(program, events, measured);
                } else {
                    Nmcli(nm, "up", measured ? &g_up : nullptr);
                    Nmcli(nm, "down", measured ? &g_down : nullptr);
                }
            }
        }
    });

    std::printf("Dial and hang-up, real NetworkManager, static profile, %s host, %d rounds "
                "alternating (ms)\n",
                qt ? "Qt (offscreen)" : "headless", rounds);
    std::printf("%-44s %8s %8s %8s\n", "", "median", "p90", "max");
    Row("dial: click to follow-up program started", g_dial.ms);
    Row("dial: nmcli connection up", g_up.ms);
    Ratio(g_dial.ms, g_up.ms);
    Row("hang-up: click to \"Verbinden\" shown", g_hangUp.ms);
    Row("hang-up: nmcli connection down", g_down.ms);
    Ratio(g_hangUp.ms, g_down.ms);

    if (phases) {
        Phases("Dial, from the click", g_dial, events,
               {{"dial dialog opened", "open IDD_DIAL"},
                {"dial dialog shown", "ready IDD_DIAL"},
                {"backend Dial called", "service Dial called"},
                {"NetworkManager: activating", "nm state 1"},
                {"dial dialog: \"Verbindung wird aufgebaut...\"",
                 "text IDC_DIAL_STATUS \"Verbindung wird aufgebaut...\""},
                {"NetworkManager: activated", "nm state 2"},
                {"backend Dial returned", "service Dial returned"},
                {"dial dialog closed", "end IDD_DIAL 1"},
                {"follow-up start called", "follow-up start called"},
                {"follow-up start returned (spawned)", "follow-up start returned"},
                {"follow-up program started", "follow-up started"},
                {"lookup after the dial called", "service EnumConnections called"},
                {"lookup returned", "service EnumConnections returned"},
                {"\"Trennen\" shown", kHangUpShown}});
        Phases("Hang-up, from the click", g_hangUp, events,
               {{"\"Trenne Verbindung...\" shown", "text IDC_STATUS \"Trenne Verbindung...\""},
                {"backend HangUp called", "service HangUp called"},
                {"NetworkManager: deactivating", "nm state 3"},
                {"NetworkManager: deactivated", "nm state 4"},
                {"backend HangUp returned", "service HangUp returned"},
                {"lookup after the hang-up called", "service EnumConnections called"},
                {"lookup returned", "service EnumConnections returned"},
                {"\"Verbinden\" shown", kConnectShown}});
        const auto alone = SpawnAlone(fifo, rounds);
        std::printf("\n%-56s %8.1f  (p90 %.1f)\n",
                    "reference: the follow-up program alone, spawn to main()", Median(alone),
                    Percentile(alone, 0.9));
        Phases("nmcli connection up, from the spawn", g_up, events,
               {{"NetworkManager: activating", "nm state 1"},
                {"NetworkManager: activated", "nm state 2"}});
        Phases("nmcli connection down, from the spawn", g_down, events,
               {{"NetworkManager: deactivating", "nm state 3"},
                {"NetworkManager: deactivated", "nm state 4"}});
    }
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    bool phases = false, qt = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--phases") == 0)
            phases = true;
        else if (std::strcmp(argv[i], "--qt") == 0)
            qt = true;
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }
    // D-Bus needs an application object, the Qt host a QApplication; the program makes its own.
    const TempDir runtime; // Qt wants a private runtime folder
    if (qt) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 0);
    }
    ::setenv("DBUS_FATAL_WARNINGS", "0", 0); // as the program does before Qt starts
    const std::unique_ptr<QCoreApplication> qtApp =
        qt ? std::make_unique<QApplication>(argc, argv)
           : std::make_unique<QCoreApplication>(argc, argv);
    std::string unavailable = RealNetworkManager::Unavailable();
    if (unavailable.empty() && phases && ::access("/usr/bin/dbus-monitor", X_OK) != 0)
        unavailable = "/usr/bin/dbus-monitor is not installed";
    if (!unavailable.empty()) {
        std::printf("skipped: %s\n", unavailable.c_str());
        return 77;
    }
    try {
        Run(rounds, phases, qt);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dial_hangup: %s\n", e.what());
        return 1;
    }
    return 0;
}
