#include "dialog/about_dialog.h"

#include "res/resource.h"
#include "res/resources.h"

// No parent given: the main dialog, the application's main window, owns it.
CAboutDialog::CAboutDialog() : CDialog(LoadDialogTemplate(IDD_ABOUT)) {}
