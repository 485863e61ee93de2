#include "link/link_job_port.h"

#include "link/port_open.h"
#include "link/worker_support.h"
#include "platform/cancel_token.h"
#include "platform/diagnostics.h"

std::unique_ptr<ISerialPort> OpenLinkPort(const PortOpener& opener, const LinkPort& port,
                                          const std::shared_ptr<CancelToken>& cancel,
                                          ILinkReporter& reporter, bool report) {
    OpenResult opened = opener.Open(port.value, cancel);
    if (!opened.port) {
        DiagnoseFormat("Quillmere: %s (%s) is not available: %s", port.name.c_str(),
                       port.value.c_str(), opened.reason.c_str());
        if (report) {
            reporter.Status("FEHLER: Serieller Port " + port.name + ": ist nicht verfügbar");
            // Named as the user named it, not as the opener resolved it.
            PortRefusal why = std::move(opened.refusal);
            why.device = port.value;
            if (why.kind == PortRefusal::Kind::Other && why.systemText.empty())
                why.systemText = opened.reason;
            reporter.StatusDetail(why);
        }
        return nullptr;
    }
    std::unique_ptr<ISerialPort> held = StopAtCancel(std::move(opened.port), cancel);
    reporter.PortOpen(true);
    return held;
}

void CloseLinkPort(std::unique_ptr<ISerialPort>& port, ILinkReporter& reporter) {
    port.reset();
    reporter.PortOpen(false);
}

void RunLinkJob(const PortOpener& opener, const LinkPort& port,
                const std::shared_ptr<CancelToken>& cancel, ILinkReporter& reporter,
                const LinkJobSteps& steps) {
    try {
        std::unique_ptr<ISerialPort> held = OpenLinkPort(opener, port, cancel, reporter, true);
        if (!held) {
            reporter.Finished(false);
            return;
        }
        steps(held);
    } catch (const StepFailed& failed) {
        reporter.InternalError(failed.code);
    } catch (const WorkerCancelled&) {
    }
}
