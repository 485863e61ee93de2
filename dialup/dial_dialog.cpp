#include "dialup/dial_dialog.h"

#include "platform/cancel_token.h"
#include "platform/dialog_host.h"
#include "platform/ui_queue.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "res/resources.h"

#include <utility>

CDialDialog::CDialDialog(IDialupService& service, std::string entry, CDialog& parent)
    : CDialog(parent.Host(), LoadDialogTemplate(IDD_DIAL), &parent), m_service(service),
      m_strEntry(std::move(entry)) {}

// A connected dial may be followed at once by the end of the process: the worker is joined here,
// so that no thread is cut short.
CDialDialog::~CDialDialog() = default;

bool CDialDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_DIAL_ENTRY, m_strEntry);
    SetDlgItemText(IDC_DIAL_STATUS, LoadResourceString(IDS_DIAL_CONNECTING));
    m_pDialThread = WorkerThread::Start([this](const auto& cancel) { Dial(cancel); });
    if (!m_pDialThread)
        DialFinished(DialOutcome::Fail(LoadResourceString(IDS_DIAL_NOT_STARTED)));
    return true;
}

// Runs on the worker. After its last call to the UI thread it touches nothing of the dialog.
void CDialDialog::Dial(const std::shared_ptr<CancelToken>& cancel) {
    const DialProgress progress = [this](const std::string& text) {
        try {
            SetDlgItemText(IDC_DIAL_STATUS, text);
        } catch (const WorkerCancelled&) {
            // The service sees the cancel itself and returns; it must not unwind halfway.
        }
    };
    const DialOutcome outcome = m_service.Dial(m_strEntry, *cancel, progress);
    CallOnUi(Host(), [this, &outcome] { DialFinished(outcome); });
}

void CDialDialog::DialFinished(const DialOutcome& outcome) {
    m_bDialEnded = true;
    switch (outcome.kind) {
    case DialOutcome::Connected:
        EndDialog(IDOK);
        break;
    case DialOutcome::Cancelled:
        EndDialog(IDCANCEL);
        break;
    case DialOutcome::Failed:
        SetDlgItemText(IDC_DIAL_STATUS, outcome.error);
        if (!outcome.detail.empty())
            Host().SetToolTip(*this, IDC_DIAL_STATUS, outcome.detail);
        SetDlgItemText(IDCANCEL, LoadResourceString(IDS_DIAL_CLOSE));
        break;
    }
}

void CDialDialog::OnCancel() {
    // Stopping the dial returns once the service has let go of what it started.
    if (m_pDialThread && !m_bDialEnded)
        m_pDialThread->CancelAndJoin();
    EndDialog(IDCANCEL);
}

bool RunDialDialog(const std::shared_ptr<IDialupService>& service, CDialog& owner,
                   const std::string& entry) {
    CDialDialog dlg(*service, entry, owner);
    return dlg.DoModal() == IDOK;
}
