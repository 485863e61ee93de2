#include "tests/support/fault_port.h"

#include "link/port_open.h"

namespace {
std::size_t Index(PortCall call) {
    return static_cast<std::size_t>(call);
}
} // namespace

std::string ToString(PortCall call) {
    static const char* const names[kPortCallKinds] = {"SetLine", "ReadCts", "WaitForCts",
                                                      "Write",   "Read",    "Purge"};
    return names[Index(call)];
}

FaultPort::FaultPort(std::unique_ptr<ISerialPort> inner, std::vector<PortFault> faults,
                     ReadFilter filter, CallHook hook)
    : m_inner(std::move(inner)), m_faults(std::move(faults)), m_filter(std::move(filter)),
      m_hook(std::move(hook)) {}

const PortFault* FaultPort::Next(PortCall call) {
    const int n = ++m_calls[Index(call)];
    if (m_hook)
        m_hook(call, n);
    for (const PortFault& f : m_faults)
        if (f.call == call && f.nth == n) {
            m_injected = "injected failure of " + ToString(call) + " #" + std::to_string(n);
            return &f;
        }
    m_injected.clear();
    return nullptr;
}

bool FaultPort::SetLine(const LineSettings& line) {
    return !Next(PortCall::SetLine) && m_inner->SetLine(line);
}
bool FaultPort::ReadCts(bool& on) {
    return !Next(PortCall::ReadCts) && m_inner->ReadCts(on);
}
bool FaultPort::WaitForCts(bool on, Timeout timeout) {
    return !Next(PortCall::WaitForCts) && m_inner->WaitForCts(on, timeout);
}

bool FaultPort::Write(std::span<const std::uint8_t> data, std::size_t& written, Timeout timeout) {
    written = 0;
    const PortFault* fault = Next(PortCall::Write);
    if (!fault)
        return m_inner->Write(data, written, timeout);
    if (!fault->shortWrite)
        return false;
    // What goes out is really sent; only the count falls short.
    const std::size_t shortCount = data.size() > 1 ? data.size() - 1 : 0;
    if (shortCount > 0 && !m_inner->Write(data.first(shortCount), written, timeout))
        return false;
    written = shortCount;
    return true;
}

bool FaultPort::Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) {
    got = 0;
    if (Next(PortCall::Read))
        return false;
    if (!m_inner->Read(buffer, got, timeout))
        return false;
    if (m_filter)
        m_filter(buffer, got);
    return true;
}

bool FaultPort::Purge() {
    return !Next(PortCall::Purge) && m_inner->Purge();
}

std::string FaultPort::LastError() const {
    return m_injected.empty() ? m_inner->LastError() : m_injected;
}

ScopedPortFaults::ScopedPortFaults(PortOpener& ports, std::vector<PortFault> faults,
                                   ReadFilter filter, CallHook hook)
    : m_ports(ports) {
    m_ports.SetWrapper([faults, filter, hook](std::unique_ptr<ISerialPort> port) {
        return std::make_unique<FaultPort>(std::move(port), faults, filter, hook);
    });
}

ScopedPortFaults::~ScopedPortFaults() {
    m_ports.SetWrapper({});
}
