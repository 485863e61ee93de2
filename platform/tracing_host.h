// A host around any other host: it forwards every call and writes one transcript line for each
// operation that changes what the user sees, in the headless host's words. With
// QUILLMERE_TRACE=1 the program runs on one, and end-to-end tests and a curious user read the
// dialogs from standard error instead of the screen; QUILLMERE_TRACE_FILE=<path> writes the
// same lines to that file instead (a GUI program on Windows has no standard error).
#pragma once

#include "platform/dialog_host.h"

#include <functional>
#include <optional>
#include <string>

class TracingHost : public IDialogHost {
public:
    using Writer = std::function<void(const std::string& line)>;

    // Without a writer each line goes to standard error as "trace: <line>".
    explicit TracingHost(IDialogHost& inner, Writer write = {});
    TracingHost(const TracingHost&) = delete;
    TracingHost& operator=(const TracingHost&) = delete;

    IDialogHost& Inner() const { return m_inner; }

    // IUiQueue
    void Post(std::function<void()> fn) override;
    bool IsUiThread() const override;

    // IDialogHost
    int RunModal(CDialog& dlg) override;
    void EndModal(CDialog& dlg, int result) override;
    void EnableItem(CDialog& dlg, int id, bool enable) override;
    bool IsItemEnabled(CDialog& dlg, int id) override;
    void SetItemText(CDialog& dlg, int id, const std::string& text) override;
    std::string GetItemText(CDialog& dlg, int id) override;
    void SetCheck(CDialog& dlg, int id, unsigned state) override;
    unsigned GetCheck(CDialog& dlg, int id) override;
    void SetCurSel(CDialog& dlg, int id, int index) override;
    int GetCurSel(CDialog& dlg, int id) override;
    void ResetContent(CDialog& dlg, int id) override;
    void AddString(CDialog& dlg, int id, const std::string& text) override;
    void SetRange(CDialog& dlg, int id, int lower, int upper) override;
    void SetPos(CDialog& dlg, int id, int pos) override;
    int GetPos(CDialog& dlg, int id) override;
    void SetMark(CDialog& dlg, int id, int pos) override;
    void SetImage(CDialog& dlg, int id, const MonoImage& image) override;
    void SetToolTip(CDialog& dlg, int id, const std::string& text) override;
    bool HasSystemMenu(CDialog& dlg) override;
    void AppendSystemMenuSeparator(CDialog& dlg) override;
    void AppendSystemMenuItem(CDialog& dlg, unsigned command, const std::string& text) override;
    void SetSystemMenuItemState(CDialog& dlg, unsigned command, bool checked, bool enabled,
                                const std::string& why) override;
    void AddShortcut(CDialog& dlg, char ctrlLetter, unsigned command) override;
    std::string ToneUnavailable() override;
    void SetTone(int hz, bool pulsed) override;
    void ShowReadout(CDialog& owner, const ReadoutPicture& picture) override;
    bool IsReadoutShown() override;
    void UpdateReadout(const ReadoutPicture& picture) override;
    void CloseReadout() override;
    void ShowProtocol(CDialog& owner, const ProtocolView& view, IProtocolActions& actions) override;
    bool IsProtocolShown() override { return m_inner.IsProtocolShown(); }
    void CloseProtocol() override;
    void SetDoubleClickCommand(CDialog& dlg, int id, unsigned command) override;
    void SetIcon(CDialog& dlg, int iconId, bool big) override;
    bool IsIconic(CDialog& dlg) override;
    CSize ClientSize(CDialog& dlg) override;
    CSize IconSize() override;
    void DrawIcon(CDialog& dlg, int x, int y, int iconId) override;
    void DefaultPaint(CDialog& dlg) override;
    int MessageBox(CDialog* owner, const std::string& text, unsigned type) override;
    std::optional<std::string> ChooseFile(CDialog* owner, const std::string& title,
                                          const std::string& initialName) override;
    std::optional<std::string> ChooseSaveFile(CDialog* owner, const std::string& title,
                                              const std::string& initialName,
                                              const std::string& filter) override;
    std::optional<std::string> AskText(CDialog* owner, const std::string& title,
                                       const std::string& prompt) override;
    void* NativeWindow(CDialog& dlg) override { return m_inner.NativeWindow(dlg); }

private:
    IDialogHost& m_inner;
    Writer m_write;
};

// QUILLMERE_TRACE is set and not "0", or QUILLMERE_TRACE_FILE names a file.
bool TraceRequested();
// The host a program runs its dialogs on: host itself, or, when the trace is asked for, a
// TracingHost around it, kept in slot, to the file QUILLMERE_TRACE_FILE names (appended to)
// or else to standard error.
IDialogHost& TracedIfRequested(IDialogHost& host, std::optional<TracingHost>& slot);
