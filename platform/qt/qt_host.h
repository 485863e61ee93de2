// The host that shows the dialogs as Qt widgets. It needs a QApplication, and its UI thread is
// the one that runs it.
#pragma once

#include "platform/dialog_host.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class DialogWindow;
class ProtocolWindow;
class IResourceProvider;
class QWidget;
class QtTone;
class ReadoutWindow;

class QtHost : public IDialogHost {
public:
    // The dialogs' icons come from resources, which must outlive the host.
    explicit QtHost(const IResourceProvider& resources);
    ~QtHost() override;

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
    bool IsProtocolShown() override;
    void CloseProtocol() override;
    void SetDoubleClickCommand(CDialog& dlg, int id, unsigned command) override;
    void SetIcon(CDialog& dlg, int iconId, bool big) override;
    bool IsIconic(CDialog& dlg) override;
    CSize ClientSize(CDialog& dlg) override;
    CSize IconSize() override { return {32, 32}; }
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
    // The system dial-up services here need no owner window of the system's.
    void* NativeWindow(CDialog&) override { return nullptr; }

    // The window of an open dialog, nullptr when it is not open; UI thread only.
    DialogWindow* WindowOf(const CDialog& dlg) const;
    // The topmost open dialog's window.
    DialogWindow* TopWindow() const;
    // Every open dialog's window, the topmost last.
    const std::vector<DialogWindow*>& Windows() const { return m_windows; }
    // The protocol window while it is open.
    ProtocolWindow* Protocol() const;

    // Tests answer the save chooser and the text questions here, with no modal window.
    using Answer = std::function<std::optional<std::string>(const std::string& asked)>;
    void AnswerSaveFile(Answer answer) { m_answerSaveFile = std::move(answer); }
    void AnswerText(Answer answer) { m_answerText = std::move(answer); }

private:
    QWidget* OwnerFor(CDialog* dlg) const;
    template <class W> W* ControlOf(CDialog& dlg, int id) const;
    QtTone& Tone(); // made at first use: a start that never asks opens no audio

    const IResourceProvider& m_resources;
    std::vector<DialogWindow*> m_windows; // the modal stack, topmost last; RunModal owns each
    std::unique_ptr<QtTone> m_tone;
    QPointer<ReadoutWindow> m_readout;   // it closes itself (WA_DeleteOnClose)
    QPointer<ProtocolWindow> m_protocol; // so does this
    Answer m_answerSaveFile, m_answerText;
};
