// The dial-up connection: finding the named connection, dialling or hanging it up, and starting
// the follow-up program after a dial.
#include "dialog/link_control_dialog.h"
#include "dialup/entry_name.h"
#include "res/resource.h"

bool CLinkControlDialog::FindConnection() {
    m_hRasConn = 0;
    if (!m_context.dialup.RasEnumConnections)
        return false;
    std::vector<RASCONN> connections;
    if (!m_context.dialup.RasEnumConnections(connections))
        return false; // a service that cannot tell counts as no connection
    for (const RASCONN& conn : connections)
        if (EntryNamesEqual(m_strRasLinkName, conn.szEntryName)) {
            m_hRasConn = conn.hrasconn;
            return true;
        }
    return false;
}

// On the UI thread, also when the automatic sequence dials: the dialog's state belongs to it,
// and the dial dialog is modal to the main dialog either way.
void CLinkControlDialog::OnConnect() {
    const DialupFunctions& dialup = m_context.dialup;
    if (m_hRasConn != 0) {
        if (dialup.RasHangUp) {
            SetDlgItemText(IDC_STATUS, "Trenne Verbindung...");
            dialup.RasHangUp(m_hRasConn);
            SetDlgItemText(IDC_STATUS, "");
            if (!FindConnection()) {
                GetDlgItem(IDC_CONFIGURE).EnableWindow(true);
                GetDlgItem(IDC_TEST).EnableWindow(true);
                SetDlgItemText(IDC_CONNECT, "Verbinden");
            }
        }
    } else if (dialup.RasDialDlg && dialup.RasDialDlg(*this, m_strRasLinkName)) {
        if (!m_strRunProgram.empty() &&
            !(m_context.startFollowUp &&
              m_context.startFollowUp(m_strRunProgram, m_bRunInvisible != 0))) {
            FatalError("Kann " + m_strRunProgram + " nicht ausführen!\n");
            return;
        }
        FindConnection();
        GetDlgItem(IDC_CONFIGURE).EnableWindow(false);
        GetDlgItem(IDC_TEST).EnableWindow(false);
        SetDlgItemText(IDC_CONNECT, "Trennen");
        if (m_bAutoMode) {
            EndProgram(0);
            return;
        }
    }
    m_bAutoMode = false;
}
