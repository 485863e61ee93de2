// The dial dialog, the program's counterpart of the system's dial-up dialog: modal to the main
// dialog, it dials the entry at once on a worker thread and shows the service's progress. It
// closes by itself when the connection is up; after a failure it shows the service's sentence
// and waits until the user closes it; "Abbrechen" stops the dial.
#pragma once

#include "dialup/dialup_service.h"
#include "platform/dialog.h"

#include <memory>
#include <string>

class CancelToken;
class WorkerThread;

class CDialDialog : public CDialog {
public:
    CDialDialog(IDialupService& service, std::string entry, CDialog& parent);
    ~CDialDialog() override;

    bool OnInitDialog() override;
    void OnOK() override {} // Enter must not pass for "connected"
    void OnCancel() override;

private:
    void Dial(const std::shared_ptr<CancelToken>& cancel);
    void DialFinished(const DialOutcome& outcome);

    IDialupService& m_service;
    const std::string m_strEntry;
    // UI thread only. The worker is joined when the dialog goes; once the dial has ended it is
    // in its last instructions.
    std::unique_ptr<WorkerThread> m_pDialThread;
    bool m_bDialEnded = false;
};

// What the bound dial function does: shows the dial dialog, modal to owner, and answers whether
// the connection was established. On the UI thread.
bool RunDialDialog(const std::shared_ptr<IDialupService>& service, CDialog& owner,
                   const std::string& entry);
