// The last step of the initialisation decides how the program runs: hang up and leave ("/d"),
// the automatic sequence (the port answers), or manual mode.
#include "dialog/link_control_dialog.h"
#include "link/serial_port.h"
#include "platform/process.h"
#include "platform/win_app.h"
#include "res/resource.h"

void CLinkControlDialog::DecideStartMode() {
    // Exactly "/d": a trailing blank, a second argument or a capital D start normally.
    if (AfxGetApp()->m_lpCmdLine == "/d") {
        if (FindConnection() && g_pfnRasHangUp)
            g_pfnRasHangUp(m_hRasConn);
        ExitProcess(0);
    }

    std::unique_ptr<ISerialPort> port;
    if (OpenPort(false, port)) {
        bool cts = false;
        const bool answered = port->ReadCts(cts);
        // Each worker opens the port anew.
        ClosePort(port);
        if (answered) {
            m_bAutoMode = true;
            if (cts)
                OnTest(); // already switched on: no configuration needed
            else
                OnConfigure();
        }
        return;
    }

    // The port is busy, perhaps with the connection itself: offer to hang it up.
    if (FindConnection()) {
        GetDlgItem(IDC_CONFIGURE).EnableWindow(false);
        GetDlgItem(IDC_TEST).EnableWindow(false);
        SetDlgItemText(IDC_CONNECT, "Trennen");
    }
}
