// Opens what a port-map value names: "sim:OPTIONS" a simulated transceiver, anything else a
// device path; "" is a port that is not available.
#pragma once

#include "link/serial_port.h"

#include <memory>
#include <string>

class CancelToken;

OpenResult OpenComPort(const std::string& spec, std::shared_ptr<CancelToken> cancel);
