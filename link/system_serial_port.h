// The system's own serial ports, behind the port map: a tty here, a COM port on Windows.
#pragma once

#include "link/port_discovery.h"
#include "link/serial_port.h"

#include <memory>
#include <string>
#include <vector>

class CancelToken;

// Opens the device a port-map value names, exclusively.
OpenResult OpenSystemSerialPort(const std::string& device, std::shared_ptr<CancelToken> cancel);

// The device behind COM1 to COM9 (0 to 8) when the port map has no entry for it; "" for an
// index that is no such port. Where the system names its ports itself, devices is not needed.
std::string DefaultPortDevice(int nComPort, const std::vector<SerialDevice>& devices);
