// The application object: binds the dial-up functions and runs the main dialog.
#pragma once

#include "platform/win_app.h"

class CLinkControlApp : public CWinApp {
public:
    CLinkControlApp();
    bool InitInstance() override;
    // The framework's Help command (ID_HELP) goes to the dialog, which shows the About box.
};
