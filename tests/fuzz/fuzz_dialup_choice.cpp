// The dial-up service choice, entry "Service" of group "Dialup", and the options of the
// simulated service: any text chooses a service or gives a reason, never anything else.
// Nothing here may reach the machine: pppd is looked for where it cannot be, no other backend
// is registered, and a simulator with a log is only parsed, never opened.
#include "app/simulators.h"
#include "dialup/service_binding.h"
#include "fuzz_check.h"
#include "link/port_open.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "sim/dialup_sim.h"

namespace {
// What the program registers: its simulators, nothing else.
const DialupBackends& Backends() {
    static SystemClock clock;
    static PortOpener ports;
    static const DialupBackends backends = [] {
        DialupBackends made;
        RegisterSimulators(ports, made, []() -> IClock& { return clock; });
        return made;
    }();
    return backends;
}

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string()
                                      : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string choice = Trimmed(text);
    const bool sim = choice.rfind("sim:", 0) == 0;

    const DialupSimParse parsed = ParseDialupSimOptions(sim ? choice.substr(4) : text);
    if (parsed.error.empty()) {
        for (const std::string& name : parsed.options.entries)
            FUZZ_CHECK(!name.empty() && name.find('|') == std::string::npos);
        FUZZ_CHECK(parsed.options.logPath.find(',') == std::string::npos);
    }
    if (sim && parsed.error.empty() && !parsed.options.logPath.empty())
        return 0;

    MemoryProfileStore profile;
    profile.Write("Dialup", "Service", text);
    profile.Write("Dialup", "Pppd", "/nonexistent/quillmere-fuzz/pppd");
    profile.Write("Dialup", "PeersFolder", "/nonexistent/quillmere-fuzz/peers");
    profile.Write("Dialup", "RunFolder", "/nonexistent/quillmere-fuzz/run");
    std::string reason;
    const auto service = OpenDialupService(Backends(), profile, reason);
    // Exactly one of the two: a service, or the reason there is none.
    FUZZ_CHECK((service != nullptr) == reason.empty());
    FUZZ_CHECK(!service || sim);
    return 0;
}
