#include "platform/transcript.h"

#include "platform/dialog.h"
#include "platform/printable_text.h"

namespace transcript {

namespace {

std::string Control(const char* op, const CDialog& dlg, int id, const std::string& value) {
    return std::string(op) + " " + ControlName(dlg, id) + " " + value;
}

} // namespace

std::string Quote(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    // Built by appends: GCC 12 at -O3 warns falsely about "x" + std::string&&.
    std::string line = "\"";
    line += PrintableText(quoted);
    line += '"';
    return line;
}

std::string Tone(int hz, bool pulsed) {
    if (hz <= 0)
        return "tone off";
    return "tone " + std::to_string(hz) + (pulsed ? " pulsed" : "");
}

std::string ControlName(const CDialog& dlg, int id) {
    const ControlTemplate* c = dlg.Template().Find(id);
    return c && c->name[0] ? c->name : std::to_string(id);
}

std::string Open(const CDialog& dlg) {
    return std::string("open ") + dlg.Template().name;
}

std::string Ready(const CDialog& dlg) {
    return std::string("ready ") + dlg.Template().name;
}

std::string End(const CDialog& dlg, int result) {
    return std::string("end ") + dlg.Template().name + " " + std::to_string(result);
}

std::string Enable(const CDialog& dlg, int id, bool enable) {
    return Control("enable", dlg, id, enable ? "1" : "0");
}

std::string Text(const CDialog& dlg, int id, const std::string& text) {
    return Control("text", dlg, id, Quote(text));
}

std::string Check(const CDialog& dlg, int id, unsigned state) {
    return Control("check", dlg, id, std::to_string(state));
}

std::string Select(const CDialog& dlg, int id, int index) {
    return Control("select", dlg, id, std::to_string(index));
}

std::string Reset(const CDialog& dlg, int id) {
    return "reset " + ControlName(dlg, id);
}

std::string AddItem(const CDialog& dlg, int id, const std::string& text) {
    return Control("additem", dlg, id, Quote(text));
}

std::string Range(const CDialog& dlg, int id, int lower, int upper) {
    return Control("range", dlg, id, std::to_string(lower) + " " + std::to_string(upper));
}

std::string Pos(const CDialog& dlg, int id, int pos) {
    return Control("pos", dlg, id, std::to_string(pos));
}

std::string ToolTip(const CDialog& dlg, int id, const std::string& text) {
    return Control("tooltip", dlg, id, Quote(text));
}

std::string MenuSeparator() {
    return "menu separator";
}

std::string MenuItem(unsigned command, const std::string& text) {
    return "menu " + std::to_string(command) + " " + Quote(text);
}

std::string Icon(int iconId, bool big) {
    return "icon " + std::to_string(iconId) + (big ? " big" : " small");
}

std::string DrawIcon(int iconId, int x, int y) {
    return "drawicon " + std::to_string(iconId) + " " + std::to_string(x) + " " + std::to_string(y);
}

std::string MessageBox(const std::string& text) {
    return "messagebox " + Quote(text);
}

std::string ChooseFile(const std::string& title, const std::string& initialName) {
    return "choosefile " + Quote(title) + " " + Quote(initialName);
}

std::string ChooseSaveFile(const std::string& title, const std::string& initialName) {
    return "choosesavefile " + Quote(title) + " " + Quote(initialName);
}

std::string AskText(const std::string& prompt) {
    return "asktext " + Quote(prompt);
}

} // namespace transcript
