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
        if (f.call == call && f.nth == n)
            return &f;
    return nullptr;
}

SerialResult FaultPort::Injected(PortCall call) const {
    return SerialResult::Failed("injected failure of " + ToString(call) + " #" +
                                std::to_string(m_calls[Index(call)]));
}

SerialResult FaultPort::SetLine(const LineSettings& line) {
    return Next(PortCall::SetLine) ? Injected(PortCall::SetLine) : m_inner->SetLine(line);
}
SerialResult FaultPort::ReadCts(bool& on) {
    return Next(PortCall::ReadCts) ? Injected(PortCall::ReadCts) : m_inner->ReadCts(on);
}
SerialResult FaultPort::WaitForCts(bool on, Timeout timeout) {
    return Next(PortCall::WaitForCts) ? Injected(PortCall::WaitForCts)
                                      : m_inner->WaitForCts(on, timeout);
}

SerialResult FaultPort::Write(std::span<const std::uint8_t> data, std::size_t& written,
                              Timeout timeout) {
    written = 0;
    const PortFault* fault = Next(PortCall::Write);
    if (!fault)
        return m_inner->Write(data, written, timeout);
    if (!fault->shortWrite)
        return Injected(PortCall::Write);
    // What goes out is really sent; only the count falls short.
    const std::size_t shortCount = data.size() > 1 ? data.size() - 1 : 0;
    if (shortCount > 0)
        if (SerialResult sent = m_inner->Write(data.first(shortCount), written, timeout);
            !sent.Ok())
            return sent;
    written = shortCount;
    return {};
}

SerialResult FaultPort::Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) {
    got = 0;
    if (Next(PortCall::Read))
        return Injected(PortCall::Read);
    SerialResult result = m_inner->Read(buffer, got, timeout);
    if (!m_filter || (!result.Ok() && result.status != SerialStatus::TimedOut))
        return result;
    m_filter(buffer, got);
    return got < buffer.size() ? SerialResult::TimedOut() : SerialResult{};
}

SerialResult FaultPort::Purge() {
    return Next(PortCall::Purge) ? Injected(PortCall::Purge) : m_inner->Purge();
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
