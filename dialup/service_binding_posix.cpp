#include "dialup/combined_service.h"
#include "dialup/pppd_service.h"
#include "dialup/service_binding.h"
#include "platform/profile_store.h"

#include <cstdio>

namespace {

PppdConfig ReadPppdConfig(IProfileStore& profile) {
    PppdConfig config;
    if (auto v = profile.Read("Dialup", "Pppd"); v && !v->empty())
        config.program = *v;
    if (auto v = profile.Read("Dialup", "PeersFolder"); v && !v->empty())
        config.peersDir = *v;
    if (auto v = profile.Read("Dialup", "RunFolder"); v && !v->empty())
        config.runDir = *v;
    return config;
}

std::shared_ptr<PppdService> OpenPppd(IProfileStore& profile) {
    auto pppd = std::make_shared<PppdService>(ReadPppdConfig(profile));
    return pppd->Installed() ? pppd : nullptr;
}

std::shared_ptr<IDialupService> OpenNetworkManager() {
    DialupFactory factory = FindDialupBackend("networkmanager");
    return factory ? factory() : nullptr;
}

} // namespace

std::shared_ptr<IDialupService>
OpenSystemDialupService(const std::string& name, IProfileStore& profile, std::string& reason) {
    if (name == "pppd") {
        auto pppd = OpenPppd(profile);
        if (!pppd)
            reason = "pppd is not installed (" + ReadPppdConfig(profile).program + ")";
        return pppd;
    }
    if (name == "auto" || name.empty()) {
        auto pppd = OpenPppd(profile);
        auto nm = OpenNetworkManager();
        if (pppd && nm)
            return std::make_shared<CombinedService>(pppd, nm);
        if (!pppd && !nm)
            reason = "neither pppd nor NetworkManager is there";
        return pppd ? std::shared_ptr<IDialupService>(pppd) : nm;
    }
    return nullptr;
}

void BindDialupFunctions(IProfileStore& profile) {
    std::string reason;
    std::shared_ptr<IDialupService> service = OpenDialupService(profile, reason);
    if (!service)
        std::fprintf(stderr, "Quillmere: dial-up functions not bound: %s\n", reason.c_str());
    BindDialupService(std::move(service));
}
