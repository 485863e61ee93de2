#include "res/resource.h"
#include "res/resources.h"

#include <stdexcept>

const DialogTemplate& DialDialogTemplate();  // res/dial_dialog_template.cpp
const DialogTemplate& PortsDialogTemplate(); // res/ports_dialog_template.cpp
const DialogTemplate& PhoneDialogTemplate(); // res/phone_dialog_template.cpp

namespace {

const DialogTemplate kMain{
    IDD_MAIN,
    "IDD_MAIN",
    "Quillmere",
    230,
    220,
    "MS Sans Serif",
    8,
    kModalFrame | kCaption | kSysMenu | kVisible | k3DLook | kAppWindow,
    {
        // A label comes right before its control: a screen reader names the control by it.
        {-1, "", ControlKind::StaticText, "Serieller Port:", {10, 12, 42, 8}, kGroup, {}},
        {IDC_COM_PORT,
         "IDC_COM_PORT",
         ControlKind::DropDownList,
         "",
         {70, 10, 45, 50},
         kSorted | kVScroll | kTabStop,
         {"COM1", "COM2", "COM3", "COM4"}},
        {-1, "", ControlKind::StaticText, "Baudrate:", {10, 37, 32, 8}, kGroup, {}},
        {IDC_BAUDRATE,
         "IDC_BAUDRATE",
         ControlKind::DropDownList,
         "",
         {70, 35, 45, 50},
         kVScroll | kTabStop, // unsorted: the index is the index into the baud tables
         {"19200", "38400", "57600", "115200"}},
        {-1, "", ControlKind::StaticText, "Empfindlichkeit:", {10, 62, 50, 8}, kGroup, {}},
        {IDC_SENSITIVITY,
         "IDC_SENSITIVITY",
         ControlKind::DropDownList,
         "",
         {70, 60, 85, 75},
         kSorted | kVScroll | kTabStop,
         {"1 - extrem störanfällig", "2 - sehr empfindlich", "3 - empfindlich", "4 - optimal",
          "5 - optimal", "6 - bei Störungen", "7 - bei Störungen"}},
        {-1, "", ControlKind::StaticText, "DFÜ-Verbindung:", {10, 87, 56, 8}, kGroup, {}},
        {IDC_RAS_LINK_NAME,
         "IDC_RAS_LINK_NAME",
         ControlKind::Edit,
         "",
         {70, 85, 85, 13},
         kBorder | kAutoHScroll | kTabStop,
         {}},
        {-1,
         "",
         ControlKind::StaticText,
         "Ausführen nach\n aufgebauter\n Verbindung:",
         {10, 112, 58, 24},
         kGroup,
         {}},
        {IDC_RUN_PROGRAM,
         "IDC_RUN_PROGRAM",
         ControlKind::Edit,
         "",
         {70, 110, 137, 13},
         kBorder | kAutoHScroll | kTabStop,
         {}},
        {IDC_BROWSE,
         "IDC_BROWSE",
         ControlKind::PushButton,
         "...",
         {207, 110, 13, 13},
         kTabStop,
         {}},
        {IDC_RUN_INVISIBLE,
         "IDC_RUN_INVISIBLE",
         ControlKind::AutoCheckBox,
         "unsichtbar ausführen",
         {70, 130, 82, 10},
         kTabStop,
         {}},
        {IDC_SAVE,
         "IDC_SAVE",
         ControlKind::PushButton,
         "Speichern",
         {170, 10, 50, 14},
         kTabStop,
         {}},
        {IDC_CONFIGURE,
         "IDC_CONFIGURE",
         ControlKind::PushButton,
         "Konfigurieren",
         {10, 195, 50, 14},
         kTabStop,
         {}},
        {IDC_TEST, "IDC_TEST", ControlKind::PushButton, "Testen", {90, 195, 50, 14}, kTabStop, {}},
        {IDC_CONNECT,
         "IDC_CONNECT",
         ControlKind::PushButton,
         "Verbinden",
         {170, 195, 50, 14},
         kTabStop,
         {}},
        {-1, "", ControlKind::StaticText, "Link-Qualität:", {10, 153, 42, 8}, kGroup, {}},
        {IDC_LINK_QUALITY,
         "IDC_LINK_QUALITY",
         ControlKind::ProgressBar,
         "Progress1",
         {70, 150, 150, 13},
         kBorder | kSmooth,
         {}},
        {IDC_STATUS,
         "IDC_STATUS",
         ControlKind::StaticText,
         "",
         {10, 175, 210, 11},
         kCenter | kCenterImage | kStaticEdge | kGroup,
         {}},
    },
};

const DialogTemplate kAbout{
    IDD_ABOUT,
    "IDD_ABOUT",
    "Info über Quillmere",
    217,
    46,
    "MS Sans Serif",
    8,
    kModalFrame | kCaption | kSysMenu,
    {
        {-1, "", ControlKind::StaticIcon, "IDI_MAIN", {10, 5, 21, 20}, 0, {}},
        {-1,
         "",
         ControlKind::StaticText,
         "Quillmere Version 1.0",
         {40, 10, 95, 8},
         kGroup | kNoPrefix,
         {}},
        {-1,
         "",
         ControlKind::StaticText,
         "Copyright © 2026 Talvenmark",
         {40, 25, 95, 8},
         kGroup,
         {}},
        {1, "IDOK", ControlKind::DefPushButton, "OK", {155, 20, 50, 14}, kGroup | kTabStop, {}},
    },
};

} // namespace

const DialogTemplate& LoadDialogTemplate(int id) {
    switch (id) {
    case IDD_MAIN:
        return kMain;
    case IDD_ABOUT:
        return kAbout;
    case IDD_DIAL:
        return DialDialogTemplate();
    case IDD_PORTS:
        return PortsDialogTemplate();
    case IDD_PHONE:
        return PhoneDialogTemplate();
    }
    throw std::out_of_range("no dialog template " + std::to_string(id));
}
