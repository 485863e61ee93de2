// Start-up: the application object, the host that shows its dialogs, and the end of the process.
#include "app/link_control_app.h"
#include "app/link_records.h"
#include "app/port_listing.h"
#include "app/usage.h"
#include "dialup/networkmanager/nm_service.h"
#include "platform/diagnostics.h"
#include "platform/headless_host.h"
#include "platform/process.h"
#include "platform/profile_store.h"
#include "platform/qt/german_qt_texts.h"
#include "platform/qt/pdf_report.h"
#include "platform/qt/qt_host.h"
#include "platform/standard_descriptors.h"
#include "platform/termination_signals.h"
#include "platform/tracing_host.h"
#include "res/resources.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

bool HasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt aborts with a terse message when it finds no display; say what to do instead.
bool DisplayAvailable() {
    return HasEnv("QT_QPA_PLATFORM") || HasEnv("DISPLAY") || HasEnv("WAYLAND_DISPLAY");
}

const char* s_programName = "";
const char* s_programPath = "";

void PrintNoDisplay(const std::string& what) {
    Diagnose(std::string(s_programName) + ": " + what + ".");
    Diagnose(
        std::string("Start it in a graphical session, under a virtual X server (xvfb-run -a ") +
        s_programPath + "), or without any display with QT_QPA_PLATFORM=offscreen.");
}

// A display that is named but cannot be opened (no X server behind DISPLAY, no Wayland socket)
// ends in Qt's fatal error, which aborts: while the application object is made, that error
// becomes the same message as no display at all and exit code 2.
class DisplayFailureGuard {
public:
    DisplayFailureGuard() { s_previous = qInstallMessageHandler(&Handle); }
    ~DisplayFailureGuard() { qInstallMessageHandler(s_previous); }
    DisplayFailureGuard(const DisplayFailureGuard&) = delete;
    DisplayFailureGuard& operator=(const DisplayFailureGuard&) = delete;

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtFatalMsg) {
            if (s_previous)
                s_previous(type, context, text);
            return;
        }
        Diagnose(std::string("Qt: ") + text.toLocal8Bit().constData());
        std::string what = "the display cannot be opened (";
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            if (HasEnv(name))
                what +=
                    std::string(what.back() == '(' ? "" : ", ") + name + "=" + std::getenv(name);
        PrintNoDisplay(what + ")");
        ExitProcess(2);
    }

    static inline QtMessageHandler s_previous = nullptr;
};

// After a termination signal: closes the topmost modal window as Escape would, again and again
// until the main dialog has gone. Each window stops what it runs as it closes: the dial dialog
// its dial, the main dialog its worker, which closes the port and lets go of its lock.
void CloseWindowsInTurn(CLinkControlApp& app) {
    if (!app.m_pMainWnd)
        return;
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
        dialog->reject();
    QTimer::singleShot(20, qApp, [&app] { CloseWindowsInTurn(app); });
}

int ExitCode(const CLinkControlApp& app, const TerminationSignals& terminations) {
    return terminations.Received() ? 128 + terminations.Received() : app.ExitCode();
}

// Ends the process with code 0 once the time is up, unless it is stopped first.
class HangUpWatchdog {
public:
    explicit HangUpWatchdog(std::chrono::seconds limit)
        : m_thread([this, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_cv.wait_for(lock, limit, [this] { return m_stop; })) {
                  Diagnose("Quillmere: the dial-up service did not answer in time");
                  ExitProcess(0);
              }
          }) {}
    ~HangUpWatchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv) {
    OpenMissingStandardDescriptors();
    // Before Qt starts its threads, since setenv is not safe beside them. Should the system bus
    // stop answering between NetworkManager's probe and Qt's Hello, libdbus gives up after 25 s
    // and Qt drops the private connection unclosed, which libdbus treats as a fatal misuse and
    // aborts on. Read by libdbus at its first warning; a value the user set stays.
    ::setenv("DBUS_FATAL_WARNINGS", "0", 0);
    CLinkControlApp theApp;
    // Before QApplication, which takes its own options out of argv.
    theApp.SetStartup(argc, argv);

    // Asking what the program does must not do it: no window, no port, no settings read.
    if (const InfoRequest info = InfoRequestOf(theApp.m_lpCmdLine); info != InfoRequest::None) {
        const std::string text =
            info == InfoRequest::Version
                ? VersionText()
                : UsageText(theApp.m_pszAppName, ProfilePath("Talvenmark", theApp.m_pszAppName));
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    // The Qt-free core knows no D-Bus: NetworkManager joins the services it can choose here,
    // before InitInstance binds the dial-up functions.
    InstallNetworkManagerBackend(theApp.Backends());

    if (theApp.m_lpCmdLine == "--list-ports") {
        // For scripts and for finding the adapter: no display, no Qt, the user's settings.
        theApp.SetRegistryKey("Talvenmark");
        IPortDiscovery* discovery = theApp.PortDiscovery();
        const std::string listing = PortListing(
            theApp.Profile(), discovery ? discovery->Devices() : std::vector<SerialDevice>());
        std::fputs(listing.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    if (const auto report =
            ReportRequestOf(std::vector<std::string>(argv + std::min(argc, 1), argv + argc))) {
        // For the installer's papers: no display, the newest tests' records.
        theApp.SetRegistryKey("Talvenmark");
        const ReportHeader header = ReportHeaderOf(theApp);
        // Qt's fonts need a GUI application; this one needs no screen.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QGuiApplication gui(argc, argv);
        QtReportPrinter printer;
        std::string message;
        const int code = WriteLinkReport(UserLinkRecords(), *report, header, &printer, message);
        if (code != 0)
            Diagnose(message);
        return code;
    }

    if (theApp.m_lpCmdLine == "/d") {
        // A script or a service unit waits for this: whatever the dial-up service does, the
        // hang-up start ends with 0 in bounded time.
        HangUpWatchdog watchdog(std::chrono::seconds(9));
        // NetworkManager's D-Bus connection needs an application object, and it must end with
        // main: one made at first use would outlive Qt's own statics and crash at exit.
        QCoreApplication core(argc, argv);
        // Hanging up needs no window: this start must work with no display at all.
        HeadlessHost headless;
        headless.BecomeUiThread();
        std::optional<TracingHost> tracing;
        IDialogHost& host = TracedIfRequested(headless, tracing);
        theApp.SetHost(&host);
        // A first signal lets the hang-up run to its end (the watchdog bounds it); a second one
        // cuts it short.
        TerminationSignals terminations([](int) {});
        theApp.InitInstance();
        return ExitCode(theApp, terminations);
    }

    s_programName = theApp.m_pszAppName.c_str();
    s_programPath = argv[0];
    if (!DisplayAvailable()) {
        PrintNoDisplay("no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)");
        return 2;
    }

    std::optional<DisplayFailureGuard> displayGuard(std::in_place);
    QApplication qtApp(argc, argv);
    displayGuard.reset();
    InstallGermanQtTexts(qtApp);
    QApplication::setApplicationName(QString::fromStdString(theApp.m_pszAppName));
    QApplication::setOrganizationName(QStringLiteral("Talvenmark"));
    QApplication::setApplicationVersion(QString::fromLatin1(GetVersionInfo().versionDotted));
    // Lets a Wayland compositor match the window to the desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.talvenmark.Quillmere"));

    QtHost qtHost(ProgramResources());
    std::optional<TracingHost> tracing;
    IDialogHost& host = TracedIfRequested(qtHost, tracing);
    theApp.SetHost(&host);
    QtReportPrinter printer;
    theApp.SetReportPrinter(&printer);
    TerminationSignals terminations(
        [&host, &theApp](int) { host.Post([&theApp] { CloseWindowsInTurn(theApp); }); });
    theApp.InitInstance();
    // The dialog has joined its workers before it closed.
    return ExitCode(theApp, terminations);
}
