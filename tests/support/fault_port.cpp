#include "tests/support/fault_port.h"

#include "link/port_open.h"

namespace {
std::size_t Index(PortCall call) {
    return static_cast<std::size_t>(call);
}
} // namespace

std::string ToString(PortCall call) {
    static const char* const names[kPortCallKinds] = {
        "GetCommState",       "SetCommState", "SetCommTimeouts", "SetCommMask", "WaitCommEvent",
        "GetCommModemStatus", "WriteFile",    "ReadFile",        "PurgeComm",
    };
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

bool FaultPort::GetCommState(DCB& dcb) {
    return !Next(PortCall::GetCommState) && m_inner->GetCommState(dcb);
}
bool FaultPort::SetCommState(const DCB& dcb) {
    return !Next(PortCall::SetCommState) && m_inner->SetCommState(dcb);
}
bool FaultPort::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
    return !Next(PortCall::SetCommTimeouts) && m_inner->SetCommTimeouts(timeouts);
}
bool FaultPort::SetCommMask(DWORD mask) {
    return !Next(PortCall::SetCommMask) && m_inner->SetCommMask(mask);
}
bool FaultPort::WaitCommEvent(DWORD& eventMask) {
    return !Next(PortCall::WaitCommEvent) && m_inner->WaitCommEvent(eventMask);
}
bool FaultPort::GetCommModemStatus(DWORD& modemStatus) {
    return !Next(PortCall::GetCommModemStatus) && m_inner->GetCommModemStatus(modemStatus);
}

bool FaultPort::WriteFile(const void* buffer, DWORD count, DWORD& written) {
    written = 0;
    const PortFault* fault = Next(PortCall::WriteFile);
    if (!fault)
        return m_inner->WriteFile(buffer, count, written);
    if (!fault->shortWrite)
        return false;
    // What goes out is really sent; only the count falls short.
    const DWORD shortCount = count > 1 ? count - 1 : 0;
    if (shortCount > 0 && !m_inner->WriteFile(buffer, shortCount, written))
        return false;
    written = shortCount;
    return true;
}

bool FaultPort::ReadFile(void* buffer, DWORD count, DWORD& read) {
    read = 0;
    if (Next(PortCall::ReadFile))
        return false;
    if (!m_inner->ReadFile(buffer, count, read))
        return false;
    if (m_filter)
        m_filter(static_cast<BYTE*>(buffer), count, read);
    return true;
}

bool FaultPort::PurgeComm(DWORD flags) {
    return !Next(PortCall::PurgeComm) && m_inner->PurgeComm(flags);
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
