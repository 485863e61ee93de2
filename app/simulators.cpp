#include "app/simulators.h"

#include "dialup/service_binding.h"
#include "link/port_open.h"
#include "sim/dialup_sim.h"
#include "sim/sim_port.h"

void RegisterSimulators(PortOpener& ports, DialupBackends& backends,
                        std::function<IClock&()> clock) {
    ports.AddProvider("sim:",
                      [clock](const std::string& options, std::shared_ptr<CancelToken> cancel) {
                          return OpenSimulatedPort(options, std::move(cancel), clock());
                      });
    backends.Register("sim:", [clock](const std::string& options, std::string& reason) {
        return std::shared_ptr<IDialupService>(DialupSim::Open(options, reason, clock()));
    });
}
