// Chooses the dial-up service at start and binds the three dial-up functions to it.
//
// Group "Dialup" of the profile store:
//   Service     auto (default): pppd and NetworkManager together; pppd, networkmanager, none,
//               or sim:OPTIONS for the simulator (docs/simulators.md)
//   Pppd        the pppd program (default /usr/sbin/pppd)
//   PeersFolder pppd's entries (default /etc/ppp/peers)
//   RunFolder   where pppd keeps its pid files (default /var/run)
#pragma once

#include "dialup/ras.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

class IDialupService;
class IProfileStore;

// The services that "Service" can choose beside the system's own. The Qt-free core knows no
// D-Bus and no simulator: the program registers NetworkManager and the simulator at start,
// tests their fakes.
class DialupBackends {
public:
    // Makes a service from the text after a prefix ("" for a name); nothing, with the reason
    // when one is known, when it is not reachable.
    using Factory = std::function<std::shared_ptr<IDialupService>(const std::string& options,
                                                                  std::string& reason)>;

    // A name ending in ':' is a prefix that takes every choice starting with it ("sim:");
    // other names are matched whole, in any letter case. An empty factory takes a name back.
    void Register(const std::string& name, Factory factory);
    Factory Find(const std::string& name) const;

private:
    std::map<std::string, Factory> m_factories;
};

// The service that "Service" names; nothing, with the reason in reason, when it is missing.
std::shared_ptr<IDialupService> OpenDialupService(const DialupBackends& backends,
                                                  IProfileStore& profile, std::string& reason);

// Entry "Service" of group "Dialup" without surrounding blanks; "auto" when it is missing.
std::string DialupServiceChoice(IProfileStore& profile);

// The system's own service for a name that is neither registered nor none: pppd,
// NetworkManager or both ("auto") here. Nothing with a reason when it is missing; nothing
// without one when the name is not the system's.
std::shared_ptr<IDialupService> OpenSystemDialupService(const std::string& name,
                                                        const DialupBackends& backends,
                                                        IProfileStore& profile,
                                                        std::string& reason);

// The three functions bound to the service, or all three unbound for none.
DialupFunctions BindDialupService(std::shared_ptr<IDialupService> service);

// Reads group "Dialup", entry "Service"; leaves every function unbound when the chosen service
// is not there.
DialupFunctions BindDialupFunctions(const DialupBackends& backends, IProfileStore& profile);
