#include "dialup/dial_dialog.h"

#include "platform/cancel_token.h"
#include "platform/ui_queue.h"
#include "platform/win_thread.h"
#include "res/resource.h"
#include "res/resources.h"

#include <utility>

CDialDialog::CDialDialog(IDialupService& service, std::string entry, CDialog* pParent)
    : CDialog(LoadDialogTemplate(IDD_DIAL), pParent), m_service(service),
      m_strEntry(std::move(entry)) {}

CDialDialog::~CDialDialog() {
    if (m_pDialThread)
        std::exchange(m_pDialThread, nullptr)->CancelAndJoin();
    else if (m_dialThreadId)
        // The dial has ended and its worker is in its last instructions: a connected dial may
        // be followed at once by the end of the process, which must not cut a thread short.
        JoinWorker(m_dialThreadId);
}

bool CDialDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_DIAL_ENTRY, m_strEntry);
    SetDlgItemText(IDC_DIAL_STATUS, "Verbindung wird hergestellt...");
    m_pDialThread = AfxBeginThread(&CDialDialog::DialThreadProc, this);
    if (m_pDialThread)
        m_dialThreadId = m_pDialThread->Id();
    else
        DialFinished(DialOutcome::Fail("Der Wählvorgang kann nicht gestartet werden."));
    return true;
}

// Runs on the worker. After its last call to the UI thread it touches nothing of the dialog,
// which may be gone by then.
UINT CDialDialog::DialThreadProc(void* pParam) {
    auto* dlg = static_cast<CDialDialog*>(pParam);
    const std::shared_ptr<CancelToken> token = CurrentCancelToken();
    const DialProgress progress = [dlg](const std::string& text) {
        try {
            dlg->SetDlgItemText(IDC_DIAL_STATUS, text);
        } catch (const WorkerCancelled&) {
            // The service sees the cancel itself and returns; it must not unwind halfway.
        }
    };
    const DialOutcome outcome = dlg->m_service.Dial(dlg->m_strEntry, *token, progress);
    CallOnUi([dlg, outcome] { dlg->DialFinished(outcome); });
    return 0;
}

void CDialDialog::DialFinished(const DialOutcome& outcome) {
    m_pDialThread = nullptr; // it ends by itself now
    switch (outcome.kind) {
    case DialOutcome::Connected:
        EndDialog(IDOK);
        break;
    case DialOutcome::Cancelled:
        EndDialog(IDCANCEL);
        break;
    case DialOutcome::Failed:
        SetDlgItemText(IDC_DIAL_STATUS, outcome.error);
        SetDlgItemText(IDCANCEL, "Schließen");
        break;
    }
}

void CDialDialog::OnCancel() {
    // Stopping the dial returns once the service has let go of what it started.
    if (m_pDialThread)
        std::exchange(m_pDialThread, nullptr)->CancelAndJoin();
    EndDialog(IDCANCEL);
}

bool RunDialDialog(const std::shared_ptr<IDialupService>& service, CDialog* owner,
                   const std::string& entry) {
    auto connected = std::make_shared<bool>(false);
    // Everything the dialog uses is copied in: should the asking worker be cancelled meanwhile,
    // it unwinds without waiting, and nothing here may point into its stack.
    CallOnUi([service, owner, entry, connected] {
        CDialDialog dlg(*service, entry, owner);
        *connected = dlg.DoModal() == IDOK;
    });
    return *connected;
}
