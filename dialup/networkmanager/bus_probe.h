// Asks a D-Bus bus, over a socket of our own and within a deadline, whether it answers and whether
// a name has an owner there. libdbus waits 25 s for a bus that accepts and says nothing, on the
// calling thread, and Qt cannot be told otherwise: the program asks first and connects only to a
// bus that has just answered.
#pragma once

#include <chrono>
#include <string>

struct BusProbeResult {
    bool connected = false; // a socket took the connection
    bool answered = false;  // the bus took us in and answered Hello
    bool hasOwner = false;  // and named an owner for the name
    std::string reason;     // why not, for standard error
};

// address: a D-Bus address list ("unix:path=...;unix:abstract=..."); only unix addresses can be
// asked, and the first that takes the connection is.
BusProbeResult ProbeBus(const std::string& address, const std::string& name,
                        std::chrono::milliseconds limit);

// DBUS_SYSTEM_BUS_ADDRESS, or the system bus's usual socket.
std::string SystemBusAddress();
