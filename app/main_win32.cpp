// Start-up on Windows: the application object, the dialogs on the system's dialog manager, and
// the end of the process.
#include "app/link_control_app.h"
#include "app/link_records.h"
#include "platform/diagnostics.h"
#include "platform/text_win32.h"
#include "platform/tracing_host.h"
#include "platform/win32/arguments.h"
#include "platform/win32/win32_host.h"
#include "res/resource.h"
#include "res/resources.h"

#include <algorithm>
#include <optional>

#include "platform/windows_api.h"

namespace {

// Under Wine the desktop window belongs to a process on an X display; with that display gone
// every window fails, and a dialog says only "Invalid window handle". A hidden window, made and
// destroyed before anything else, tells it first.
bool CanOpenWindows() {
    struct Window {
        HWND hwnd = ::CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      nullptr, nullptr);
        ~Window() {
            if (hwnd)
                ::DestroyWindow(hwnd);
        }
    } probe;
    if (!probe.hwnd) {
        const DWORD error = ::GetLastError();
        DiagnoseFormat("Quillmere: no window can be made: %s",
                       error ? SystemErrorText(error).c_str() : "the system gives no reason");
    }
    return probe.hwnd != nullptr;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CLinkControlApp theApp;
    const std::vector<std::string> args = ProgramArguments();
    const std::vector<const char*> argv = ArgvOf(args);
    theApp.SetStartup(static_cast<int>(args.size()), argv.data());

    // The report needs no window; without a PDF writer here, only CSV.
    if (const auto report = ReportRequestOf(std::vector<std::string>(
            args.begin() + std::min<std::size_t>(args.size(), 1), args.end()))) {
        theApp.SetRegistryKey("Talvenmark");
        const ReportHeader header = ReportHeaderOf(theApp);
        std::string message;
        const int code = WriteLinkReport(UserLinkRecords(), *report, header, nullptr, message);
        if (code != 0)
            Diagnose(message);
        return code;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    if (!::InitCommonControlsEx(&controls))
        Diagnose("Quillmere: InitCommonControlsEx failed");

    if (!CanOpenWindows()) {
        Diagnose(LoadResourceString(IDS_NO_DISPLAY));
        return 2;
    }

    // "/d" needs no branch of its own here: the dialog hangs up and closes in its
    // initialisation, before it is shown.
    Win32Host win32Host(theApp.m_pszAppName, ProgramResources());
    std::optional<TracingHost> tracing;
    IDialogHost& host = TracedIfRequested(win32Host, tracing);
    theApp.SetHost(&host);
    theApp.InitInstance();
    // The dialog has joined its workers before it closed.
    return theApp.ExitCode();
}
