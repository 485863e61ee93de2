#include "link/port_open.h"

#include "link/system_serial_port.h"
#include "sim/sim_port.h"

#include <mutex>
#include <string_view>

namespace {
std::mutex g_wrapperMutex;
PortWrapper g_wrapper;

OpenResult OpenUnwrapped(const std::string& portValue, std::shared_ptr<CancelToken> cancel) {
    constexpr std::string_view simPrefix = "sim:";
    if (portValue.empty())
        return {nullptr, "no device is mapped to this port"};
    if (portValue.starts_with(simPrefix))
        return OpenSimulatedPort(portValue.substr(simPrefix.size()), std::move(cancel));
    return OpenSystemSerialPort(portValue, std::move(cancel));
}
} // namespace

OpenResult OpenComPort(const std::string& portValue, std::shared_ptr<CancelToken> cancel) {
    OpenResult opened = OpenUnwrapped(portValue, std::move(cancel));
    PortWrapper wrap;
    {
        std::lock_guard lock(g_wrapperMutex);
        wrap = g_wrapper;
    }
    if (opened.port && wrap)
        opened.port = wrap(std::move(opened.port));
    return opened;
}

void SetPortWrapperForTests(PortWrapper wrap) {
    std::lock_guard lock(g_wrapperMutex);
    g_wrapper = std::move(wrap);
}
