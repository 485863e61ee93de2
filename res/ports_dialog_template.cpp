// "Anschlüsse": which device stands behind each COM port. The boxes are wide enough for a
// stable device name with the product's name after it; beside each, a word when the path it
// names is not there.
#include "platform/dialog_types.h"
#include "res/resource.h"
#include "res/resources.h"

namespace {

ControlTemplate Label(int row) {
    const std::string text = "COM" + std::to_string(row + 1) + ":";
    return {-1, "", ControlKind::StaticText, text, {10, 12 + 18 * row, 26, 8}, kGroup, {}};
}

ControlTemplate Box(int row) {
    static const char* const kNames[] = {"IDC_PORT_COM1", "IDC_PORT_COM2", "IDC_PORT_COM3",
                                         "IDC_PORT_COM4"};
    return {IDC_PORT_COM1 + row,
            kNames[row],
            ControlKind::DropDown,
            "",
            {40, 10 + 18 * row, 290, 80},
            kVScroll | kAutoHScroll | kTabStop,
            {}};
}

// After its box, so that a screen reader reads it with the row.
ControlTemplate Missing(int row) {
    static const char* const kNames[] = {"IDC_PORT_MISSING1", "IDC_PORT_MISSING2",
                                         "IDC_PORT_MISSING3", "IDC_PORT_MISSING4"};
    return {IDC_PORT_MISSING1 + row,
            kNames[row],
            ControlKind::StaticText,
            "",
            {334, 12 + 18 * row, 60, 8},
            0,
            {}};
}

} // namespace

const DialogTemplate& PortsDialogTemplate() {
    static const DialogTemplate kPorts{
        IDD_PORTS,
        "IDD_PORTS",
        "Anschlüsse",
        400,
        108,
        "MS Sans Serif",
        8,
        kModalFrame | kCaption | kSysMenu,
        {
            // Each label right before its box, which it names for a screen reader.
            Label(0),
            Box(0),
            Missing(0),
            Label(1),
            Box(1),
            Missing(1),
            Label(2),
            Box(2),
            Missing(2),
            Label(3),
            Box(3),
            Missing(3),
            {IDOK,
             "IDOK",
             ControlKind::DefPushButton,
             "OK",
             {285, 86, 50, 14},
             kGroup | kTabStop,
             {}},
            {IDCANCEL,
             "IDCANCEL",
             ControlKind::PushButton,
             "Abbrechen",
             {340, 86, 50, 14},
             kTabStop,
             {}},
        },
    };
    return kPorts;
}
