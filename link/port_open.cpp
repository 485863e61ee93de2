#include "link/port_open.h"

#include "link/serial_port_posix.h"
#include "sim/sim_port.h"

#include <string_view>

OpenResult OpenComPort(const std::string& spec, std::shared_ptr<CancelToken> cancel) {
    constexpr std::string_view simPrefix = "sim:";
    if (spec.empty())
        return {nullptr, "no device is mapped to this port"};
    if (spec.starts_with(simPrefix))
        return OpenSimulatedPort(spec.substr(simPrefix.size()), std::move(cancel));
    return OpenPosixSerialPort(spec, std::move(cancel));
}
