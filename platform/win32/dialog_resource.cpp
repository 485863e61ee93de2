#include "platform/win32/dialog_resource.h"

#include "platform/resource_provider.h"
#include "platform/text_win32.h"

#include "platform/windows_api.h"

namespace {

class Writer {
public:
    void Word(std::uint16_t w) { m_words.push_back(w); }
    void Dword(std::uint32_t d) {
        Word(static_cast<std::uint16_t>(d & 0xFFFF));
        Word(static_cast<std::uint16_t>(d >> 16));
    }
    void Short(int v) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
    void Text(const std::wstring& s) {
        for (wchar_t c : s)
            Word(static_cast<std::uint16_t>(c));
        Word(0);
    }
    void Ordinal(std::uint16_t id) {
        Word(0xFFFF);
        Word(id);
    }
    // Every item starts on a 32-bit boundary.
    void Align() {
        if (m_words.size() % 2)
            Word(0);
    }
    std::vector<std::uint16_t> Take() { return std::move(m_words); }

private:
    std::vector<std::uint16_t> m_words;
};

// Predefined classes go by their atoms, as a resource compiler writes them.
std::uint16_t ClassAtom(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::AutoCheckBox:
        return 0x0080;
    case ControlKind::Edit:
        return 0x0081;
    case ControlKind::StaticText:
    case ControlKind::StaticIcon:
        return 0x0082;
    case ControlKind::DropDownList:
    case ControlKind::DropDown:
        return 0x0085;
    case ControlKind::ProgressBar:
        return 0;
    }
    return 0;
}

} // namespace

std::uint32_t DialogWindowStyle(const DialogTemplate& tmpl) {
    std::uint32_t style = WS_POPUP | DS_SETFONT;
    if (tmpl.style & kModalFrame)
        style |= DS_MODALFRAME;
    if (tmpl.style & kCaption)
        style |= WS_CAPTION;
    if (tmpl.style & kSysMenu)
        style |= WS_SYSMENU;
    if (tmpl.style & kVisible)
        style |= WS_VISIBLE;
    if (tmpl.style & k3DLook)
        style |= DS_3DLOOK;
    if (tmpl.style & kMinimizeBox)
        style |= WS_MINIMIZEBOX;
    if (tmpl.style & kMaximizeBox)
        style |= WS_MAXIMIZEBOX;
    return style;
}

std::uint32_t DialogExStyle(const DialogTemplate& tmpl) {
    return tmpl.style & kAppWindow ? WS_EX_APPWINDOW : 0;
}

std::uint32_t ControlWindowStyle(const ControlTemplate& c) {
    std::uint32_t style = WS_CHILD;
    if (c.visible)
        style |= WS_VISIBLE;
    if (c.style & kTabStop)
        style |= WS_TABSTOP;
    if (c.style & kGroup)
        style |= WS_GROUP;
    if (c.style & kVScroll)
        style |= WS_VSCROLL;
    if (c.style & kBorder)
        style |= WS_BORDER;
    switch (c.kind) {
    case ControlKind::DropDownList:
        style |= CBS_DROPDOWNLIST;
        if (c.style & kSorted)
            style |= CBS_SORT;
        break;
    case ControlKind::DropDown:
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL; // a path longer than the box may be typed
        if (c.style & kSorted)
            style |= CBS_SORT;
        break;
    case ControlKind::Edit:
        style |= ES_LEFT;
        if (c.style & kAutoHScroll)
            style |= ES_AUTOHSCROLL;
        break;
    case ControlKind::PushButton:
        style |= BS_PUSHBUTTON;
        break;
    case ControlKind::DefPushButton:
        style |= BS_DEFPUSHBUTTON;
        break;
    case ControlKind::AutoCheckBox:
        style |= BS_AUTOCHECKBOX;
        break;
    case ControlKind::ProgressBar:
        if (c.style & kSmooth)
            style |= PBS_SMOOTH;
        break;
    case ControlKind::StaticText:
        style |= c.style & kCenter ? SS_CENTER : SS_LEFT;
        if (c.style & kCenterImage)
            style |= SS_CENTERIMAGE;
        if (c.style & kNoPrefix)
            style |= SS_NOPREFIX;
        break;
    case ControlKind::StaticIcon:
        style |= SS_ICON;
        break;
    }
    return style;
}

std::uint32_t ControlExStyle(const ControlTemplate& c) {
    return c.style & kStaticEdge ? WS_EX_STATICEDGE : 0;
}

std::wstring ControlClassName(ControlKind kind) {
    switch (kind) {
    case ControlKind::DropDownList:
    case ControlKind::DropDown:
        return L"ComboBox";
    case ControlKind::Edit:
        return L"Edit";
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::AutoCheckBox:
        return L"Button";
    case ControlKind::ProgressBar:
        return PROGRESS_CLASSW;
    case ControlKind::StaticText:
    case ControlKind::StaticIcon:
        return L"Static";
    }
    return {};
}

std::vector<std::uint16_t> BuildDialogResource(const DialogTemplate& tmpl,
                                               const IResourceProvider& resources) {
    Writer w;
    w.Word(1);      // dlgVer
    w.Word(0xFFFF); // signature: the extended form
    w.Dword(0);     // helpID
    w.Dword(DialogExStyle(tmpl));
    w.Dword(DialogWindowStyle(tmpl));
    w.Word(static_cast<std::uint16_t>(tmpl.controls.size()));
    // Position 0, 0: the host centres the dialog as the framework does.
    w.Short(0);
    w.Short(0);
    w.Short(tmpl.cx);
    w.Short(tmpl.cy);
    w.Word(0); // no menu
    w.Word(0); // the dialog class
    w.Text(WideFromUtf8(tmpl.title));
    w.Word(static_cast<std::uint16_t>(tmpl.fontPointSize));
    w.Word(FW_NORMAL);
    w.Word(DEFAULT_CHARSET << 8); // italic 0, then the character set
    w.Text(WideFromUtf8(tmpl.fontName));

    for (const ControlTemplate& c : tmpl.controls) {
        w.Align();
        w.Dword(0); // helpID
        w.Dword(ControlExStyle(c));
        w.Dword(ControlWindowStyle(c));
        w.Short(c.rect.x);
        w.Short(c.rect.y);
        w.Short(c.rect.cx);
        w.Short(c.rect.cy);
        w.Dword(static_cast<std::uint32_t>(c.id));
        if (std::uint16_t atom = ClassAtom(c.kind))
            w.Ordinal(atom);
        else
            w.Text(ControlClassName(c.kind));
        if (c.kind == ControlKind::StaticIcon)
            w.Ordinal(static_cast<std::uint16_t>(resources.IconId(c.text)));
        else
            w.Text(WideFromUtf8(c.text));
        w.Word(0); // no creation data
    }
    return w.Take();
}
