#include "platform/web_readout.h"

// The Windows program has no readout in the network: its installers align with the desktop's.
std::unique_ptr<IWebReadoutService> MakeWebReadoutService() {
    return nullptr;
}
