#include "dialup/service_binding.h"

#include "dialup/dial_dialog.h"
#include "dialup/ras.h"
#include "platform/profile_store.h"
#include "sim/dialup_sim.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

namespace {

std::mutex g_registryMutex;
std::map<std::string, DialupFactory>& Registry() {
    static std::map<std::string, DialupFactory> registry;
    return registry;
}

DialupFactory FindBackend(const std::string& name) {
    std::lock_guard lock(g_registryMutex);
    auto it = Registry().find(name);
    return it == Registry().end() ? DialupFactory() : it->second;
}

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

} // namespace

DialupFactory FindDialupBackend(const std::string& name) {
    return FindBackend(name);
}

void RegisterDialupBackend(const std::string& name, DialupFactory factory) {
    std::lock_guard lock(g_registryMutex);
    Registry()[name] = std::move(factory);
}

void RegisterNetworkManagerBackend(DialupFactory factory) {
    RegisterDialupBackend("networkmanager", std::move(factory));
}

std::string DialupServiceChoice(IProfileStore& profile) {
    return Trimmed(profile.Read("Dialup", "Service").value_or("auto"));
}

std::shared_ptr<IDialupService> OpenDialupService(IProfileStore& profile, std::string& reason) {
    const std::string choice = DialupServiceChoice(profile);
    if (choice.rfind("sim:", 0) == 0) {
        std::shared_ptr<IDialupService> sim = DialupSim::Open(choice.substr(4), reason);
        if (!sim)
            reason = choice + ": " + reason;
        return sim;
    }
    const std::string name = Lower(choice);
    if (name == "none") {
        reason = "no dial-up service chosen";
        return nullptr;
    }
    if (DialupFactory factory = FindBackend(name)) {
        auto service = factory();
        if (!service)
            reason = choice + " is not reachable";
        return service;
    }
    if (auto service = OpenSystemDialupService(name, profile, reason); service || !reason.empty())
        return service;
    reason = "unknown dial-up service '" + choice + "'";
    return nullptr;
}

void BindDialupService(std::shared_ptr<IDialupService> service) {
    if (!service) {
        g_pfnRasHangUp = nullptr;
        g_pfnRasEnumConnections = nullptr;
        g_pfnRasDialDlg = nullptr;
        return;
    }
    g_pfnRasEnumConnections = [service](std::vector<RASCONN>& connections) {
        auto listed = service->EnumConnections();
        if (!listed)
            return false;
        connections = std::move(*listed);
        return true;
    };
    g_pfnRasHangUp = [service](HRASCONN handle) { return service->HangUp(handle) ? 0u : 1u; };
    g_pfnRasDialDlg = [service](CDialog* owner, const std::string& entry) {
        return RunDialDialog(service, owner, entry);
    };
}
