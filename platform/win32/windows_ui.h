// The common controls and common dialogs beside <windows.h>, under the same renaming as
// platform/windows_api.h. Include it where windows_api.h would go: after every project header.
#pragma once

#include "platform/windows_api.h"

#define BYTE WinBYTE
#define UINT WinUINT
#define DWORD WinDWORD
#define LPARAM WinLPARAM
#define HANDLE WinHANDLE

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#undef BYTE
#undef UINT
#undef DWORD
#undef LPARAM
#undef HANDLE
// The framework's names of these are methods of CDialog.
#undef GetDlgItemText
#undef SetDlgItemText
