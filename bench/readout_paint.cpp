// What the alignment readout costs while a link test runs: the real program on the Qt host
// against the simulator's 85 % link (the test goes on by hand), measured for a while without the
// readout, with it at its first size and with it full screen.
//
//   readout_paint [seconds per phase]
//
// Per cycle: from the dialog telling its observers of the cycle to the end of the window's
// paint; and the paint alone. Per phase: the process's CPU time (every thread, the simulator's
// included) against the wall time. QT_QPA_PLATFORM decides where it draws (offscreen unless
// set; xcb under Xvfb puts the X server's share outside this process).
#include "bench/bench_support.h"
#include "platform/qt/qt_host.h"
#include "platform/qt/readout_window.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>

#include <filesystem>

#include <sys/resource.h>
#include <unistd.h>

using namespace bench;

namespace {

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

// Stamps every cycle as the dialog reports it and every paint of the readout, start and end.
class Stamps final : public QObject, public ILinkTestObserver {
public:
    void TestStarted(const LinkHistory&) override {}
    void Cycle(const LinkHistory&) override {
        m_cycle = SteadyClock::now();
        ++cycles;
    }
    void TestEnded(const LinkHistory&) override {}

    // The filter paints the window itself so that the end of its paint can be stamped.
    bool eventFilter(QObject* target, QEvent* e) override {
        if (e->type() != QEvent::Paint)
            return false;
        const auto start = SteadyClock::now();
        target->event(e); // QObject::event is public; the widget's own runs
        const auto end = SteadyClock::now();
        paintMs.push_back(Ms(end - start));
        if (m_cycle) {
            latencyMs.push_back(Ms(end - *m_cycle));
            m_cycle.reset();
        }
        return true;
    }
    void Clear() {
        cycles = 0;
        paintMs.clear();
        latencyMs.clear();
        m_cycle.reset();
    }

    std::size_t cycles = 0;
    std::vector<double> paintMs, latencyMs;

private:
    std::optional<SteadyClock::time_point> m_cycle;
};

ReadoutWindow* Readout() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* r = dynamic_cast<ReadoutWindow*>(w))
            return r;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qtApp(argc, argv);
    QtHost host(ProgramResources());
    CLinkControlApp app;
    app.SetHost(&host);
    app.m_pszAppName = "Quillmere";
    auto store = std::make_shared<MemoryProfileStore>();
    store->Write("Ports", "COM1", "sim:power=on,link=85");
    store->Write("Dialup", "Service", "none");
    app.SetProfileStore(store);
    // The test it cancels at the end is recorded: not among the user's records.
    const std::filesystem::path records =
        std::filesystem::temp_directory_path() / ("qm-readout-paint-" + std::to_string(::getpid()));
    app.SetLinkRecords(LinkRecordStore(records));
    static const char* args[] = {"/usr/bin/Quillmere"};
    app.SetStartup(1, args);

    Stamps stamps;
    int failed = 0;
    QTimer::singleShot(0, [&] {
        auto& dlg = *static_cast<CLinkControlDialog*>(app.m_pMainWnd);
        dlg.AddLinkObserver(stamps);
        std::printf("Alignment readout, Qt host (%s), %d s per phase, link test at 85 %%\n",
                    qPrintable(QApplication::platformName()), seconds);
        std::printf("%-12s %7s %7s %9s %9s %9s %9s\n", "phase", "cycles", "paints", "lat med",
                    "lat p99", "paint med", "CPU %");
        for (const char* phase : {"none", "window", "full screen"}) {
            const std::string p = phase;
            if (p == "window") {
                dlg.OnSysCommand(IDM_ALIGNMENT, 0);
                Readout()->installEventFilter(&stamps);
            } else if (p == "full screen") {
                // Without a window manager (Xvfb) nobody grants full screen: the size is set.
                Readout()->showFullScreen();
                Readout()->setGeometry(Readout()->screen()->geometry());
            }
            // A phase starts a second after its change, with what that brought settled.
            QEventLoop settle;
            QTimer::singleShot(1000, &settle, &QEventLoop::quit);
            settle.exec();
            stamps.Clear();
            const double cpu = CpuSeconds();
            const auto wall = SteadyClock::now();
            QEventLoop run;
            QTimer::singleShot(seconds * 1000, &run, &QEventLoop::quit);
            run.exec();
            const double used = CpuSeconds() - cpu, took = Ms(SteadyClock::now() - wall) / 1000;
            const std::size_t cycles = stamps.cycles;
            std::printf("%-12s %7zu %7zu %9.2f %9.2f %9.3f %9.1f\n", phase, cycles,
                        stamps.paintMs.size(), Median(stamps.latencyMs),
                        Percentile(stamps.latencyMs, 0.99), Median(stamps.paintMs),
                        100 * used / took);
            if (p != "none" && Readout()) {
                const QSize s = Readout()->size();
                std::printf("%-12s window %dx%d\n", "", s.width(), s.height());
            }
            failed |= cycles == 0 || (p != "none" && stamps.latencyMs.empty());
        }
        // The picture itself, worked out from two minutes of the fastest cycles.
        LinkHistory full;
        full.Start();
        for (std::uint32_t t = 0; t <= LinkHistory::kSpanMs; t += 90)
            full.Add({t, 200 + int(t / 90 % 56)});
        std::vector<double> computeUs;
        for (int i = 0; i < 200; ++i) {
            const auto start = SteadyClock::now();
            const ReadoutPicture picture = ReadoutFor(full, LoadResourceString);
            computeUs.push_back(Us(SteadyClock::now() - start));
            failed |= picture.points.size() != full.Samples().size();
        }
        std::printf("picture of %zu cycles: median %.1f us, p99 %.1f us\n", full.Samples().size(),
                    Median(computeUs), Percentile(computeUs, 0.99));
        dlg.EndDialog(IDCANCEL);
    });
    app.InitInstance();
    std::filesystem::remove_all(records);
    if (failed)
        std::fprintf(stderr, "readout_paint: a phase saw no cycle or no painted cycle\n");
    return failed;
}
