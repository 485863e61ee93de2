#include "link/port_open.h"

#include "link/system_serial_port.h"

void PortOpener::AddProvider(std::string prefix, Provider provider) {
    std::lock_guard lock(m_mutex);
    m_providers.emplace_back(std::move(prefix), std::move(provider));
}

void PortOpener::SetWrapper(Wrapper wrap) {
    std::lock_guard lock(m_mutex);
    m_wrap = std::move(wrap);
}

OpenResult PortOpener::Open(const std::string& portValue,
                            std::shared_ptr<CancelToken> cancel) const {
    Provider provider;
    std::string rest;
    Wrapper wrap;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [prefix, candidate] : m_providers)
            if (portValue.starts_with(prefix)) {
                provider = candidate;
                rest = portValue.substr(prefix.size());
                break;
            }
        wrap = m_wrap;
    }
    OpenResult opened;
    if (provider) {
        opened = provider(rest, std::move(cancel));
    } else if (portValue.empty()) {
        PortRefusal refusal;
        refusal.kind = PortRefusal::Kind::NotMapped;
        opened = {nullptr, "no device is mapped to this port", std::move(refusal)};
    } else {
        opened = OpenSystemSerialPort(portValue, std::move(cancel));
    }
    if (opened.port && wrap)
        opened.port = wrap(std::move(opened.port));
    return opened;
}
