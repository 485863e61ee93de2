// Start-up on Windows: the application object, the dialogs on the system's dialog manager, and
// the end of the process.
#include "app/link_control_app.h"
#include "platform/tracing_host.h"
#include "platform/ui_queue.h"
#include "platform/win32/arguments.h"
#include "platform/win32/win32_host.h"
#include "platform/win_thread.h"
#include "res/resources.h"

#include <cstdio>
#include <optional>

#include "platform/windows_api.h"

CLinkControlApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::vector<std::string> args = ProgramArguments();
    const std::vector<const char*> argv = ArgvOf(args);
    theApp.SetStartup(static_cast<int>(args.size()), argv.data());

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    if (!::InitCommonControlsEx(&controls))
        std::fprintf(stderr, "Quillmere: InitCommonControlsEx failed\n");

    // "/d" needs no branch of its own here: the dialog hangs up and ends the process in its
    // initialisation, before it is shown.
    Win32Host win32Host(ProgramResources());
    std::optional<TracingHost> tracing;
    IDialogHost& host = TracedIfRequested(win32Host, tracing);
    SetUi(&host);
    theApp.SetHost(&host);
    theApp.InitInstance();

    // After the main dialog has closed: no worker outlives it, and a normal close exits 0.
    CancelAllWorkers();
    ReapFinishedThreads();
    SetUi(nullptr);
    return 0;
}
