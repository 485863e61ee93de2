// Opening and closing the selected port for a worker, and the end of a worker that failed.
#include "dialog/link_control_dialog.h"
#include "link/port_map.h"
#include "link/port_open.h"
#include "link/worker_support.h"
#include "platform/dialog_host.h"
#include "platform/process.h"
#include "platform/win_app.h"
#include "platform/win_thread.h"
#include "res/resource.h"

#include <atomic>
#include <cstdio>

namespace {
// The handle value only says "a port is open"; each open gets a new one.
std::atomic<HANDLE> g_nextHandle{1};
} // namespace

bool CLinkControlDialog::OpenPort(bool bReport, std::unique_ptr<ISerialPort>& port) {
    const std::string portValue = ResolveComPort(AfxGetApp()->Profile(), m_nComPort);
    std::shared_ptr<CancelToken> cancel = CurrentCancelToken();
    OpenResult opened = OpenComPort(portValue, cancel);
    if (!opened.port) {
        const std::string name = "COM" + ComPortDigit(m_nComPort);
        std::fprintf(stderr, "Quillmere: %s (%s) is not available: %s\n", name.c_str(),
                     portValue.c_str(), opened.reason.c_str());
        if (bReport) {
            SetDlgItemText(IDC_STATUS, "FEHLER: Serieller Port " + name + ": ist nicht verfügbar");
            const std::string tip =
                portValue.empty() ? opened.reason : portValue + ": " + opened.reason;
            CallOnUi([&] { Host().SetToolTip(*this, IDC_STATUS, tip); });
        }
        return false;
    }
    port = StopAtCancel(std::move(opened.port), std::move(cancel));
    const HANDLE handle = g_nextHandle.fetch_add(1);
    CallOnUi([&] {
        m_hPort = handle;
        Host().SetToolTip(*this, IDC_STATUS, "");
    });
    return true;
}

void CLinkControlDialog::ClosePort(std::unique_ptr<ISerialPort>& port) {
    port.reset();
    CallOnUi([&] { m_hPort = INVALID_HANDLE_VALUE; });
}

void CLinkControlDialog::FatalError(const std::string& text) {
    MessageBox(text, MB_OK);
    ExitProcess(1);
}
