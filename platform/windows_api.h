// <windows.h>, the common controls and the common dialogs for the files that put the framework
// layer onto the real system. The framework has Windows-flavoured names of its own (DWORD,
// HANDLE, GetTickCount, ...) that every other file uses; here the system's versions of them
// are renamed Win..., so that both can be seen in one file. Include this after every other header
// of the project.
#pragma once

#define BYTE WinBYTE
#define UINT WinUINT
#define DWORD WinDWORD
#define LPARAM WinLPARAM
#define HANDLE WinHANDLE
#define GetTickCount WinGetTickCount

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#undef BYTE
#undef UINT
#undef DWORD
#undef LPARAM
#undef HANDLE
#undef GetTickCount
// The framework's names of these are methods; the system's are reached by their W names.
// Sleep and ExitProcess take other argument types than the framework's and stay overloads;
// the system's GetTickCount is not needed (GetTickCount64 is).
#undef MessageBox
#undef DrawIcon
#undef PostMessage
#undef GetDlgItemText
#undef SetDlgItemText
