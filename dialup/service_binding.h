// Chooses the dial-up service at start and binds the three dial-up functions to it.
//
// Group "Dialup" of the profile store:
//   Service     auto (default): pppd and NetworkManager together; pppd, networkmanager, none,
//               or sim:OPTIONS for the simulator (docs/simulators.md)
//   Pppd        the pppd program (default /usr/sbin/pppd)
//   PeersFolder pppd's entries (default /etc/ppp/peers)
//   RunFolder   where pppd keeps its pid files (default /var/run)
#pragma once

#include <functional>
#include <memory>
#include <string>

class IDialupService;
class IProfileStore;

// Makes a service; nothing when it is not reachable (not on the bus, not installed).
using DialupFactory = std::function<std::shared_ptr<IDialupService>()>;

// Makes a service known under a name that "Service" can choose. The Qt-free core knows no D-Bus:
// the program registers the NetworkManager backend this way at start, tests their fakes.
void RegisterDialupBackend(const std::string& name, DialupFactory factory);
void RegisterNetworkManagerBackend(DialupFactory factory);

// The service that "Service" names; nothing, with the reason in reason, when it is missing.
std::shared_ptr<IDialupService> OpenDialupService(IProfileStore& profile, std::string& reason);

// Entry "Service" of group "Dialup" without surrounding blanks; "auto" when it is missing.
std::string DialupServiceChoice(IProfileStore& profile);

// A backend registered under name; empty when none is.
DialupFactory FindDialupBackend(const std::string& name);

// The system's own service for a name that is neither sim:, none nor registered: pppd,
// NetworkManager or both ("auto") here. Nothing with a reason when it is missing; nothing
// without one when the name is not the system's.
std::shared_ptr<IDialupService>
OpenSystemDialupService(const std::string& name, IProfileStore& profile, std::string& reason);

// Binds the three functions to the service, or leaves all three unbound for none.
void BindDialupService(std::shared_ptr<IDialupService> service);

// Reads group "Dialup", entry "Service"; leaves every function unbound when the chosen service
// is not there.
void BindDialupFunctions(IProfileStore& profile);
