// <windows.h>, the common controls and the common dialogs for the files that put the framework
// layer onto the real system. Include this after every other header of the project: the
// framework's methods share some names with the system's macros, which are taken back here.
#pragma once

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

// The framework's names of these are methods; the system's are reached by their W names.
#undef MessageBox
#undef DrawIcon
#undef PostMessage
#undef GetDlgItemText
#undef SetDlgItemText
