#include "dialog/link_control_dialog.h"

#include "dialog/about_dialog.h"
#include "dialog/ports_dialog.h"
#include "dialup/follow_up.h"
#include "platform/cancel_token.h"
#include "platform/diagnostics.h"
#include "platform/dialog_host.h"
#include "platform/printable_text.h"
#include "platform/profile_store.h"
#include "platform/ui_queue.h"
#include "platform/win_app.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "res/resources.h"

#include <utility>

namespace {
constexpr const char* kSection = "Settings";
constexpr const char* kAlignment = "Alignment";
constexpr const char* kSaveFailed = "FEHLER: Einstellungen konnten nicht gespeichert werden";
} // namespace

CLinkControlDialog::CLinkControlDialog(LinkControlContext context)
    : CDialog(context.host, LoadDialogTemplate(IDD_MAIN)), m_hIcon(IDI_MAIN),
      m_context(std::move(context)), m_tone(m_context.host),
      m_readout(*this, m_context.host, [this](int id) { return TableString(id); }),
      m_phone([this](int id) { return TableString(id); },
              [this] { return GetDlgItemText(IDC_STATUS); }),
      m_protocol(*this, m_context.host, m_context.app, [this](int id) { return TableString(id); }) {
}

// Whatever still runs is cancelled and joined before the dialog goes: nothing touches it later.
CLinkControlDialog::~CLinkControlDialog() {
    m_pDeviceWatchThread.reset();
    m_pConfigureThread.reset();
    m_pTestThread.reset();
    m_pDialupThread.reset();
}

const MessageMap& CLinkControlDialog::GetMessageMap() const {
    using D = CLinkControlDialog;
    static const MessageMap map{
        ::OnCommand(IDC_COM_PORT, CBN_SELCHANGE, &D::OnSelchangeComPort),
        ::OnCommand(IDC_BAUDRATE, CBN_SELCHANGE, &D::OnSelchangeBaudrate),
        ::OnCommand(IDC_SENSITIVITY, CBN_SELCHANGE, &D::OnSelchangeSensitivity),
        ::OnCommand(IDC_RAS_LINK_NAME, EN_CHANGE, &D::OnChangeRasLinkName),
        ::OnCommand(IDC_RUN_PROGRAM, EN_CHANGE, &D::OnChangeRunProgram),
        ::OnCommand(IDC_BROWSE, BN_CLICKED, &D::OnBrowse),
        ::OnCommand(IDC_RUN_INVISIBLE, BN_CLICKED, &D::OnRunInvisible),
        ::OnCommand(IDC_SAVE, BN_CLICKED, &D::OnSave),
        ::OnCommand(IDC_CONFIGURE, BN_CLICKED, &D::OnConfigure),
        ::OnCommand(IDC_TEST, BN_CLICKED, &D::OnTest),
        ::OnCommand(IDC_CONNECT, BN_CLICKED, &D::OnConnect),
    };
    return map;
}

bool CLinkControlDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    IDialogHost& host = Host();
    if (host.HasSystemMenu(*this)) {
        std::vector<std::pair<unsigned, std::string>> items;
        // Where the system names its serial ports itself there is nothing to choose.
        if (m_context.discovery)
            items.emplace_back(IDM_PORTS, TableString(IDS_PORTS_MENU));
        items.emplace_back(IDM_TONE, TableString(IDS_TONE_MENU));
        items.emplace_back(IDM_ALIGNMENT, TableString(IDS_READOUT_MENU));
        items.emplace_back(IDM_PROTOCOL, TableString(IDS_PROTOCOL_MENU));
        if (m_context.webReadout)
            items.emplace_back(IDM_PHONE, TableString(IDS_PHONE_MENU));
        items.emplace_back(IDM_ABOUT, TableString(IDS_ABOUT_MENU));
        std::erase_if(items, [](const auto& item) { return item.second.empty(); });
        if (!items.empty())
            host.AppendSystemMenuSeparator(*this);
        for (const auto& [command, text] : items)
            host.AppendSystemMenuItem(*this, command, text);
        host.AddShortcut(*this, 'T', IDM_TONE);
    }
    AddLinkObserver(m_tone);
    AddLinkObserver(m_readout);
    AddLinkObserver(m_phone);
    host.SetDoubleClickCommand(*this, IDC_LINK_QUALITY, IDM_ALIGNMENT);
    // An office start stays silent, and opens no sound unless the tone was left on.
    SetToneOn(m_context.app.GetProfileInt(kAlignment, "Tone", 0) != 0);

    host.SetIcon(*this, m_hIcon, true);
    host.SetIcon(*this, m_hIcon, false);

    CWinApp* app = &m_context.app;
    m_nComPort = static_cast<int>(app->GetProfileInt(kSection, "COM Port", 0));
    GetDlgItem(IDC_COM_PORT).SetCurSel(m_nComPort);
    m_nBaudrate = static_cast<int>(app->GetProfileInt(kSection, "Baudrate", 3));
    GetDlgItem(IDC_BAUDRATE).SetCurSel(m_nBaudrate);
    m_nSensitivity = static_cast<int>(app->GetProfileInt(kSection, "Sensitivity", 3));
    GetDlgItem(IDC_SENSITIVITY).SetCurSel(m_nSensitivity);

    m_strRasLinkName = app->GetProfileString(kSection, "RAS Link Name", "");
    ShowInBox(IDC_RAS_LINK_NAME, m_strRasLinkName, m_rasLinkNameBox);
    m_strRunProgram = app->GetProfileString(kSection, "Run Program", "");
    ShowInBox(IDC_RUN_PROGRAM, m_strRunProgram, m_runProgramBox);

    m_bRunInvisible = static_cast<std::uint8_t>(app->GetProfileInt(kSection, "Run Invisible", 0));
    if (m_bRunInvisible)
        CheckDlgButton(IDC_RUN_INVISIBLE, BST_CHECKED);

    // After the edit boxes: setting their text raised their change notifications.
    m_bDirty = false;
    ApplyControls(kResendSave);

    GetDlgItem(IDC_LINK_QUALITY).SetRange(0, 256);
    host.SetMark(*this, IDC_LINK_QUALITY, kGoodMatches);

    m_bConnectWithheld = !m_context.dialup.AllBound();
    ApplyControls();

    if (m_context.discovery) {
        m_devices = m_context.discovery->Devices();
        ShowPortToolTips();
        StartDeviceWatch();
    }

    DecideStartMode();
    return true;
}

void CLinkControlDialog::StopRunningWorker() {
    if (m_pConfigureThread)
        OnConfigure();
    if (m_pTestThread)
        OnTest();
    // A hang-up in flight finishes first: the service bounds it.
    if (std::unique_ptr<WorkerThread> worker = std::move(m_pDialupThread)) {
        worker->CancelAndJoin();
        m_activity = Activity::Idle;
    }
    m_pDeviceWatchThread.reset();
    Host().CloseReadout(); // it goes with the dialog
    Host().CloseProtocol();
}

void CLinkControlDialog::EndProgram(int code) {
    Host().CloseReadout();
    Host().CloseProtocol();
    m_nExitCode = code;
    EndDialog(IDCANCEL);
}

void CLinkControlDialog::FatalError(const std::string& text) {
    MessageBox(text, MB_OK);
    EndProgram(1);
}

// Closing stops a running worker first, as its cancel button does, so that nothing touches the
// dialog once it is gone; only a hang-up in flight is waited for.
void CLinkControlDialog::OnOK() {
    StopRunningWorker();
    CDialog::OnOK();
}

void CLinkControlDialog::OnCancel() {
    StopRunningWorker();
    CDialog::OnCancel();
}

void CLinkControlDialog::OnSysCommand(unsigned nID, std::intptr_t lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUT) {
        CAboutDialog dlgAbout(*this);
        dlgAbout.DoModal();
    } else if ((nID & 0xFFF0) == IDM_PORTS && m_context.discovery) {
        OnPorts();
    } else if ((nID & 0xFFF0) == IDM_TONE) {
        OnAlignmentTone();
    } else if ((nID & 0xFFF0) == IDM_ALIGNMENT) {
        m_readout.Show(m_linkHistory);
    } else if ((nID & 0xFFF0) == IDM_PHONE && m_context.webReadout) {
        OnPhone();
    } else if ((nID & 0xFFF0) == IDM_PROTOCOL) {
        m_protocol.Show();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

// The tone is a preference of the user's, kept at once: no "Speichern" needed.
void CLinkControlDialog::OnAlignmentTone() {
    if (SetToneOn(!m_tone.On())) {
        m_context.app.WriteProfileInt(kAlignment, "Tone", m_tone.On() ? 1 : 0);
        m_context.app.FlushProfile();
    }
}

void CLinkControlDialog::OnPhone() {
    CPhoneDialog dlg(*this, *m_context.webReadout, m_phone, m_linkHistory,
                     [this](int id) { return TableString(id); });
    std::string why;
    if (!dlg.Start(why)) {
        DiagnoseFormat("Quillmere: no web readout: %s", PrintableText(why).c_str());
        MessageBox(FormatString(TableString(IDS_PHONE_FAILED), {why}), MB_OK);
        return;
    }
    dlg.DoModal();
}

bool CLinkControlDialog::SetToneOn(bool on) {
    const std::string why = on ? Host().ToneUnavailable() : std::string();
    if (!why.empty())
        DiagnoseFormat("Quillmere: no alignment tone: %s", PrintableText(why).c_str());
    m_tone.SetOn(on && why.empty(), m_linkHistory);
    Host().SetSystemMenuItemState(
        *this, IDM_TONE, m_tone.On(), why.empty(),
        why.empty() ? std::string() : FormatString(TableString(IDS_TONE_UNAVAILABLE), {why}));
    return why.empty();
}

std::string CLinkControlDialog::TableString(int id) const {
    return m_context.loadString ? m_context.loadString(id) : std::string();
}

// One wait for device changes at a time: while the Anschlüsse dialog is open it follows them
// itself, and what it stored is read afresh when it closes.
void CLinkControlDialog::OnPorts() {
    m_pDeviceWatchThread.reset();
    {
        CPortsDialog dlg(*this, m_context.app.Profile(), *m_context.discovery,
                         m_context.loadString);
        dlg.DoModal();
    }
    m_devices = m_context.discovery->Devices();
    ShowPortToolTips();
    StartDeviceWatch();
}

void CLinkControlDialog::StartDeviceWatch() {
    IPortDiscovery& discovery = *m_context.discovery;
    m_pDeviceWatchThread = WorkerThread::Start([this, &discovery](const auto& cancel) {
        while (discovery.WaitForChange(*cancel)) {
            std::vector<SerialDevice> devices = discovery.Devices();
            CallOnUi(Host(), [&] {
                m_devices = std::move(devices);
                ShowPortToolTips();
            });
        }
    });
}

void CLinkControlDialog::ShowPortToolTips() {
    if (!m_context.discovery)
        return;
    const ComPortBinding binding = BindComPort(m_context.app.Profile(), m_nComPort, m_devices);
    m_strPortToolTip = PortToolTip(m_nComPort, binding, m_context.loadString);
    Host().SetToolTip(*this, IDC_COM_PORT, m_strPortToolTip);
    ShowStatusToolTip();
}

void CLinkControlDialog::ShowStatusToolTip() {
    std::string text = m_strPortToolTip;
    if (!text.empty() && !m_strStatusDetail.empty())
        text += "\n";
    Host().SetToolTip(*this, IDC_STATUS, text + m_strStatusDetail);
}

// F1: there is no help file; the About box names the program and its version.
void CLinkControlDialog::OnHelp() {
    OnSysCommand(IDM_ABOUT, 0);
}

CSize IconOrigin(CSize client, CSize icon) {
    return {(client.cx - icon.cx + 1) / 2, (client.cy - icon.cy + 1) / 2};
}

void CLinkControlDialog::OnPaint() {
    IDialogHost& host = Host();
    if (!host.IsIconic(*this)) {
        CDialog::OnPaint();
        return;
    }
    CSize origin = IconOrigin(host.ClientSize(*this), host.IconSize());
    host.DrawIcon(*this, origin.cx, origin.cy, m_hIcon);
}

// --- settings editing ----------------------------------------------------------------------

void CLinkControlDialog::ShowInBox(int id, std::string& field, BoxText& box) {
    const std::string bytes = field;
    SetDlgItemText(id, bytes); // its change notification sets field to what the box holds
    box = {bytes, GetDlgItemText(id)};
    field = bytes;
}

std::string CLinkControlDialog::TextOfBox(int id, const BoxText& box) {
    std::string text = GetDlgItemText(id);
    return text == box.shown ? box.bytes : text;
}

void CLinkControlDialog::MarkDirty() {
    m_bDirty = true;
    ApplyControls(kResendSave);
}

DialogState CLinkControlDialog::State() const {
    return {m_activity, m_bAutoMode, m_bDirty, m_bConnected, m_bConnectWithheld};
}

void CLinkControlDialog::ApplyControls(unsigned resend) {
    const ControlStates shown = ControlsFor(State());
    const ControlStates was = std::exchange(m_shown, shown);
    if (shown.settings != was.settings)
        for (int id : {IDC_COM_PORT, IDC_BAUDRATE, IDC_SENSITIVITY, IDC_RAS_LINK_NAME,
                       IDC_RUN_PROGRAM, IDC_BROWSE, IDC_RUN_INVISIBLE})
            GetDlgItem(id).EnableWindow(shown.settings);
    if (shown.save != was.save || (resend & kResendSave))
        GetDlgItem(IDC_SAVE).EnableWindow(shown.save);
    auto button = [&](int id, const ButtonState& now, const ButtonState& before, bool enabled,
                      bool text) {
        if (now.enabled != before.enabled || enabled)
            GetDlgItem(id).EnableWindow(now.enabled);
        if (now.text != before.text || text)
            SetDlgItemText(id, std::string(now.text));
    };
    button(IDC_CONFIGURE, shown.configure, was.configure, (resend & kResendConfigureEnabled) != 0,
           false);
    button(IDC_TEST, shown.test, was.test, (resend & kResendTestEnabled) != 0, false);
    button(IDC_CONNECT, shown.connect, was.connect, (resend & kResendConnectEnabled) != 0,
           (resend & kResendConnectText) != 0);
}

void CLinkControlDialog::OnSelchangeComPort() {
    int old = m_nComPort;
    m_nComPort = GetDlgItem(IDC_COM_PORT).GetCurSel();
    if (m_nComPort != old) {
        MarkDirty();
        ShowPortToolTips();
    }
}

void CLinkControlDialog::OnSelchangeBaudrate() {
    int old = m_nBaudrate;
    m_nBaudrate = GetDlgItem(IDC_BAUDRATE).GetCurSel();
    if (m_nBaudrate != old)
        MarkDirty();
}

void CLinkControlDialog::OnSelchangeSensitivity() {
    int old = m_nSensitivity;
    m_nSensitivity = GetDlgItem(IDC_SENSITIVITY).GetCurSel();
    if (m_nSensitivity != old)
        MarkDirty();
}

void CLinkControlDialog::OnChangeRasLinkName() {
    m_strRasLinkName = TextOfBox(IDC_RAS_LINK_NAME, m_rasLinkNameBox);
    MarkDirty();
}

void CLinkControlDialog::OnChangeRunProgram() {
    m_strRunProgram = TextOfBox(IDC_RUN_PROGRAM, m_runProgramBox);
    MarkDirty();
}

void CLinkControlDialog::OnRunInvisible() {
    m_bRunInvisible = IsDlgButtonChecked(IDC_RUN_INVISIBLE) != BST_UNCHECKED ? 1 : 0;
    MarkDirty();
}

void CLinkControlDialog::OnBrowse() {
    std::optional<std::string> path = Host().ChooseFile(this, TableString(IDS_CHOOSE_PROGRAM),
                                                        FileOfCommandLine(m_strRunProgram));
    if (!path)
        return;
    m_strRunProgram = CommandLineForFile(*path);
    ShowInBox(IDC_RUN_PROGRAM, m_strRunProgram, m_runProgramBox);
    MarkDirty();
}

void CLinkControlDialog::OnSave() {
    CWinApp* app = &m_context.app;
    // The selected port keeps the device it stands for now, even when adapters come and go
    // before the next start and the default would move to another one.
    if (m_context.discovery) {
        const ComPortBinding binding = BindComPort(app->Profile(), m_nComPort, m_devices);
        if (binding.source == ComPortBinding::Source::Default && binding.device)
            app->WriteProfileString("Ports", ("COM" + ComPortDigit(m_nComPort)).c_str(),
                                    binding.device->path);
    }
    app->WriteProfileInt(kSection, "COM Port", m_nComPort);
    app->WriteProfileInt(kSection, "Baudrate", m_nBaudrate);
    app->WriteProfileInt(kSection, "Sensitivity", m_nSensitivity);
    app->WriteProfileString(kSection, "RAS Link Name", m_strRasLinkName);
    app->WriteProfileString(kSection, "Run Program", m_strRunProgram);
    app->WriteProfileInt(kSection, "Run Invisible", m_bRunInvisible);
    // A save that did not reach the file must not look like one that did: the edits would be
    // gone at the next start without a word.
    if (!app->FlushProfile()) {
        SetDlgItemText(IDC_STATUS, kSaveFailed);
        return;
    }
    if (GetDlgItemText(IDC_STATUS) == kSaveFailed)
        SetDlgItemText(IDC_STATUS, "");
    m_bDirty = false;
    ApplyControls(kResendSave);
}
