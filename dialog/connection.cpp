// The dial-up connection: finding the named connection, dialling or hanging it up, and starting
// the follow-up program after a dial.
#include "dialog/link_control_dialog.h"
#include "dialup/entry_name.h"
#include "platform/cancel_token.h"
#include "platform/diagnostics.h"
#include "platform/dialog_host.h"
#include "platform/worker_thread.h"
#include "res/resource.h"

namespace {

// The active connection named entry: the one of that very name, else the first that differs in
// case; nothing when there is none or the service cannot tell. May take as long as the service
// does.
std::optional<HRASCONN> LookUpConnection(const DialupFunctions& dialup, const std::string& entry) {
    if (!dialup.RasEnumConnections)
        return std::nullopt;
    std::vector<RASCONN> connections;
    if (!dialup.RasEnumConnections(connections))
        return std::nullopt; // a service that cannot tell counts as no connection
    const auto found =
        FindEntry(connections, entry, CaseFolded::First,
                  [](const RASCONN& conn) -> std::string_view { return conn.szEntryName; });
    if (found == connections.end())
        return std::nullopt;
    return found->hrasconn;
}

// A command line of blanks only starts nothing, as an empty one does: no program is named.
bool NamesAProgram(const std::string& commandLine) {
    return commandLine.find_first_not_of(" \t\r\n\v\f") != std::string::npos;
}

// What a message box can hold of a command line: the first characters, cut where a UTF-8
// character starts, and "…" for the rest. Text that is not UTF-8 is cut at some byte.
std::string ShownCommandLine(const std::string& commandLine) {
    constexpr int kCharacters = 100;
    int started = 0;
    for (std::size_t i = 0; i < commandLine.size(); ++i)
        if ((static_cast<unsigned char>(commandLine[i]) & 0xC0) != 0x80 && ++started > kCharacters)
            return commandLine.substr(0, i) + "…";
    return commandLine;
}

} // namespace

bool CLinkControlDialog::FindConnection() {
    const std::optional<HRASCONN> found = LookUpConnection(m_context.dialup, m_strRasLinkName);
    m_hRasConn = found.value_or(0);
    return found.has_value();
}

// The service may take seconds to answer (pppd up to its deadline twice over): the call runs on
// a worker, and its end step comes back to the UI thread as a job's does. A cancel drops the end
// step; closing the dialog joins the worker, which finishes a hang-up in flight first.
void CLinkControlDialog::RunOnDialupWorker(Activity activity, DialupWork work, DialupEnd end) {
    m_activity = activity;
    ApplyControls();
    IDialogHost& host = Host();
    m_pDialupThread =
        WorkerThread::Start([work, end, dlg = this, &host, alive = std::weak_ptr<int>(m_lifetime)](
                                const std::shared_ptr<CancelToken>& cancel) {
            const std::optional<HRASCONN> found = work(*cancel);
            host.Post([end, dlg, alive, cancel, found] {
                if (alive.lock() && !cancel->IsCancelled())
                    (dlg->*end)(found);
            });
        });
    if (!m_pDialupThread) // no thread to be had: the service is asked here, as it always was
        (this->*end)(work(CancelToken()));
}

// On the UI thread, also when the automatic sequence dials: the dialog's state belongs to it,
// and the dial dialog is modal to the main dialog either way. While the service is asked on a
// worker, a second click does nothing.
void CLinkControlDialog::OnConnect() {
    if (m_pDialupThread)
        return;
    const DialupFunctions& dialup = m_context.dialup;
    if (m_hRasConn != 0) {
        if (dialup.RasHangUp) {
            SetDlgItemText(IDC_STATUS, "Trenne Verbindung...");
            RunOnDialupWorker(
                Activity::HangingUp,
                [dialup, handle = m_hRasConn, entry = m_strRasLinkName](const CancelToken& cancel) {
                    dialup.RasHangUp(handle);
                    if (cancel.IsCancelled())
                        return std::optional<HRASCONN>(); // the dialog is closing: nobody looks
                    return LookUpConnection(dialup, entry);
                },
                &CLinkControlDialog::HangUpFinished);
        }
    } else if (dialup.RasDialDlg && dialup.RasDialDlg(*this, m_strRasLinkName)) {
        if (NamesAProgram(m_strRunProgram) &&
            !(m_context.startFollowUp &&
              m_context.startFollowUp(m_strRunProgram, m_bRunInvisible != 0))) {
            const std::string shown = ShownCommandLine(m_strRunProgram);
            if (shown != m_strRunProgram)
                DiagnoseFormat("Quillmere: cannot run the follow-up command line, in full: %s",
                               m_strRunProgram.c_str());
            FatalError("Kann " + shown + " nicht ausführen!\n");
            return;
        }
        RunOnDialupWorker(
            Activity::Dialling,
            [dialup, entry = m_strRasLinkName](const CancelToken&) {
                return LookUpConnection(dialup, entry);
            },
            &CLinkControlDialog::DialFinished);
        return; // the automatic run ends in the end step
    }
    m_bAutoMode = false;
}

void CLinkControlDialog::HangUpFinished(std::optional<HRASCONN> found) {
    m_pDialupThread.reset(); // it has ended, or ends right after its report
    SetDlgItemText(IDC_STATUS, "");
    m_hRasConn = found.value_or(0);
    m_activity = Activity::Idle;
    if (!found)
        m_bConnected = false;
    ApplyControls();
}

void CLinkControlDialog::DialFinished(std::optional<HRASCONN> found) {
    m_pDialupThread.reset(); // it has ended, or ends right after its report
    m_hRasConn = found.value_or(0);
    m_activity = Activity::Idle;
    m_bConnected = true;
    // Shown again also when the button read "Trennen" before this dial.
    ApplyControls(kResendConfigureEnabled | kResendTestEnabled | kResendConnectText);
    if (m_bAutoMode) {
        EndProgram(0);
        return;
    }
    m_bAutoMode = false;
}
