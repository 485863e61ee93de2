// The host that shows the dialogs as real Windows dialogs, made by the system's dialog manager
// from the program's templates. Its UI thread is the thread that constructs it.
#pragma once

#include "platform/dialog_host.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class IResourceProvider;
class ProtocolWindow;
class ReadoutWindow;
class WaveOutTone;

class Win32Host : public IDialogHost {
public:
    // The application's name is the caption of its message boxes. The templates' icon controls
    // name icons by the ids resources give, in the module's resources; resources must outlive
    // the host.
    Win32Host(std::string appName, const IResourceProvider& resources);
    ~Win32Host() override;
    Win32Host(const Win32Host&) = delete;
    Win32Host& operator=(const Win32Host&) = delete;

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

    // The window handle (HWND) of an open dialog, 0 when it is not open; UI thread only.
    std::uintptr_t WindowOf(const CDialog& dlg) const;
    void* NativeWindow(CDialog& dlg) override { return reinterpret_cast<void*>(WindowOf(dlg)); }

    // The parts that touch the system; they live in win32_host.cpp.
    struct Window;
    struct Queue;

private:
    Window* Find(const CDialog& dlg) const;
    WaveOutTone& Tone(); // opened at first use
    std::uintptr_t OwnerFor(CDialog* dlg) const;
    // The protocol window while it is open, else the dialog's: where a save was asked.
    std::uintptr_t SaveOwnerFor(CDialog* dlg) const;

    std::string m_appName;
    const IResourceProvider& m_resources;
    std::unique_ptr<Queue> m_queue;
    std::vector<Window*> m_windows; // the modal stack, topmost last; RunModal owns each
    std::unique_ptr<WaveOutTone> m_tone;
    std::unique_ptr<ReadoutWindow> m_readout;
    std::unique_ptr<ProtocolWindow> m_protocol;
};
