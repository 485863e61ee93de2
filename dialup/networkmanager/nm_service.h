// NetworkManager over D-Bus as the dial-up service: the active connections by their Id, handle =
// the active-connection object, hang-up = DeactivateConnection, dial = ActivateConnection of the
// saved connection whose Id is the entry name, followed until it is up or has failed.
//
// The bus is the system bus, taken from DBUS_SYSTEM_BUS_ADDRESS when that is set (tests run the
// service's stand-in on a private bus).
#pragma once

#include "dialup/dialup_service.h"

#include <memory>

class DialupBackends;

// The service, or nothing when NetworkManager is not on the bus. Needs the caller's Qt
// application object (without one: nothing); the program keeps libdbus's warnings from being
// fatal (DBUS_FATAL_WARNINGS=0) before Qt starts.
std::shared_ptr<IDialupService> MakeNetworkManagerService();

// Registers MakeNetworkManagerService as the "networkmanager" backend, before the dial-up
// functions are bound.
void InstallNetworkManagerBackend(DialupBackends& backends);

// The German sentence for the reason an activation ended without the connection coming up.
std::string NetworkManagerReasonText(unsigned reason);
