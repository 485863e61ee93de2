// The built-in simulators of the outside world, offered where the settings name them: a
// transceiver behind "sim:" ports, a dial-up service behind "sim:" services.
#pragma once

#include <functional>

class DialupBackends;
class IClock;
class PortOpener;

// clock answers the program's clock at the time a simulator is opened.
void RegisterSimulators(PortOpener& ports, DialupBackends& backends,
                        std::function<IClock&()> clock);
