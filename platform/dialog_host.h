// What a windowing host does for the dialogs: builds a dialog from its template, runs it
// modally, carries out control operations, and shows message boxes and the file chooser.
// Every method except Post runs on the UI thread; CDialog takes care of getting there.
#pragma once

#include "platform/dialog_types.h"
#include "platform/mono_image.h"
#include "platform/protocol_view.h"
#include "platform/readout_picture.h"
#include "platform/ui_queue.h"

#include <optional>
#include <string>

class CDialog;

class IDialogHost : public IUiQueue {
public:
    // Creates the dialog's window, calls OnInitDialog, then runs until EndModal; returns its code.
    virtual int RunModal(CDialog& dlg) = 0;
    virtual void EndModal(CDialog& dlg, int result) = 0;

    virtual void EnableItem(CDialog& dlg, int id, bool enable) = 0;
    virtual bool IsItemEnabled(CDialog& dlg, int id) = 0;
    // Setting an edit box's text raises its EN_CHANGE, as on Windows. A drop-down list's text
    // selects the item that has it; an editable combo box takes any text.
    virtual void SetItemText(CDialog& dlg, int id, const std::string& text) = 0;
    virtual std::string GetItemText(CDialog& dlg, int id) = 0;
    virtual void SetCheck(CDialog& dlg, int id, unsigned state) = 0;
    virtual unsigned GetCheck(CDialog& dlg, int id) = 0;
    virtual void SetCurSel(CDialog& dlg, int id, int index) = 0; // raises no notification
    virtual int GetCurSel(CDialog& dlg, int id) = 0;             // -1: nothing selected
    // A combo box's list at run time: emptied (an editable box's text too), or one more item
    // at its end.
    virtual void ResetContent(CDialog& dlg, int id) = 0;
    virtual void AddString(CDialog& dlg, int id, const std::string& text) = 0;
    virtual void SetRange(CDialog& dlg, int id, int lower, int upper) = 0;
    virtual void SetPos(CDialog& dlg, int id, int pos) = 0;
    virtual int GetPos(CDialog& dlg, int id) = 0;
    // A line across a progress bar at pos of its range: the threshold its value is read against.
    virtual void SetMark(CDialog& dlg, int id, int pos) = 0;
    // A picture in a static control, as large as the control allows, with a light border of
    // four modules around it: a QR code needs that quiet zone to be found.
    virtual void SetImage(CDialog& dlg, int id, const MonoImage& image) = 0;
    // Detail that belongs beside a control rather than in it (a status line's reason).
    virtual void SetToolTip(CDialog& dlg, int id, const std::string& text) = 0;

    // The window menu: on X11 and Wayland the dialog's context menu stands in for it.
    virtual bool HasSystemMenu(CDialog& dlg) = 0;
    virtual void AppendSystemMenuSeparator(CDialog& dlg) = 0;
    virtual void AppendSystemMenuItem(CDialog& dlg, unsigned command, const std::string& text) = 0;
    // An item's check mark, and whether it can be chosen; why not is its tooltip where the
    // menu shows tooltips.
    virtual void SetSystemMenuItemState(CDialog& dlg, unsigned command, bool checked, bool enabled,
                                        const std::string& why) = 0;
    // Ctrl and a letter give the item's command while the dialog has the focus.
    virtual void AddShortcut(CDialog& dlg, char ctrlLetter, unsigned command) = 0;

    // The alignment tone, made on the audio system's side: a sine of hz, steady or pulsed; hz 0
    // is silence. Why the host has no sound, in the system's words; "" when it has.
    virtual std::string ToneUnavailable() = 0;
    virtual void SetTone(int hz, bool pulsed) = 0;

    // The alignment readout: one window beside the dialog, which the user may close at any
    // time. Showing it again brings it to the front; an update while it is closed does nothing.
    virtual void ShowReadout(CDialog& owner, const ReadoutPicture& picture) = 0;
    virtual bool IsReadoutShown() = 0;
    virtual void UpdateReadout(const ReadoutPicture& picture) = 0;
    virtual void CloseReadout() = 0;
    // The recorded link tests: one window beside the dialog, which the user may close at any
    // time. It calls actions back (on the UI thread) for a row's preview and its saves; actions
    // must outlive it. Showing it again brings it to the front with the new list.
    virtual void ShowProtocol(CDialog& owner, const ProtocolView& view,
                              IProtocolActions& actions) = 0;
    virtual bool IsProtocolShown() = 0;
    virtual void CloseProtocol() = 0;
    // A double-click on the control gives the window-menu command.
    virtual void SetDoubleClickCommand(CDialog& dlg, int id, unsigned command) = 0;

    virtual void SetIcon(CDialog& dlg, int iconId, bool big) = 0;
    virtual bool IsIconic(CDialog& dlg) = 0;
    virtual CSize ClientSize(CDialog& dlg) = 0;
    virtual CSize IconSize() = 0; // SM_CXICON, SM_CYICON
    virtual void DrawIcon(CDialog& dlg, int x, int y, int iconId) = 0;
    // What the window would paint by itself (DefWindowProc).
    virtual void DefaultPaint(CDialog& dlg) = 0;

    // Modal to owner; the caption is the application's name.
    virtual int MessageBox(CDialog* owner, const std::string& text, unsigned type) = 0;
    // The system's own window behind the dialog (an HWND on Windows), for system dialogs that
    // want an owner; nothing where the host has no such window.
    virtual void* NativeWindow(CDialog& dlg) = 0;

    // The open-file chooser; the chosen full path, or nothing when cancelled.
    virtual std::optional<std::string> ChooseFile(CDialog* owner, const std::string& title,
                                                  const std::string& initialName) = 0;
    // The save-file chooser over the topmost window; filter as "CSV-Dateien (*.csv)". The
    // chosen full path, or nothing when cancelled.
    virtual std::optional<std::string> ChooseSaveFile(CDialog* owner, const std::string& title,
                                                      const std::string& initialName,
                                                      const std::string& filter) = 0;
    // One line of text asked over the topmost window; nothing when cancelled.
    virtual std::optional<std::string> AskText(CDialog* owner, const std::string& title,
                                               const std::string& prompt) = 0;
};
