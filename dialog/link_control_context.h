// What the main dialog works with, handed to it at construction: the application object (its
// settings and command line), the host that shows it, time, the serial ports, the dial-up
// functions, the start of the follow-up program, the string table and the
// serial devices the system has. Tests build their own.
#pragma once

#include "dialup/ras.h"

#include <functional>
#include <string>

class CWinApp;
class IClock;
class IDialogHost;
class IPortDiscovery;
class IWebReadoutService;
class PortOpener;

// Starts the command line and does not wait for it; false when it cannot be started.
using FollowUpStarter = std::function<bool(const std::string& commandLine, bool hidden)>;
// A string of the string table; "" when it has none.
using StringLoader = std::function<std::string(int id)>;

struct LinkControlContext {
    CWinApp& app;
    IDialogHost& host;
    IClock& clock;
    const PortOpener& ports;
    DialupFunctions dialup;
    FollowUpStarter startFollowUp;
    StringLoader loadString;
    // The serial devices behind COM ports without a [Ports] entry; null where the system names
    // its ports itself.
    IPortDiscovery* discovery = nullptr;
    // The readout in a phone's browser; null where the program does not offer it.
    IWebReadoutService* webReadout = nullptr;
};
