// The About box.
#pragma once

#include "platform/dialog.h"

class CAboutDialog : public CDialog {
public:
    // Owned by the main dialog.
    explicit CAboutDialog(CDialog& parent);
};
