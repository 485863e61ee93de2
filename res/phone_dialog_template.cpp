// "Auf dem Telefon anzeigen": the QR code large enough for a phone's camera at arm's length, the
// address written out beneath it for a phone without a camera.
#include "platform/dialog_types.h"
#include "res/resource.h"
#include "res/resources.h"

const DialogTemplate& PhoneDialogTemplate() {
    static const DialogTemplate kPhone{
        IDD_PHONE,
        "IDD_PHONE",
        "Auf dem Telefon anzeigen",
        276,
        168,
        "MS Sans Serif",
        8,
        kModalFrame | kCaption | kSysMenu,
        {
            {IDC_PHONE_QR, "IDC_PHONE_QR", ControlKind::StaticText, "", {8, 8, 120, 120}, 0, {}},
            {-1, "", ControlKind::StaticText, "Adresse:", {136, 10, 130, 8}, 0, {}},
            {IDC_PHONE_ADDRESS,
             "IDC_PHONE_ADDRESS",
             ControlKind::DropDownList,
             "",
             {136, 20, 130, 60},
             kVScroll | kTabStop,
             {}},
            {IDC_PHONE_STATE,
             "IDC_PHONE_STATE",
             ControlKind::StaticText,
             "",
             {136, 42, 130, 8},
             kNoPrefix,
             {}},
            {-1,
             "",
             ControlKind::StaticText,
             "Mit der Kamera des Telefons\nscannen. Das Telefon muss\nim selben Netz sein.",
             {136, 60, 130, 28},
             0,
             {}},
            {IDC_PHONE_URL,
             "IDC_PHONE_URL",
             ControlKind::StaticText,
             "",
             {8, 134, 260, 8},
             kNoPrefix,
             {}},
            {IDCANCEL,
             "IDCANCEL",
             ControlKind::DefPushButton,
             "Schließen",
             {216, 148, 52, 14},
             kGroup | kTabStop,
             {}},
        },
    };
    return kPhone;
}
