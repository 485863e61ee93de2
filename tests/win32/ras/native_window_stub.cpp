// The tests run the dialogs headless: a dialog's window is the dialog object itself, so that
// the owner the system's dial-up dialog receives can be told apart.
#include "platform/native_window.h"

void* NativeWindowOf(CDialog* dialog) {
    return dialog;
}
