#include "link/port_discovery.h"

// Windows names its serial ports itself: COM1: is whatever the system put there.
std::unique_ptr<IPortDiscovery> MakeSystemPortDiscovery() {
    return nullptr;
}
