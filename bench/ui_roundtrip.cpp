// Worker to UI control call round trip: a worker thread of the real program sets the status
// line (SetDlgItemText, carried out on the UI thread before the call returns) over and over,
// with the main dialog running in the headless host or in the Qt host (offscreen).
// References, measured in the same run: a bare condition-variable ping-pong between two
// threads (what any post-and-wait costs on this machine), and in Qt a blocking queued call of
// an empty function (what Qt's own cross-thread call costs).
//
//   ui_roundtrip headless|qt [calls]    (default 20000)
#include "bench/bench_support.h"
#include "platform/qt/qt_host.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QApplication>
#include <QMetaObject>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>

using namespace bench;

namespace {

// A worker's status-line calls, timed one by one; from a thread that is not the UI thread.
std::vector<double> MeasureCalls(CLinkControlDialog* dlg, int calls) {
    std::vector<double> us;
    us.reserve(static_cast<size_t>(calls));
    std::atomic<bool> done{false};
    auto worker = WorkerThread::Start([&](const auto&) {
        const std::string texts[2] = {"Prüfe Link-Qualität...", "Der Laser ist eingeschaltet"};
        for (int i = 0; i < calls; ++i) {
            const auto start = SteadyClock::now();
            dlg->SetDlgItemText(IDC_STATUS, texts[i & 1]);
            us.push_back(Us(SteadyClock::now() - start));
        }
        done = true;
    });
    // Joined when it has made its calls: a join is no cancel of a worker that has ended.
    while (!done)
        std::this_thread::yield();
    worker->CancelAndJoin();
    return us;
}

// Two threads handing a turn to each other: the floor of any post-and-wait.
std::vector<double> PingPong(int rounds) {
    std::mutex m;
    std::condition_variable cv;
    int turn = 0; // 1: the other thread's, 0: ours
    bool stop = false;
    std::thread other([&] {
        std::unique_lock lock(m);
        for (;;) {
            cv.wait(lock, [&] { return turn == 1 || stop; });
            if (stop)
                return;
            turn = 0;
            cv.notify_all();
        }
    });
    std::vector<double> us;
    us.reserve(static_cast<size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = SteadyClock::now();
        std::unique_lock lock(m);
        turn = 1;
        cv.notify_all();
        cv.wait(lock, [&] { return turn == 0; });
        lock.unlock();
        us.push_back(Us(SteadyClock::now() - start));
    }
    {
        std::lock_guard lock(m);
        stop = true;
    }
    cv.notify_all();
    other.join();
    return us;
}

void Print(const char* what, const std::vector<double>& us, double refMedian, double refP99) {
    const double med = Median(us);
    const double p99 = Percentile(us, 0.99);
    std::printf("%-44s %9.1f %9.1f %9.1f", what, med, p99, Percentile(us, 1.0));
    if (refMedian > 0)
        std::printf(" %8.2f %8.2f", med / refMedian, p99 / refP99);
    std::printf("\n");
}

void Header(const char* host, int calls) {
    std::printf("Worker -> UI control call round trip, %s host, %d calls (us)\n", host, calls);
    std::printf("%-44s %9s %9s %9s %8s %8s\n", "", "median", "p99", "max", "med/ref", "p99/ref");
}

int Headless(int calls) {
    Header("headless", calls);
    const auto ref = PingPong(calls);
    Print("reference: condition-variable ping-pong", ref, 0, 0);
    std::vector<double> us;
    {
        HeadlessProgram program("");
        us = MeasureCalls(&program.Dialog(), calls);
    }
    Print("SetDlgItemText from a worker (CallOnUi)", us, Median(ref), Percentile(ref, 0.99));
    std::printf("targets: median <= 50 us, p99 <= 1000 us\n");
    return 0;
}

int QtHostRun(int argc, char** argv, int calls) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qtApp(argc, argv);
    QtHost host(ProgramResources());
    CLinkControlApp app;
    app.SetHost(&host);
    app.m_pszAppName = "Quillmere";
    auto store = std::make_shared<MemoryProfileStore>();
    store->Write("Ports", "COM1", ""); // nothing to probe: the program starts in manual mode
    store->Write("Dialup", "Service", "none");
    app.SetProfileStore(store);
    static const char* args[] = {"/usr/bin/Quillmere"};
    app.SetStartup(1, args);

    Header("Qt (offscreen)", calls);
    std::vector<double> ref, bare, us;
    std::thread driver([&] {
        // Until the main dialog is on screen.
        for (;;) {
            bool shown = false;
            CallOnUi(host, [&] { shown = host.TopWindow() != nullptr; });
            if (shown)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ref = PingPong(calls);
        bare.reserve(static_cast<size_t>(calls));
        for (int i = 0; i < calls; ++i) {
            const auto start = SteadyClock::now();
            QMetaObject::invokeMethod(
                qApp, [] {}, Qt::BlockingQueuedConnection);
            bare.push_back(Us(SteadyClock::now() - start));
        }
        CLinkControlDialog* dlg = nullptr;
        CallOnUi(host, [&] { dlg = static_cast<CLinkControlDialog*>(app.m_pMainWnd); });
        us = MeasureCalls(dlg, calls);
        CallOnUi(host, [&] { dlg->EndDialog(IDCANCEL); });
    });
    app.InitInstance();
    driver.join();
    Print("reference: condition-variable ping-pong", ref, 0, 0);
    Print("reference: Qt blocking queued call, empty", bare, Median(ref), Percentile(ref, 0.99));
    Print("SetDlgItemText from a worker (CallOnUi)", us, Median(ref), Percentile(ref, 0.99));
    std::printf("SetDlgItemText / Qt blocking queued call: median %.2f, p99 %.2f\n",
                Median(us) / Median(bare), Percentile(us, 0.99) / Percentile(bare, 0.99));
    std::printf("targets: median <= 50 us, p99 <= 1000 us\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool qt = argc > 1 && std::strcmp(argv[1], "qt") == 0;
    const int calls = argc > 2 ? std::max(100, std::atoi(argv[2])) : 20000;
    return qt ? QtHostRun(argc, argv, calls) : Headless(calls);
}
