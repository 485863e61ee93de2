// The dial dialog, the program's counterpart of the system's dial-up dialog: modal to the main
// dialog, it dials the entry at once on a worker thread and shows the service's progress. It
// closes by itself when the connection is up; after a failure it shows the service's sentence
// and waits until the user closes it; "Abbrechen" stops the dial.
#pragma once

#include "dialup/dialup_service.h"
#include "platform/dialog.h"

#include <cstdint>
#include <memory>
#include <string>

class CWinThread;

class CDialDialog : public CDialog {
public:
    CDialDialog(IDialupService& service, std::string entry, CDialog* pParent = nullptr);
    ~CDialDialog() override;

    bool OnInitDialog() override;
    void OnOK() override {} // Enter must not pass for "connected"
    void OnCancel() override;

private:
    static UINT DialThreadProc(void* pParam);
    void DialFinished(const DialOutcome& outcome);

    IDialupService& m_service;
    const std::string m_strEntry;
    CWinThread* m_pDialThread = nullptr; // UI thread only; empty once the dial has ended
    std::uint64_t m_dialThreadId = 0;
};

// What the bound dial function does: shows the dial dialog on the UI thread, whichever thread
// asks, and answers whether the connection was established.
bool RunDialDialog(const std::shared_ptr<IDialupService>& service, CDialog* owner,
                   const std::string& entry);
