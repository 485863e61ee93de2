// A host without any display: it keeps the controls' state in memory, records every control
// operation in order (in the words of platform/transcript.h), and answers message boxes and file
// choosers from a script. The tests run the dialogs on it, and so does the hang-up start, which
// must work with no display at all.
#pragma once

#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class HeadlessHost : public IDialogHost {
public:
    HeadlessHost();
    ~HeadlessHost() override;

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
    bool IsProtocolShown() override { return m_protocol.has_value(); }
    void CloseProtocol() override;
    void SetDoubleClickCommand(CDialog& dlg, int id, unsigned command) override;
    void SetIcon(CDialog& dlg, int iconId, bool big) override;
    bool IsIconic(CDialog& dlg) override;
    CSize ClientSize(CDialog& dlg) override;
    CSize IconSize() override { return {32, 32}; }
    void DrawIcon(CDialog& dlg, int x, int y, int iconId) override;
    void DefaultPaint(CDialog&) override {}
    int MessageBox(CDialog* owner, const std::string& text, unsigned type) override;
    std::optional<std::string> ChooseFile(CDialog* owner, const std::string& title,
                                          const std::string& initialName) override;
    std::optional<std::string> ChooseSaveFile(CDialog* owner, const std::string& title,
                                              const std::string& initialName,
                                              const std::string& filter) override;
    std::optional<std::string> AskText(CDialog* owner, const std::string& title,
                                       const std::string& prompt) override;
    // Its own record of the open dialog: what a system dialog would be given as owner.
    void* NativeWindow(CDialog& dlg) override { return Find(dlg); }

    // --- What a user does, from any thread. Each is queued like real input and handled by the
    // topmost modal dialog; input for a disabled control or a dialog under a modal one is lost.
    void UserClick(int id);
    void UserSelect(int id, int index);
    void UserType(int id, const std::string& text); // replaces the whole text
    void UserSysCommand(unsigned command);
    void UserPressEscape();
    void UserMinimize(bool iconic, CSize client = {});
    void UserHelp();

    // --- The script.
    // Answers for file choosers, open and save alike, in order; nothing queued means the user
    // cancels.
    void QueueFileChoice(std::optional<std::string> path);
    // Answers for text questions, in order; nothing queued means the user cancels.
    void QueueTextAnswer(std::optional<std::string> text);
    // Called on the UI thread for every message box, after it is recorded; returns the answer.
    void OnMessageBox(std::function<int(const std::string& text)> fn);
    // Called on the UI thread with every transcript line as it is recorded (not user lines).
    void OnRecord(std::function<void(const std::string& line)> fn);

    // --- Looking on, from any thread.
    std::vector<std::string> Transcript() const;
    // Lines starting with prefix, e.g. "text IDC_STATUS".
    std::vector<std::string> Lines(const std::string& prefix) const;
    void ClearTranscript();
    // Waits until some line satisfies pred, or the timeout (false).
    bool WaitFor(const std::function<bool(const std::string&)>& pred,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool WaitForLine(const std::string& line,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Runs fn on the UI thread and waits for it (to read control state safely).
    void Sync(const std::function<void()>& fn);
    // Control state of the topmost dialog with that template, read on the UI thread.
    std::string Text(int id);
    bool Enabled(int id);
    int Pos(int id);
    int CurSel(int id);
    std::vector<std::string> Items(int id);
    unsigned Check(int id);
    int ModalDepth();
    // Makes the calling thread the UI thread; RunModal does it for the first dialog.
    void BecomeUiThread() { m_uiThread.store(std::this_thread::get_id()); }
    // Runs queued work until nothing is left; for a UI thread that runs no dialog.
    void Drain();

    // A value as the transcript quotes it (transcript::Quote).
    static std::string Quote(const std::string& text);

    // The readout's picture while it is shown; UI thread only.
    const std::optional<ReadoutPicture>& Readout() const { return m_readout; }
    // The protocol window's list while it is shown, and what its buttons call; UI thread only.
    const std::optional<ProtocolView>& Protocol() const { return m_protocol; }
    IProtocolActions* ProtocolActions() const { return m_protocolActions; }

private:
    std::optional<ReadoutPicture> m_readout;
    std::optional<ProtocolView> m_protocol;
    IProtocolActions* m_protocolActions = nullptr;
    struct Control {
        const ControlTemplate* tmpl = nullptr;
        std::string text;
        bool enabled = true;
        unsigned check = 0;
        int curSel = -1;
        std::vector<std::string> items; // a combo box's list
        int lower = 0, upper = 100, pos = 0;
        std::string tooltip;
    };
    struct Window {
        CDialog* dlg = nullptr;
        std::map<int, Control> controls;
        bool ended = false;
        int result = 0;
        bool iconic = false;
        CSize client{};
        std::vector<std::string> menu;
    };

    Window* Find(CDialog& dlg);
    Control* FindControl(CDialog& dlg, int id);
    void Record(const std::string& line);
    void RecordUser(const std::string& line);
    void PostInput(std::function<void(Window&)> fn);
    void RunOne(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueCv;
    std::deque<std::function<void()>> m_queue;
    std::atomic<std::thread::id> m_uiThread{};

    // UI thread only.
    std::vector<std::unique_ptr<Window>> m_windows; // modal stack, topmost last
    std::function<int(const std::string&)> m_onMessageBox;
    std::function<void(const std::string&)> m_onRecord;

    std::optional<std::string> NextScripted(std::deque<std::optional<std::string>>& queue);

    mutable std::mutex m_scriptMutex;
    std::deque<std::optional<std::string>> m_fileChoices;
    std::deque<std::optional<std::string>> m_textAnswers;

    mutable std::mutex m_logMutex;
    std::condition_variable m_logCv;
    std::vector<std::string> m_transcript;
};
