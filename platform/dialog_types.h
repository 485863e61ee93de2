// What the dialogs and their hosts agree on: sizes, notification codes, dialog results,
// message-box flags and command ids, with the framework's names.
#pragma once

#include <cstdint>

struct CSize {
    int cx = 0, cy = 0;
};

// Control notifications carried by the message map.
inline constexpr int BN_CLICKED = 0;
inline constexpr int CBN_SELCHANGE = 1;
inline constexpr int CBN_EDITCHANGE = 5; // the user typed into an editable combo box
inline constexpr int EN_CHANGE = 0x300;

// Dialog results and message-box flags.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr unsigned MB_OK = 0;

inline constexpr unsigned BST_UNCHECKED = 0;
inline constexpr unsigned BST_CHECKED = 1;

// System commands (the low four bits are the system's own).
inline constexpr unsigned SC_CLOSE = 0xF060;

// The framework's Help command.
inline constexpr unsigned ID_HELP = 0xE146;
