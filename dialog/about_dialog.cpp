#include "dialog/about_dialog.h"

#include "res/resource.h"
#include "res/resources.h"

CAboutDialog::CAboutDialog(CDialog& parent)
    : CDialog(parent.Host(), LoadDialogTemplate(IDD_ABOUT), &parent) {}
