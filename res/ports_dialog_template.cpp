// "Anschlüsse": which device stands behind each COM port. The boxes are wide enough for a
// stable device name with the product's name after it.
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

} // namespace

const DialogTemplate& PortsDialogTemplate() {
    static const DialogTemplate kPorts{
        IDD_PORTS,
        "IDD_PORTS",
        "Anschlüsse",
        340,
        108,
        "MS Sans Serif",
        8,
        kModalFrame | kCaption | kSysMenu,
        {
            // Each label right before its box, which it names for a screen reader.
            Label(0),
            Box(0),
            Label(1),
            Box(1),
            Label(2),
            Box(2),
            Label(3),
            Box(3),
            {IDOK,
             "IDOK",
             ControlKind::DefPushButton,
             "OK",
             {225, 86, 50, 14},
             kGroup | kTabStop,
             {}},
            {IDCANCEL,
             "IDCANCEL",
             ControlKind::PushButton,
             "Abbrechen",
             {280, 86, 50, 14},
             kTabStop,
             {}},
        },
    };
    return kPorts;
}
