// Dialog templates as data: what a resource script would say about a dialog and its controls.
#pragma once

#include <string>
#include <vector>

struct DluRect {
    int x, y, cx, cy; // dialog units
};

enum class ControlKind {
    DropDownList, // CBS_DROPDOWNLIST
    DropDown,     // CBS_DROPDOWN: the user may type what the list lacks
    Edit,
    PushButton,
    DefPushButton,
    AutoCheckBox,
    ProgressBar,
    StaticText,
    StaticIcon,
};

// Style bits; only those the templates use.
enum ControlStyle : unsigned {
    kTabStop = 1u << 0,
    kGroup = 1u << 1,
    kSorted = 1u << 2,      // CBS_SORT
    kVScroll = 1u << 3,     // WS_VSCROLL
    kAutoHScroll = 1u << 4, // ES_AUTOHSCROLL
    kBorder = 1u << 5,      // WS_BORDER
    kSmooth = 1u << 6,      // PBS_SMOOTH
    kCenter = 1u << 7,      // SS_CENTER
    kCenterImage = 1u << 8, // SS_CENTERIMAGE: vertically centred
    kNoPrefix = 1u << 9,    // SS_NOPREFIX: "&" is shown as it is
    kStaticEdge = 1u << 10, // WS_EX_STATICEDGE: sunken frame
};

enum DialogStyle : unsigned {
    kModalFrame = 1u << 0,
    kCaption = 1u << 1,
    kSysMenu = 1u << 2,
    kVisible = 1u << 3,
    k3DLook = 1u << 4,
    kAppWindow = 1u << 5, // WS_EX_APPWINDOW: own taskbar button
    kMinimizeBox = 1u << 6,
    kMaximizeBox = 1u << 7,
};

struct ControlTemplate {
    int id;           // -1 for controls without an id
    const char* name; // "IDC_STATUS", or "" for unnamed labels
    ControlKind kind;
    std::string text; // window text; for icons the resource name
    DluRect rect;
    unsigned style;
    std::vector<std::string> items; // initial combo-box contents, in order
    bool visible = true;
};

struct DialogTemplate {
    int id;
    const char* name;
    std::string title;
    int cx, cy; // dialog units
    std::string fontName;
    int fontPointSize;
    unsigned style;
    std::vector<ControlTemplate> controls; // template order = tab order

    const ControlTemplate* Find(int controlId) const {
        for (const auto& c : controls)
            if (c.id == controlId && controlId != -1)
                return &c;
        return nullptr;
    }
};
