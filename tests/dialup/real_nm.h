// A real NetworkManager for tests: started in a network namespace of its own on a private system
// bus (DBUS_SYSTEM_BUS_ADDRESS points there while it runs), driven with nmcli, stopped and
// reaped at the end whatever happened.
#pragma once

#include "tests/dialup/temp_dir.h"

#include <string>
#include <sys/types.h>
#include <vector>

struct CommandResult {
    int exitCode = -1;
    std::string output; // standard output and standard error
};

// Runs program with args and this process's environment, within limitMs; killed after that.
CommandResult RunCommand(const std::vector<std::string>& args, int limitMs);

class RealNetworkManager {
public:
    RealNetworkManager() = default;
    ~RealNetworkManager();
    RealNetworkManager(const RealNetworkManager&) = delete;
    RealNetworkManager& operator=(const RealNetworkManager&) = delete;

    // Why it cannot run here (not root, a program missing); empty when it can.
    static std::string Unavailable();

    // Starts it and waits until it manages v0; empty on success, else what went wrong.
    std::string Start();

    // nmcli against the private bus; the output has its trailing newline removed.
    CommandResult Nmcli(std::vector<std::string> args) const;
    // A static IPv4 profile on v0 that comes up without a peer.
    bool AddProfile(const std::string& name) const;
    // The profile's GENERAL.STATE as nmcli reads it: "activated", or empty when it is down.
    std::string State(const std::string& name) const;

    // Takes v0's carrier away (its peer v1 goes down) or gives it back, and returns once
    // NetworkManager has seen it.
    bool SetCarrier(bool on) const;
    // A profile on v0 that waits for an address from a DHCP server (there is none), at most
    // timeoutSeconds when that is not 0.
    bool AddDhcpProfile(const std::string& name, int timeoutSeconds = 0) const;

    // What NetworkManager and the bus daemon wrote, for a failure message.
    std::string Logs() const;

private:
    TempDir m_dir;
    pid_t m_bus = -1;
    pid_t m_nm = -1;
};
