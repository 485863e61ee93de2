#include "dialog/ports_dialog.h"

#include "platform/cancel_token.h"
#include "platform/dialog_host.h"
#include "platform/profile_store.h"
#include "platform/ui_queue.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "res/resources.h"

#include <algorithm>
#include <filesystem>

namespace {

std::string Load(const StringLoader& load, int id) {
    return load ? load(id) : std::string();
}

// What the binding names, without the port's name.
std::string BoundText(const ComPortBinding& binding, const StringLoader& load) {
    if (binding.device)
        return DeviceText(*binding.device);
    if (binding.value.empty())
        return Load(load, IDS_PORT_NO_DEVICE);
    // A stable name exists only while its device is there: a stored one that the system does
    // not list is unplugged. Other values may name what the discovery leaves out (a pty).
    if (binding.source == ComPortBinding::Source::Settings &&
        binding.value.starts_with("/dev/serial/"))
        return FormatString(Load(load, IDS_PORT_NOT_CONNECTED), {binding.value});
    return binding.value;
}

std::string EntryOf(int row) {
    return "COM" + ComPortDigit(row);
}

} // namespace

std::string DeviceText(const SerialDevice& device) {
    return device.product.empty() ? device.path : device.path + " (" + device.product + ")";
}

std::string PortToolTip(int nComPort, const ComPortBinding& binding, const StringLoader& load) {
    return ComPortName(nComPort) + " " + BoundText(binding, load);
}

CPortsDialog::CPortsDialog(CDialog& parent, IProfileStore& store, IPortDiscovery& discovery,
                           StringLoader load)
    : CDialog(parent.Host(), LoadDialogTemplate(IDD_PORTS), &parent), m_store(store),
      m_discovery(discovery), m_load(std::move(load)) {}

CPortsDialog::~CPortsDialog() {
    StopWatching();
}

bool CPortsDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    for (int row = 0; row < kRows; ++row)
        m_rows[row].stored = m_store.Read("Ports", EntryOf(row));
    Fill(m_discovery.Devices());
    IPortDiscovery& discovery = m_discovery;
    m_pWatchThread = WorkerThread::Start([this, &discovery](const auto& cancel) {
        while (discovery.WaitForChange(*cancel)) {
            const std::vector<SerialDevice> devices = discovery.Devices();
            CallOnUi(Host(), [&] { Fill(devices); });
        }
    });
    // Without a thread the lists stay as they were when the dialog opened.
    return true;
}

const MessageMap& CPortsDialog::GetMessageMap() const {
    static const MessageMap map = [] {
        MessageMap m;
        for (int row = 0; row < kRows; ++row)
            for (int code : {CBN_SELCHANGE, CBN_EDITCHANGE})
                m.push_back({IDC_PORT_COM1 + row, code, [row](CDialog& dlg) {
                                 static_cast<CPortsDialog&>(dlg).ShowPresence(row);
                             }});
        return m;
    }();
    return map;
}

CPortsDialog::Choice CPortsDialog::ChoiceOf(int row) {
    const std::string text = GetDlgItemText(IDC_PORT_COM1 + row);
    for (const auto& [itemText, value] : m_rows[row].items)
        if (itemText == text)
            return value;
    return text;
}

void CPortsDialog::Fill(const std::vector<SerialDevice>& devices) {
    for (int row = 0; row < kRows; ++row) {
        Row& r = m_rows[row];
        const int id = IDC_PORT_COM1 + row;
        // The first fill shows the stored value; later ones what the user has made of it.
        const Choice shown = r.items.empty() ? r.stored : ChoiceOf(row);
        r.items.clear();
        // A row with an entry can go back to the default too: OK then erases the entry.
        r.items.emplace_back(FormatString(Load(m_load, IDS_PORT_DEFAULT),
                                          {BoundText(DefaultComPortBinding(row, devices), m_load)}),
                             std::nullopt);
        for (const SerialDevice& device : devices)
            r.items.emplace_back(DeviceText(device), device.path);

        CDlgItem box = GetDlgItem(id);
        box.ResetContent();
        std::string text = shown ? *shown : std::string();
        for (const auto& [itemText, value] : r.items) {
            box.AddString(itemText);
            if (value == shown)
                text = itemText;
        }
        SetDlgItemText(id, text);
        ShowPresence(row);
    }
}

// A device the system lists is there; a sim: value, or none, names no file. Any other value is
// kept as typed (an adapter may be unplugged just now), but said to be missing.
void CPortsDialog::ShowPresence(int row) {
    const Choice choice = ChoiceOf(row);
    const auto& items = m_rows[row].items;
    const bool listed = std::any_of(items.begin(), items.end(),
                                    [&](const auto& item) { return item.second == choice; });
    std::error_code error;
    const bool missing = choice && !choice->empty() && !choice->starts_with("sim:") && !listed &&
                         !std::filesystem::exists(*choice, error);
    SetDlgItemText(IDC_PORT_MISSING1 + row, missing ? Load(m_load, IDS_PORT_MISSING) : "");
}

void CPortsDialog::StopWatching() {
    if (std::unique_ptr<WorkerThread> worker = std::move(m_pWatchThread))
        worker->CancelAndJoin();
}

// Only the rows whose value differs from what was stored are written: a row left at its
// default keeps following the default device, and so does one set back to it.
void CPortsDialog::OnOK() {
    std::vector<int> written;
    for (int row = 0; row < kRows; ++row) {
        const Choice choice = ChoiceOf(row);
        if (choice == m_rows[row].stored)
            continue;
        if (choice)
            m_store.Write("Ports", EntryOf(row), *choice);
        else
            m_store.Erase("Ports", EntryOf(row));
        written.push_back(row);
    }
    if (!written.empty() && !m_store.Flush()) {
        // Taken back, or the next save of the main dialog would write what the user may still
        // cancel here; the choices stay in the boxes for another try.
        for (int row : written)
            m_store.TakeBack("Ports", EntryOf(row), m_rows[row].stored);
        MessageBox(Load(m_load, IDS_PORTS_SAVE_FAILED));
        return;
    }
    StopWatching();
    EndDialog(IDOK);
}

void CPortsDialog::OnCancel() {
    StopWatching();
    EndDialog(IDCANCEL);
}
