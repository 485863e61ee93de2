// The last step of the initialisation: which of the start modes applies.
#include "dialog/link_control_dialog.h"

void CLinkControlDialog::DecideStartMode() {}
