#include "dialup/service_binding.h"

#include "platform/profile_store.h"

std::shared_ptr<IDialupService> OpenSystemDialupService(const std::string&, IProfileStore&,
                                                        std::string&) {
    return nullptr;
}

void BindDialupFunctions(IProfileStore& profile) {
    std::string reason;
    BindDialupService(OpenDialupService(profile, reason));
}
