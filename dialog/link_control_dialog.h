// The main dialog: every piece of the program's state, the settings it edits and the operations
// its buttons start. The transceiver protocol itself lives in link/, the dial-up services in
// dialup/; the dialog starts them, shows what they report and decides what comes next.
#pragma once

#include "dialog/alignment_readout.h"
#include "dialog/alignment_tone.h"
#include "dialog/dialog_state.h"
#include "dialog/link_control_context.h"
#include "dialog/link_protocol.h"
#include "dialog/phone_readout.h"
#include "link/link_history.h"
#include "link/port_discovery.h"
#include "platform/dialog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CancelToken;
class ILinkReporter;
class WorkerThread;
struct LinkPort;

// The dialog's view of the serial port: a job holds it open, or nobody does.
enum class PortState { Closed, Open };

class CLinkControlDialog : public CDialog {
public:
    explicit CLinkControlDialog(LinkControlContext context);
    ~CLinkControlDialog() override;

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnSysCommand(unsigned nID, std::intptr_t lParam) override;
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

    // The transceiver link: each button starts its job, or cancels it while it runs.
    void OnConfigure();
    void OnTest();
    void ConfigureFinished(bool bSuccess);
    void TestFinished(bool bSuccess);
    // One cycle of the running link test, on the UI thread.
    void LinkCycle(LinkSample sample);
    // The link test's model, and who follows it (the tone, the readout); an observer outlives
    // the dialog or is never added.
    const LinkHistory& History() const { return m_linkHistory; }
    void AddLinkObserver(ILinkTestObserver& observer);
    // The recorded tests the "Protokoll" window lists, and what makes their PDF (null: none;
    // it outlives the dialog). Without them the list is empty.
    void SetLinkRecords(LinkRecordStore records, IReportPrinter* printer) {
        m_protocol.SetRecords(std::move(records), printer);
    }
    // Shows text in a message box, then ends the program with exit code 1.
    void FatalError(const std::string& text);

    // "Anschlüsse...": which device stands behind each COM port.
    void OnPorts();
    // "Ausrichtton" (Ctrl+T): the tone that follows the link test, on or off.
    void OnAlignmentTone();
    // "Auf dem Telefon anzeigen...": the readout in a phone's browser while its dialog is open.
    void OnPhone();

    // The dial-up connection.
    // Looks the connection up at once; for the start, before the dialog shows.
    bool FindConnection();
    void OnConnect();

    // The last step of the initialisation: hang-up mode, automatic sequence or manual mode.
    void DecideStartMode();

    // The code the program ends with once the dialog has closed: set where the dialog itself
    // decides to end the program (after "/d", the automatic dial, a fatal error).
    int ExitCode() const { return m_nExitCode.value_or(0); }

    // What the dialog is doing; its controls show ControlsFor(State()).
    DialogState State() const;
    // The settings as edited, which the next operation uses.
    int ComPort() const { return m_nComPort; }
    int Baudrate() const { return m_nBaudrate; }
    int Sensitivity() const { return m_nSensitivity; }
    const std::string& RasLinkName() const { return m_strRasLinkName; }
    const std::string& RunProgram() const { return m_strRunProgram; }
    std::uint8_t RunInvisible() const { return m_bRunInvisible; }
    HRASCONN RasConn() const { return m_hRasConn; }
    PortState Port() const { return m_hPort; }

protected:
    const MessageMap& GetMessageMap() const override;

private:
    // Puts the dialog into the states tests start from.
    friend struct CLinkControlDialogTestPeer;
    class JobReporter;
    using DialupWork = std::function<std::optional<HRASCONN>(const CancelToken& cancel)>;
    using DialupEnd = void (CLinkControlDialog::*)(std::optional<HRASCONN> found);

    void RunOnDialupWorker(Activity activity, DialupWork work, DialupEnd end);
    void HangUpFinished(std::optional<HRASCONN> found);
    void DialFinished(std::optional<HRASCONN> found);

    // The bytes behind an edit box. The boxes hold Unicode, so bytes that are not UTF-8 (a
    // name or path in Latin-1) come back changed although nobody touched them: while the box
    // shows what it showed for them, the bytes themselves are the value.
    struct BoxText {
        std::string bytes;
        std::string shown;
    };
    void ShowInBox(int id, std::string& field, BoxText& box);
    std::string TextOfBox(int id, const BoxText& box);

    void MarkDirty();
    // Controls a step sets even where they show that already, as the trace always had them.
    enum Resend : unsigned {
        kResendNone = 0,
        kResendSave = 1,
        kResendConfigureEnabled = 2,
        kResendTestEnabled = 4,
        kResendConnectEnabled = 8,
        kResendConnectText = 16,
        // A job's start disables IDC_SAVE and IDC_CONNECT, clean or withheld as they may be.
        kResendJobStart = kResendSave | kResendConnectEnabled,
    };
    // Sets the controls whose state ControlsFor(State()) changed since the last call, in the
    // template's order, and those in resend.
    void ApplyControls(unsigned resend = kResendNone);
    // Stops a running configuration or link test as its cancel button does, and joins the
    // dial-up worker.
    void StopRunningWorker();
    // Closes the dialog; the program then ends with code.
    void EndProgram(int code);
    // The selected port as the jobs need it.
    LinkPort SelectedPort() const;
    std::string TableString(int id) const;
    // False, with the item disabled and the reason beside it, where the host has no sound.
    bool SetToneOn(bool on);

    // The device behind the selected port, in the port list's and the status line's tooltips;
    // the status line's tooltip keeps a job's detail under it.
    void ShowPortToolTips();
    void ShowStatusToolTip();
    void StartDeviceWatch();

    HRASCONN m_hRasConn = 0;
    // The running jobs; UI thread only. Empty when none runs.
    std::unique_ptr<WorkerThread> m_pConfigureThread;
    std::unique_ptr<WorkerThread> m_pTestThread;
    // The hang-up or lookup the connection button started; UI thread only.
    std::unique_ptr<WorkerThread> m_pDialupThread;
    // Waits for serial devices to come or go, where the system lists them; UI thread only.
    std::unique_ptr<WorkerThread> m_pDeviceWatchThread;
    int m_hIcon;
    bool m_bDirty = false;
    int m_nBaudrate = 3;
    int m_nComPort = 0;
    int m_nSensitivity = 3;
    // How the running link test goes, for its record's end.
    bool m_bTestPortOpened = false;
    bool m_bTestTurnedManual = false;
    bool m_bTestCancelled = false;
    std::string m_strRasLinkName;
    std::string m_strRunProgram;
    // The stored value's low byte, written back as it was loaded until the box is clicked.
    std::uint8_t m_bRunInvisible = 0;
    PortState m_hPort = PortState::Closed;
    bool m_bAutoMode = false;
    // The rest of State(); see DialogState.
    Activity m_activity = Activity::Idle;
    bool m_bConnected = false;
    bool m_bConnectWithheld = false;
    ControlStates m_shown; // as last applied

    LinkControlContext m_context;
    BoxText m_rasLinkNameBox;
    BoxText m_runProgramBox;
    std::vector<SerialDevice> m_devices; // as the discovery last listed them
    std::string m_strPortToolTip;
    std::string m_strStatusDetail;
    LinkHistory m_linkHistory;
    std::vector<ILinkTestObserver*> m_linkObservers;
    std::string m_strQualityToolTip; // as last shown, so that a steady link sets it once
    AlignmentTone m_tone;
    AlignmentReadout m_readout;
    PhoneReadout m_phone;
    LinkProtocol m_protocol;
    std::optional<int> m_nExitCode;
    // Lets work posted to the UI thread see whether the dialog is still there.
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
};

// Where the minimized window draws its icon: centred, rounding toward zero.
CSize IconOrigin(CSize client, CSize icon);
