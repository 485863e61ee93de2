// Windows-flavoured names for the few scalar types and constants the dialog code uses.
#pragma once

#include <cstdint>
#include <string>

using BYTE = std::uint8_t;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LPARAM = std::intptr_t;
using CString = std::string; // UTF-8 text

// A handle is an opaque number; -1 means "nothing open", as on Windows.
using HANDLE = std::intptr_t;
inline constexpr HANDLE INVALID_HANDLE_VALUE = -1;

struct CSize {
    int cx = 0, cy = 0;
};

// Control notifications carried by the message map.
inline constexpr int BN_CLICKED = 0;
inline constexpr int CBN_SELCHANGE = 1;
inline constexpr int EN_CHANGE = 0x300;

// Dialog results and message-box flags.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr UINT MB_OK = 0;

inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

// System commands (the low four bits are the system's own).
inline constexpr UINT SC_CLOSE = 0xF060;

// The framework's Help command.
inline constexpr UINT ID_HELP = 0xE146;
