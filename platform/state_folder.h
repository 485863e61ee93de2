// Where the program keeps what it writes for itself (the link tests' records), and the facts
// about this machine and this moment that such a record names.
#pragma once

#include <string>

// $XDG_STATE_HOME/<company>/<application> (default ~/.local/state/...); on Windows
// %LOCALAPPDATA%\<company>\<application>. Empty when the system names no such place.
std::string StateFolder(const std::string& company, const std::string& application);
std::string HostName();
// Now in local time with its offset: "2026-12-10T08:30:00+0100".
std::string LocalTimeStamp();
