// Serial ports that lead to a simulated transceiver instead of a device: a port-map value
// "sim:OPTIONS" (see docs/simulators.md). Each distinct option text has one transceiver for the
// life of the process, so its power and configured rate outlast closing the port.
#pragma once

#include "link/serial_port.h"

#include <memory>
#include <string>

class CancelToken;
class IClock;
class Transceiver;

// options: the text after "sim:". Fails with a reason when the options are malformed, the log
// cannot be opened, or the port is open already. Every blocking call of the port is woken by
// cancel (which may be empty for a caller that never waits). The port's time is clock's: the
// program's own, so that both run on one virtual time in tests.
OpenResult OpenSimulatedPort(const std::string& options, std::shared_ptr<CancelToken> cancel,
                             IClock& clock);

// The transceiver behind "sim:" + options once such a port has been opened; empty before.
// For tests that switch it by hand or look at its state.
std::shared_ptr<Transceiver> FindSimulatedTransceiver(const std::string& options);
