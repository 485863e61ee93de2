#include "dialup/service_binding.h"

#include "dialup/dial_dialog.h"
#include "dialup/ras.h"
#include "platform/profile_store.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return s;
}

bool IsPrefix(const std::string& name) {
    return !name.empty() && name.back() == ':';
}

} // namespace

void DialupBackends::Register(const std::string& name, Factory factory) {
    const std::string key = IsPrefix(name) ? name : Lower(name);
    if (factory)
        m_factories[key] = std::move(factory);
    else
        m_factories.erase(key);
}

DialupBackends::Factory DialupBackends::Find(const std::string& name) const {
    auto it = m_factories.find(IsPrefix(name) ? name : Lower(name));
    return it == m_factories.end() ? Factory() : it->second;
}

std::string DialupServiceChoice(IProfileStore& profile) {
    return Trimmed(profile.Read("Dialup", "Service").value_or("auto"));
}

std::shared_ptr<IDialupService> OpenDialupService(const DialupBackends& backends,
                                                  IProfileStore& profile, std::string& reason) {
    const std::string choice = DialupServiceChoice(profile);
    if (const size_t colon = choice.find(':'); colon != std::string::npos)
        if (DialupBackends::Factory factory = backends.Find(choice.substr(0, colon + 1))) {
            std::shared_ptr<IDialupService> service = factory(choice.substr(colon + 1), reason);
            if (!service)
                reason = choice + ": " + reason;
            return service;
        }
    const std::string name = Lower(choice);
    if (name == "none") {
        reason = "no dial-up service chosen";
        return nullptr;
    }
    // A prefix takes only choices that start with it exactly; "SIM:" names no service.
    if (DialupBackends::Factory factory = IsPrefix(name) ? nullptr : backends.Find(name)) {
        std::string ignored;
        auto service = factory("", ignored);
        if (!service)
            reason = choice + " is not reachable";
        return service;
    }
    if (auto service = OpenSystemDialupService(name, backends, profile, reason);
        service || !reason.empty())
        return service;
    reason = "unknown dial-up service '" + choice + "'";
    return nullptr;
}

DialupFunctions BindDialupService(std::shared_ptr<IDialupService> service) {
    DialupFunctions functions;
    if (!service)
        return functions;
    functions.RasEnumConnections = [service](std::vector<RASCONN>& connections) {
        auto listed = service->EnumConnections();
        if (!listed)
            return false;
        connections = std::move(*listed);
        return true;
    };
    functions.RasHangUp = [service](HRASCONN handle) { return service->HangUp(handle) ? 0u : 1u; };
    functions.RasDialDlg = [service](CDialog& owner, const std::string& entry) {
        return RunDialDialog(service, owner, entry);
    };
    return functions;
}
