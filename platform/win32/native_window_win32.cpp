// The dialog's window as the Win32 host has it; asked on the UI thread, since the system's dial
// dialog is opened from a worker.
#include "platform/native_window.h"

#include "platform/tracing_host.h"
#include "platform/ui_queue.h"
#include "platform/win32/win32_host.h"
#include "platform/win_app.h"

void* NativeWindowOf(CDialog* dialog) {
    CWinApp* app = AfxGetApp();
    IDialogHost* outer = app && dialog ? &app->Host() : nullptr;
    // With the trace on, the Win32 host runs inside a tracing one.
    if (auto* tracing = dynamic_cast<TracingHost*>(outer))
        outer = &tracing->Inner();
    auto* host = dynamic_cast<Win32Host*>(outer);
    if (!host)
        return nullptr;
    std::uintptr_t hwnd = 0;
    CallOnUi([&] { hwnd = host->WindowOf(*dialog); });
    return reinterpret_cast<void*>(hwnd);
}
