// The About box.
#pragma once

#include "platform/dialog.h"

class CAboutDialog : public CDialog {
public:
    CAboutDialog();
};
