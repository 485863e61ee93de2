// What tests set in the main dialog that no click sets by itself: the automatic sequence for a
// step started by hand, or a connection handle as a lookup would leave it.
#pragma once

#include "dialog/link_control_dialog.h"

struct CLinkControlDialogTestPeer {
    static void SetAutoMode(CLinkControlDialog& dlg, bool on) { dlg.m_bAutoMode = on; }
    static void SetRasConn(CLinkControlDialog& dlg, HRASCONN handle) { dlg.m_hRasConn = handle; }
};
using DialogPeer = CLinkControlDialogTestPeer;
