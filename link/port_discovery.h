// The serial devices the system really has, as its device database lists them: USB adapters
// and UARTs with hardware behind them, never the console, virtual terminals or 8250 ports
// without a UART. Finding them opens nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CancelToken;

struct SerialDevice {
    // The name that stays with the device: /dev/serial/by-id/... where udev made one, else
    // /dev/serial/by-path/..., else the node.
    std::string path;
    std::string node;     // /dev/ttyUSB0
    std::string driver;   // ftdi_sio, cdc_acm, serial8250 ...
    bool onBoard = false; // an on-board or PCI UART, listed before the adapters
    // USB adapters only: hex ids as the device reports them ("0403"), serial number and the
    // product's own name ("FT232R USB UART").
    std::string vendorId;
    std::string productId;
    std::string serial;
    std::string product;

    bool operator==(const SerialDevice&) const = default;
};

class IPortDiscovery {
public:
    virtual ~IPortDiscovery() = default;
    // In the order COM1, COM2 ... take them by default: on-board ports by their number, then
    // adapters by their stable name.
    virtual std::vector<SerialDevice> Devices() = 0;
    // Blocks until a serial device has come or gone (true) or cancel is given (false).
    virtual bool WaitForChange(const CancelToken& cancel) = 0;
};

// The system's device database; null where the system names its serial ports itself (Windows).
std::unique_ptr<IPortDiscovery> MakeSystemPortDiscovery();
