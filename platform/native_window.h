// The system's own window behind a dialog, for calls that want an owner window (the system's
// dial-up dialog). On Windows the Win32 host defines it and answers the dialog's HWND; a program
// without windows of the system (a headless test) defines it to answer nothing.
#pragma once

class CDialog;

// Nothing while the dialog has no window.
void* NativeWindowOf(CDialog* dialog);
