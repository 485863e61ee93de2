// The main dialog: every piece of the program's state, the settings it edits and the operations
// its buttons start. Methods of the transceiver link live in link/, those of the dial-up
// connection in dialup/.
#pragma once

#include "dialup/ras.h"
#include "platform/afx_types.h"
#include "platform/dialog.h"

#include <memory>
#include <string>

class CWinThread;
class ISerialPort;

class CLinkControlDialog : public CDialog {
public:
    explicit CLinkControlDialog(CDialog* pParent = nullptr);
    ~CLinkControlDialog() override;

    HRASCONN m_hRasConn;
    CWinThread* m_pConfigureThread; // not owned: the thread object lives until its thread ends
    CWinThread* m_pTestThread;
    int m_hIcon;
    BYTE m_bDirty = false;
    int m_nBaudrate = 3;
    int m_nComPort = 0;
    int m_nSensitivity = 3;
    CString m_strRasLinkName;
    CString m_strRunProgram;
    BYTE m_bRunInvisible = 0;
    HANDLE m_hPort;
    BYTE m_bAutoMode;

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnSysCommand(UINT nID, LPARAM lParam) override;
    void OnPaint() override;
    int OnQueryDragIcon() const { return m_hIcon; }
    void OnHelp() override;

    // Settings editing.
    void OnSelchangeComPort();
    void OnSelchangeBaudrate();
    void OnSelchangeSensitivity();
    void OnChangeRasLinkName();
    void OnChangeRunProgram();
    void OnBrowse();
    void OnRunInvisible();
    void OnSave();

    // The transceiver link (link/).
    void OnConfigure();
    void OnTest();
    // Opens the selected port for the calling worker, which owns it from then on; m_hPort shows
    // that a port is open. With bReport a failure is shown in the status line.
    bool OpenPort(bool bReport, std::unique_ptr<ISerialPort>& port);
    // Closes the worker's port and sets m_hPort back.
    void ClosePort(std::unique_ptr<ISerialPort>& port);
    [[noreturn]] void FatalError(const std::string& text);
    static UINT ConfigureThreadProc(void* pParam);
    void ConfigureFinished(bool bSuccess);
    static UINT TestThreadProc(void* pParam);
    void TestFinished(bool bSuccess);

    // The dial-up connection (dialup/).
    bool FindConnection();
    void OnConnect();

    // The last step of the initialisation: hang-up mode, automatic sequence or manual mode.
    void DecideStartMode();

protected:
    const MessageMap& GetMessageMap() const override;

private:
    void MarkDirty();
    void EnableSettingsControls(bool enable);
    // Stops a running configuration or link test as its cancel button does.
    void StopRunningWorker();
};

// Where the minimized window draws its icon: centred, rounding toward zero.
CSize IconOrigin(CSize client, CSize icon);
