// The three dial-up functions the program binds at start, from whichever service it runs with.
// Each stays empty when its service is missing, just as a function of a missing library would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CDialog;

using HRASCONN = std::uintptr_t; // 0: no connection

struct RASCONN {
    HRASCONN hrasconn = 0;
    std::string szEntryName;
};

// The active connections in the service's order; false when the service could not tell.
using PFN_RASENUMCONNECTIONS = std::function<bool(std::vector<RASCONN>& connections)>;
// Asks the service to end the connection; the result is not examined by the program.
using PFN_RASHANGUP = std::function<unsigned(HRASCONN)>;
// The modal dial dialog for an entry; true when the connection was established.
using PFN_RASDIALDLG = std::function<bool(CDialog* owner, const std::string& entryName)>;

// Bound once by InitInstance before any other thread runs; never changed afterwards.
extern PFN_RASHANGUP g_pfnRasHangUp;
extern PFN_RASENUMCONNECTIONS g_pfnRasEnumConnections;
extern PFN_RASDIALDLG g_pfnRasDialDlg;
