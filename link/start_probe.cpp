#include "link/start_probe.h"

#include "link/link_job_port.h"

namespace {

// Nobody waits for the probe's reports: what it found is its result.
class Unreported final : public ILinkReporter {
public:
    void Status(const std::string&) override {}
    void StatusDetail(const PortRefusal&) override {}
    void PortOpen(bool) override {}
    void Progress(std::uint32_t, int) override {}
    void LeaveAutomaticMode(const std::string&) override {}
    void Finished(bool) override {}
    void InternalError(int) override {}
};

} // namespace

StartProbe ProbeLinkPort(const PortOpener& opener, const LinkPort& port) {
    Unreported reporter;
    std::unique_ptr<ISerialPort> held = OpenLinkPort(opener, port, nullptr, reporter, false);
    if (!held)
        return StartProbe::NotAvailable;
    bool cts = false;
    const bool answered = held->ReadCts(cts).Ok();
    // Each job opens the port anew.
    CloseLinkPort(held, reporter);
    if (!answered)
        return StartProbe::NoModemStatus;
    return cts ? StartProbe::CtsOn : StartProbe::CtsOff;
}
