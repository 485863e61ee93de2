// The dialog base: template, modal run, message map and control operations by id.
// Control operations may be called from any thread; off the UI thread they are carried out by
// the UI thread before they return, in call order (see CallOnUi).
#pragma once

#include "platform/dialog_template.h"
#include "platform/dialog_types.h"

#include <functional>
#include <string>
#include <vector>

class IDialogHost;

class CDialog;

// One row of a message map: (control id, notification) -> handler.
struct MessageMapEntry {
    int id;
    int code;
    std::function<void(CDialog&)> handler;
};
using MessageMap = std::vector<MessageMapEntry>;

template <class T> MessageMapEntry OnCommand(int id, int code, void (T::*handler)()) {
    return {id, code, [handler](CDialog& dlg) { (static_cast<T&>(dlg).*handler)(); }};
}

// What GetDlgItem returns: the control, by id, with the operations the program uses.
class CDlgItem {
public:
    CDlgItem(CDialog& dlg, int id) : m_dlg(dlg), m_id(id) {}
    void EnableWindow(bool enable = true);
    bool IsWindowEnabled() const;
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    // Combo box
    void SetCurSel(int index);
    int GetCurSel() const;
    void ResetContent();
    void AddString(const std::string& text);
    // Check box
    void SetCheck(unsigned state);
    unsigned GetCheck() const;
    // Progress bar
    void SetRange(int lower, int upper);
    void SetPos(int pos);
    int GetPos() const;

private:
    CDialog& m_dlg;
    int m_id;
};

class CDialog {
public:
    // The host shows the dialog and carries out its control operations.
    CDialog(IDialogHost& host, const DialogTemplate& tmpl, CDialog* pParent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    int DoModal();
    void EndDialog(int result);

    const DialogTemplate& Template() const { return m_template; }
    CDialog* Parent() const { return m_pParent; }

    CDlgItem GetDlgItem(int id) { return CDlgItem(*this, id); }
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id);
    void CheckDlgButton(int id, unsigned check);
    unsigned IsDlgButtonChecked(int id);
    int MessageBox(const std::string& text, unsigned type = MB_OK);

    // Called by the host.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnSysCommand(unsigned nID, std::intptr_t lParam);
    virtual void OnPaint();
    virtual void OnHelp() {}
    // Runs the message-map handler of (id, code); false when the map has none.
    bool OnCmdMsg(int id, int code);

    IDialogHost& Host() const { return m_host; }

protected:
    virtual const MessageMap& GetMessageMap() const;

private:
    IDialogHost& m_host;
    const DialogTemplate& m_template;
    CDialog* m_pParent;
};
