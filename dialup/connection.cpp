// Finding, dialling and hanging up the named connection, and starting the follow-up program.
#include "dialog/link_control_dialog.h"
#include "dialup/entry_name.h"
#include "dialup/follow_up.h"
#include "platform/process.h"
#include "platform/ui_queue.h"
#include "res/resource.h"

bool CLinkControlDialog::FindConnection() {
    m_hRasConn = 0;
    if (!g_pfnRasEnumConnections)
        return false;
    std::vector<RASCONN> connections;
    if (!g_pfnRasEnumConnections(connections))
        return false; // a service that cannot tell counts as no connection
    for (const RASCONN& conn : connections)
        if (EntryNamesEqual(m_strRasLinkName, conn.szEntryName)) {
            m_hRasConn = conn.hrasconn;
            return true;
        }
    return false;
}

void CLinkControlDialog::OnConnect() {
    // The automatic sequence calls this from the link-test worker. The dialog's state belongs to
    // the UI thread, so the whole step runs there, in order with the user's clicks; the dial
    // dialog is modal to the main dialog either way.
    if (!Ui().IsUiThread()) {
        CallOnUi([this] { OnConnect(); });
        return;
    }
    if (m_hRasConn != 0) {
        if (g_pfnRasHangUp) {
            SetDlgItemText(IDC_STATUS, "Trenne Verbindung...");
            g_pfnRasHangUp(m_hRasConn);
            SetDlgItemText(IDC_STATUS, "");
            if (!FindConnection()) {
                GetDlgItem(IDC_CONFIGURE).EnableWindow(true);
                GetDlgItem(IDC_TEST).EnableWindow(true);
                SetDlgItemText(IDC_CONNECT, "Verbinden");
            }
        }
    } else if (g_pfnRasDialDlg && g_pfnRasDialDlg(this, m_strRasLinkName)) {
        if (!m_strRunProgram.empty() && !StartFollowUpProgram(m_strRunProgram, m_bRunInvisible))
            FatalError("Kann " + m_strRunProgram + " nicht ausführen!\n");
        FindConnection();
        GetDlgItem(IDC_CONFIGURE).EnableWindow(false);
        GetDlgItem(IDC_TEST).EnableWindow(false);
        SetDlgItemText(IDC_CONNECT, "Trennen");
        if (m_bAutoMode)
            ExitProcess(0);
    }
    m_bAutoMode = false;
}
