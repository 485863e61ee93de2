// Opens what a port-map value names: "sim:OPTIONS" a simulated transceiver, anything else a
// device path; "" is a port that is not available.
#pragma once

#include "link/serial_port.h"

#include <functional>
#include <memory>
#include <string>

class CancelToken;

OpenResult OpenComPort(const std::string& portValue, std::shared_ptr<CancelToken> cancel);

// Tests: every port opened from now on is passed through wrap (e.g. to inject failures);
// an empty function ends it.
using PortWrapper = std::function<std::unique_ptr<ISerialPort>(std::unique_ptr<ISerialPort>)>;
void SetPortWrapperForTests(PortWrapper wrap);
