// The words for what a host is asked to do, one line per operation. The headless host's
// transcript and the trace (QUILLMERE_TRACE=1) both speak them, so a line means the same in a
// test and on a user's terminal.
#pragma once

#include "platform/dialog_types.h"

#include <string>

class CDialog;

namespace transcript {

// "text", with quotes and backslashes escaped and every control character as PrintableText
// shows it: a value is always one line.
std::string Quote(const std::string& text);
// The control's name in the dialog's template ("IDC_STATUS"), else its number.
std::string ControlName(const CDialog& dlg, int id);

std::string Open(const CDialog& dlg);
std::string Ready(const CDialog& dlg);
std::string End(const CDialog& dlg, int result);
std::string Enable(const CDialog& dlg, int id, bool enable);
std::string Text(const CDialog& dlg, int id, const std::string& text);
std::string Check(const CDialog& dlg, int id, unsigned state);
std::string Select(const CDialog& dlg, int id, int index);
std::string Reset(const CDialog& dlg, int id);
std::string AddItem(const CDialog& dlg, int id, const std::string& text);
std::string Range(const CDialog& dlg, int id, int lower, int upper);
std::string Pos(const CDialog& dlg, int id, int pos);
std::string ToolTip(const CDialog& dlg, int id, const std::string& text);
std::string MenuSeparator();
std::string MenuItem(unsigned command, const std::string& text);
// "tone 1120", "tone 1112 pulsed", "tone off".
std::string Tone(int hz, bool pulsed);
std::string Icon(int iconId, bool big);
std::string DrawIcon(int iconId, int x, int y);
std::string MessageBox(const std::string& text);
std::string ChooseFile(const std::string& title, const std::string& initialName);
std::string ChooseSaveFile(const std::string& title, const std::string& initialName);
std::string AskText(const std::string& prompt);

} // namespace transcript
