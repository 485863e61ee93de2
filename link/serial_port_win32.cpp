#include "link/system_serial_port.h"

#include "link/port_map.h"

OpenResult OpenSystemSerialPort(const std::string&, std::shared_ptr<CancelToken>) {
    return {nullptr, "the Windows serial backend is not built yet"};
}

std::string DefaultPortDevice(int nComPort) {
    if (nComPort >= 0 && nComPort <= 8)
        return ComPortName(nComPort);
    return {};
}
