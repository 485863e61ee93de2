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

struct DialupFunctions {
    // The active connections in the service's order; false when the service could not tell.
    std::function<bool(std::vector<RASCONN>& connections)> RasEnumConnections;
    // Asks the service to end the connection; the result is not examined by the program.
    std::function<unsigned(HRASCONN)> RasHangUp;
    // The modal dial dialog for an entry, owned by owner; true when the connection was
    // established. Called on the UI thread.
    std::function<bool(CDialog& owner, const std::string& entryName)> RasDialDlg;

    bool AllBound() const { return RasEnumConnections && RasHangUp && RasDialDlg; }
    bool NoneBound() const { return !RasEnumConnections && !RasHangUp && !RasDialDlg; }
};
