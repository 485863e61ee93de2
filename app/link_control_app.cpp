#include "app/link_control_app.h"

#include "dialog/link_control_dialog.h"
#include "dialup/service_binding.h"

// No application name: the program is named after the executable it was started as, and so
// are its settings.
CLinkControlApp::CLinkControlApp() = default;

bool CLinkControlApp::InitInstance() {
    SetRegistryKey("Talvenmark");
    // No sockets and no 3D-controls switch exist here; both start-up calls have no counterpart.
    BindDialupFunctions(Profile());

    CLinkControlDialog dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return false;
}
