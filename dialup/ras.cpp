#include "dialup/ras.h"

PFN_RASHANGUP g_pfnRasHangUp;
PFN_RASENUMCONNECTIONS g_pfnRasEnumConnections;
PFN_RASDIALDLG g_pfnRasDialDlg;
