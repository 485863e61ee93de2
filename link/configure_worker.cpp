// The configuration: guide the user through switching the transceiver off and on, send the
// configuration packet at 9600 baud, check its echo, switch to the operating rate and wait until
// the transceiver stops echoing.
#include "dialog/link_control_dialog.h"
#include "link/baud_tables.h"
#include "link/transceiver_protocol.h"
#include "link/worker_support.h"
#include "platform/clock.h"
#include "platform/ui_queue.h"
#include "platform/win_thread.h"
#include "res/resource.h"

#include <cstring>

void CLinkControlDialog::OnConfigure() {
    if (!m_pConfigureThread) {
        m_pConfigureThread = AfxBeginThread(ConfigureThreadProc, this);
        EnableSettingsControls(false);
        SetDlgItemText(IDC_CONFIGURE, "Abbrechen");
        GetDlgItem(IDC_TEST).EnableWindow(false);
        GetDlgItem(IDC_CONNECT).EnableWindow(false);
        if (!m_pConfigureThread)
            ConfigureFinished(false); // no thread to be had: the operation fails at once
        return;
    }
    CWinThread* worker = m_pConfigureThread;
    m_pConfigureThread = nullptr;
    // When this returns the worker has stopped and its port is closed.
    worker->CancelAndJoin();
    m_hPort = INVALID_HANDLE_VALUE;
    ConfigureFinished(false);
    SetDlgItemText(IDC_STATUS, "");
}

UINT CLinkControlDialog::ConfigureThreadProc(void* pParam) {
    auto* dlg = static_cast<CLinkControlDialog*>(pParam);
    // The end step runs on the UI thread, so that no click lands in the middle of it, nor
    // between it and the next step of the automatic sequence.
    auto finish = [dlg](bool success) { CallOnUi([&] { dlg->ConfigureFinished(success); }); };
    std::unique_ptr<ISerialPort> port;
    try {
        if (!dlg->OpenPort(true, port)) {
            finish(false);
            return 0;
        }
        ISerialPort& p = *port;
        bool cts = false;
        Check(p.ReadCts(cts), 2, p);
        if (cts) {
            dlg->SetDlgItemText(IDC_STATUS, "Laser-Transceiver zuerst ausschalten");
            Check(p.WaitForCts(false, std::nullopt), 3, p);
        }
        dlg->SetDlgItemText(IDC_STATUS, "Laser-Transceiver einschalten");
        Check(p.WaitForCts(true, std::nullopt), 5, p);

        dlg->SetDlgItemText(IDC_STATUS, "Sende Konfigurationsdaten...");
        LineSettings line{9600};
        Check(p.SetLine(line), 8, p);
        const Timeout readTimeout = std::chrono::milliseconds(100);

        const ConfigurationPacket packet =
            MakeConfigurationPacket(dlg->m_nSensitivity, dlg->m_nBaudrate);
        Sleep(500);
        std::size_t written = 0;
        if (!p.Write(packet, written, std::nullopt) || written < 8)
            RaiseWorkerError(10, &p);
        std::uint8_t echo[8] = {};
        std::size_t received = 0;
        Check(p.Read(echo, received, readTimeout), 11, p);
        if (received < 8 || std::memcmp(echo, packet.data(), 8) != 0) {
            dlg->SetDlgItemText(IDC_STATUS, "FEHLER: Konfigurationsdaten wurden nicht empfangen");
            dlg->ClosePort(port);
            finish(false);
            return 0;
        }

        dlg->SetDlgItemText(IDC_STATUS, "Warten, bis Transceiver bereit ist...");
        line.baudRate = BaudRateTable[BaudIndex(dlg->m_nBaudrate)];
        Check(p.SetLine(line), 8, p);
        for (;;) {
            std::size_t sent = 0;
            if (!p.Write(std::span(packet).first(1), sent, std::nullopt) || sent == 0)
                RaiseWorkerError(13, &p);
            std::uint8_t answer[1] = {};
            std::size_t got = 0;
            Check(p.Read(answer, got, readTimeout), 14, p);
            if (got == 0)
                break;
        }

        dlg->SetDlgItemText(IDC_STATUS, "");
        dlg->ClosePort(port);
        finish(true);
    } catch (int code) {
        dlg->FatalError(InternalErrorText(code));
    }
    return 0;
}

void CLinkControlDialog::ConfigureFinished(bool bSuccess) {
    m_pConfigureThread = nullptr;
    EnableSettingsControls(true);
    SetDlgItemText(IDC_CONFIGURE, "Konfigurieren");
    GetDlgItem(IDC_TEST).EnableWindow(true);
    GetDlgItem(IDC_CONNECT).EnableWindow(true);
    if (bSuccess && m_bAutoMode)
        OnTest(); // the automatic sequence goes on with the link test
    else
        m_bAutoMode = false;
}
