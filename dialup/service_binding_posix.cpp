#include "dialup/combined_service.h"
#include "dialup/pppd_service.h"
#include "dialup/service_binding.h"
#include "platform/diagnostics.h"
#include "platform/profile_store.h"

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

std::shared_ptr<IDialupService> OpenNetworkManager(const DialupBackends& backends) {
    DialupBackends::Factory factory = backends.Find("networkmanager");
    std::string ignored;
    return factory ? factory("", ignored) : nullptr;
}

} // namespace

std::shared_ptr<IDialupService> OpenSystemDialupService(const std::string& name,
                                                        const DialupBackends& backends,
                                                        IProfileStore& profile,
                                                        std::string& reason) {
    if (name == "pppd") {
        auto pppd = OpenPppd(profile);
        if (!pppd)
            reason = "pppd is not installed (" + ReadPppdConfig(profile).program + ")";
        return pppd;
    }
    if (name == "auto" || name.empty()) {
        auto pppd = OpenPppd(profile);
        auto nm = OpenNetworkManager(backends);
        if (pppd && nm)
            return std::make_shared<CombinedService>(pppd, nm);
        if (!pppd && !nm)
            reason = "neither pppd nor NetworkManager is there";
        return pppd ? std::shared_ptr<IDialupService>(pppd) : nm;
    }
    return nullptr;
}

DialupFunctions BindDialupFunctions(const DialupBackends& backends, IProfileStore& profile) {
    std::string reason;
    std::shared_ptr<IDialupService> service = OpenDialupService(backends, profile, reason);
    if (!service)
        DiagnoseFormat("Quillmere: dial-up functions not bound: %s", reason.c_str());
    return BindDialupService(std::move(service));
}
