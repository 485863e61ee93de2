// The dialog's window as the Win32 host has it; asked on the UI thread, since the system's dial
// dialog is opened from a worker.
#include "platform/native_window.h"

#include "platform/ui_queue.h"
#include "platform/win32/win32_host.h"
#include "platform/win_app.h"

void* NativeWindowOf(CDialog* dialog) {
    CWinApp* app = AfxGetApp();
    auto* host = app && dialog ? dynamic_cast<Win32Host*>(&app->Host()) : nullptr;
    if (!host)
        return nullptr;
    std::uintptr_t hwnd = 0;
    CallOnUi([&] { hwnd = host->WindowOf(*dialog); });
    return reinterpret_cast<void*>(hwnd);
}
