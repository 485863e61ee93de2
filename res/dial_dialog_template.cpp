// The dial dialog: the program's own counterpart of the system's dial-up dialog.
#include "platform/dialog_types.h"
#include "res/resource.h"
#include "res/resources.h"

const DialogTemplate& DialDialogTemplate() {
    static const DialogTemplate kDial{
        IDD_DIAL,
        "IDD_DIAL",
        "DFÜ-Verbindung herstellen",
        200,
        82,
        "MS Sans Serif",
        8,
        kModalFrame | kCaption | kSysMenu | kVisible | k3DLook,
        {
            {-1, "", ControlKind::StaticText, "Verbindung:", {10, 10, 45, 8}, kGroup, {}},
            // Names and the service's messages are shown as they are, "&" included.
            {IDC_DIAL_ENTRY,
             "IDC_DIAL_ENTRY",
             ControlKind::StaticText,
             "",
             {55, 10, 135, 8},
             kGroup | kNoPrefix,
             {}},
            {IDC_DIAL_STATUS,
             "IDC_DIAL_STATUS",
             ControlKind::StaticText,
             "",
             {10, 24, 180, 34}, // four lines: the longest failure sentence
             kGroup | kNoPrefix,
             {}},
            {IDCANCEL,
             "IDCANCEL",
             ControlKind::DefPushButton,
             "Abbrechen",
             {75, 62, 50, 14},
             kGroup | kTabStop,
             {}},
        },
    };
    return kDial;
}
