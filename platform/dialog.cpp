#include "platform/dialog.h"

#include "platform/dialog_host.h"

void CDlgItem::EnableWindow(bool enable) {
    CallOnUi(m_dlg.Host(), [&] { m_dlg.Host().EnableItem(m_dlg, m_id, enable); });
}
bool CDlgItem::IsWindowEnabled() const {
    bool enabled = false;
    CallOnUi(m_dlg.Host(), [&] { enabled = m_dlg.Host().IsItemEnabled(m_dlg, m_id); });
    return enabled;
}
void CDlgItem::SetWindowText(const std::string& text) {
    m_dlg.SetDlgItemText(m_id, text);
}
std::string CDlgItem::GetWindowText() const {
    return m_dlg.GetDlgItemText(m_id);
}
void CDlgItem::SetCurSel(int index) {
    CallOnUi(m_dlg.Host(), [&] { m_dlg.Host().SetCurSel(m_dlg, m_id, index); });
}
int CDlgItem::GetCurSel() const {
    int sel = -1;
    CallOnUi(m_dlg.Host(), [&] { sel = m_dlg.Host().GetCurSel(m_dlg, m_id); });
    return sel;
}
void CDlgItem::ResetContent() {
    CallOnUi(m_dlg.Host(), [&] { m_dlg.Host().ResetContent(m_dlg, m_id); });
}
void CDlgItem::AddString(const std::string& text) {
    CallOnUi(m_dlg.Host(), [&] { m_dlg.Host().AddString(m_dlg, m_id, text); });
}
void CDlgItem::SetCheck(unsigned state) {
    m_dlg.CheckDlgButton(m_id, state);
}
unsigned CDlgItem::GetCheck() const {
    return m_dlg.IsDlgButtonChecked(m_id);
}
void CDlgItem::SetRange(int lower, int upper) {
    CallOnUi(m_dlg.Host(), [&] { m_dlg.Host().SetRange(m_dlg, m_id, lower, upper); });
}
void CDlgItem::SetPos(int pos) {
    CallOnUi(m_dlg.Host(), [&] { m_dlg.Host().SetPos(m_dlg, m_id, pos); });
}
int CDlgItem::GetPos() const {
    int pos = 0;
    CallOnUi(m_dlg.Host(), [&] { pos = m_dlg.Host().GetPos(m_dlg, m_id); });
    return pos;
}

CDialog::CDialog(IDialogHost& host, const DialogTemplate& tmpl, CDialog* pParent)
    : m_host(host), m_template(tmpl), m_pParent(pParent) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    return Host().RunModal(*this);
}

void CDialog::EndDialog(int result) {
    CallOnUi(Host(), [&] { Host().EndModal(*this, result); });
}

void CDialog::SetDlgItemText(int id, const std::string& text) {
    CallOnUi(Host(), [&] { Host().SetItemText(*this, id, text); });
}

std::string CDialog::GetDlgItemText(int id) {
    std::string text;
    CallOnUi(Host(), [&] { text = Host().GetItemText(*this, id); });
    return text;
}

void CDialog::CheckDlgButton(int id, unsigned check) {
    CallOnUi(Host(), [&] { Host().SetCheck(*this, id, check); });
}

unsigned CDialog::IsDlgButtonChecked(int id) {
    unsigned state = 0;
    CallOnUi(Host(), [&] { state = Host().GetCheck(*this, id); });
    return state;
}

int CDialog::MessageBox(const std::string& text, unsigned type) {
    int result = IDOK;
    CallOnUi(Host(), [&] { result = Host().MessageBox(this, text, type); });
    return result;
}

void CDialog::OnSysCommand(unsigned nID, std::intptr_t) {
    if ((nID & 0xFFF0) == SC_CLOSE)
        OnCancel();
}

void CDialog::OnPaint() {
    Host().DefaultPaint(*this);
}

const MessageMap& CDialog::GetMessageMap() const {
    static const MessageMap empty;
    return empty;
}

bool CDialog::OnCmdMsg(int id, int code) {
    for (const auto& entry : GetMessageMap())
        if (entry.id == id && entry.code == code) {
            entry.handler(*this);
            return true;
        }
    if (code == BN_CLICKED && id == IDOK) {
        OnOK();
        return true;
    }
    if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}
