#include "platform/tracing_host.h"

#include "platform/diagnostics.h"
#include "platform/line_log.h"
#include "platform/transcript.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {

const char* NonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

void WriteToStandardError(const std::string& line) {
    // One write per line: lines of a crashing program still arrive whole.
    const std::string out = "trace: " + line + "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

// Standard error when the file cannot be opened: the trace was asked for, and a GUI program
// on Windows has nowhere else to say so. Opened as a simulator's log is: a FIFO under the name
// would hold the start (and "/d" would run into its time limit), a link would be written
// through. Each line goes in one write straight to the file, for a reader who waits for it.
TracingHost::Writer WriterFor(const char* path) {
    if (!path)
        return WriteToStandardError;
    auto file = std::make_shared<LineLog>();
    if (std::string error; !file->Open(path, error)) {
        DiagnoseFormat("Quillmere: cannot write the trace to %s: %s; it goes here", path,
                       error.c_str());
        return WriteToStandardError;
    }
    return [file](const std::string& line) { file->Write("trace: " + line); };
}

} // namespace

TracingHost::TracingHost(IDialogHost& inner, Writer write)
    : m_inner(inner), m_write(write ? std::move(write) : Writer(WriteToStandardError)) {}

// Each line is written before the call is passed on, so that what the call sets off (an edit
// box's EN_CHANGE, a message box's wait) comes after it, as the user sees it.

void TracingHost::Post(std::function<void()> fn) {
    m_inner.Post(std::move(fn));
}
bool TracingHost::IsUiThread() const {
    return m_inner.IsUiThread();
}

int TracingHost::RunModal(CDialog& dlg) {
    m_write(transcript::Open(dlg));
    return m_inner.RunModal(dlg);
}
void TracingHost::EndModal(CDialog& dlg, int result) {
    m_write(transcript::End(dlg, result));
    m_inner.EndModal(dlg, result);
}

void TracingHost::EnableItem(CDialog& dlg, int id, bool enable) {
    m_write(transcript::Enable(dlg, id, enable));
    m_inner.EnableItem(dlg, id, enable);
}
bool TracingHost::IsItemEnabled(CDialog& dlg, int id) {
    return m_inner.IsItemEnabled(dlg, id);
}
void TracingHost::SetItemText(CDialog& dlg, int id, const std::string& text) {
    m_write(transcript::Text(dlg, id, text));
    m_inner.SetItemText(dlg, id, text);
}
std::string TracingHost::GetItemText(CDialog& dlg, int id) {
    return m_inner.GetItemText(dlg, id);
}
void TracingHost::SetCheck(CDialog& dlg, int id, unsigned state) {
    m_write(transcript::Check(dlg, id, state));
    m_inner.SetCheck(dlg, id, state);
}
unsigned TracingHost::GetCheck(CDialog& dlg, int id) {
    return m_inner.GetCheck(dlg, id);
}
void TracingHost::SetCurSel(CDialog& dlg, int id, int index) {
    m_write(transcript::Select(dlg, id, index));
    m_inner.SetCurSel(dlg, id, index);
}
int TracingHost::GetCurSel(CDialog& dlg, int id) {
    return m_inner.GetCurSel(dlg, id);
}
void TracingHost::ResetContent(CDialog& dlg, int id) {
    m_write(transcript::Reset(dlg, id));
    m_inner.ResetContent(dlg, id);
}
void TracingHost::AddString(CDialog& dlg, int id, const std::string& text) {
    m_write(transcript::AddItem(dlg, id, text));
    m_inner.AddString(dlg, id, text);
}
void TracingHost::SetRange(CDialog& dlg, int id, int lower, int upper) {
    m_write(transcript::Range(dlg, id, lower, upper));
    m_inner.SetRange(dlg, id, lower, upper);
}
void TracingHost::SetPos(CDialog& dlg, int id, int pos) {
    m_write(transcript::Pos(dlg, id, pos));
    m_inner.SetPos(dlg, id, pos);
}
// Drawing only: the trace shows what the user reads, and the mark never changes.
void TracingHost::SetMark(CDialog& dlg, int id, int pos) {
    m_inner.SetMark(dlg, id, pos);
}
void TracingHost::SetImage(CDialog& dlg, int id, const MonoImage& image) {
    m_inner.SetImage(dlg, id, image);
}
int TracingHost::GetPos(CDialog& dlg, int id) {
    return m_inner.GetPos(dlg, id);
}
void TracingHost::SetToolTip(CDialog& dlg, int id, const std::string& text) {
    m_write(transcript::ToolTip(dlg, id, text));
    m_inner.SetToolTip(dlg, id, text);
}

bool TracingHost::HasSystemMenu(CDialog& dlg) {
    return m_inner.HasSystemMenu(dlg);
}
void TracingHost::AppendSystemMenuSeparator(CDialog& dlg) {
    m_write(transcript::MenuSeparator());
    m_inner.AppendSystemMenuSeparator(dlg);
}
void TracingHost::SetSystemMenuItemState(CDialog& dlg, unsigned command, bool checked, bool enabled,
                                         const std::string& why) {
    m_inner.SetSystemMenuItemState(dlg, command, checked, enabled, why);
}
void TracingHost::AddShortcut(CDialog& dlg, char ctrlLetter, unsigned command) {
    m_inner.AddShortcut(dlg, ctrlLetter, command);
}
std::string TracingHost::ToneUnavailable() {
    return m_inner.ToneUnavailable();
}
void TracingHost::SetTone(int hz, bool pulsed) {
    m_write(transcript::Tone(hz, pulsed));
    m_inner.SetTone(hz, pulsed);
}
void TracingHost::ShowReadout(CDialog& owner, const ReadoutPicture& picture) {
    if (!m_inner.IsReadoutShown())
        m_write("readout open");
    m_inner.ShowReadout(owner, picture);
}
bool TracingHost::IsReadoutShown() {
    return m_inner.IsReadoutShown();
}
void TracingHost::UpdateReadout(const ReadoutPicture& picture) {
    m_inner.UpdateReadout(picture);
}
void TracingHost::CloseReadout() {
    if (m_inner.IsReadoutShown())
        m_write("readout close");
    m_inner.CloseReadout();
}
void TracingHost::ShowProtocol(CDialog& owner, const ProtocolView& view,
                               IProtocolActions& actions) {
    if (!m_inner.IsProtocolShown())
        m_write("protocol open");
    m_inner.ShowProtocol(owner, view, actions);
}
void TracingHost::CloseProtocol() {
    if (m_inner.IsProtocolShown())
        m_write("protocol close");
    m_inner.CloseProtocol();
}
void TracingHost::SetDoubleClickCommand(CDialog& dlg, int id, unsigned command) {
    m_inner.SetDoubleClickCommand(dlg, id, command);
}
void TracingHost::AppendSystemMenuItem(CDialog& dlg, unsigned command, const std::string& text) {
    m_write(transcript::MenuItem(command, text));
    m_inner.AppendSystemMenuItem(dlg, command, text);
}

void TracingHost::SetIcon(CDialog& dlg, int iconId, bool big) {
    m_write(transcript::Icon(iconId, big));
    m_inner.SetIcon(dlg, iconId, big);
}
bool TracingHost::IsIconic(CDialog& dlg) {
    return m_inner.IsIconic(dlg);
}
CSize TracingHost::ClientSize(CDialog& dlg) {
    return m_inner.ClientSize(dlg);
}
CSize TracingHost::IconSize() {
    return m_inner.IconSize();
}
void TracingHost::DrawIcon(CDialog& dlg, int x, int y, int iconId) {
    m_write(transcript::DrawIcon(iconId, x, y));
    m_inner.DrawIcon(dlg, x, y, iconId);
}
void TracingHost::DefaultPaint(CDialog& dlg) {
    m_inner.DefaultPaint(dlg);
}

int TracingHost::MessageBox(CDialog* owner, const std::string& text, unsigned type) {
    m_write(transcript::MessageBox(text));
    return m_inner.MessageBox(owner, text, type);
}
std::optional<std::string> TracingHost::ChooseFile(CDialog* owner, const std::string& title,
                                                   const std::string& initialName) {
    m_write(transcript::ChooseFile(title, initialName));
    return m_inner.ChooseFile(owner, title, initialName);
}

std::optional<std::string> TracingHost::ChooseSaveFile(CDialog* owner, const std::string& title,
                                                       const std::string& initialName,
                                                       const std::string& filter) {
    m_write(transcript::ChooseSaveFile(title, initialName));
    return m_inner.ChooseSaveFile(owner, title, initialName, filter);
}
std::optional<std::string> TracingHost::AskText(CDialog* owner, const std::string& title,
                                                const std::string& prompt) {
    m_write(transcript::AskText(prompt));
    return m_inner.AskText(owner, title, prompt);
}

bool TraceRequested() {
    const char* v = NonEmptyEnv("QUILLMERE_TRACE");
    return (v && *v != '0') || NonEmptyEnv("QUILLMERE_TRACE_FILE");
}

IDialogHost& TracedIfRequested(IDialogHost& host, std::optional<TracingHost>& slot) {
    if (!TraceRequested())
        return host;
    return slot.emplace(host, WriterFor(NonEmptyEnv("QUILLMERE_TRACE_FILE")));
}
