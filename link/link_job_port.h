// What both jobs on the transceiver link share: opening and closing the port as the start-up
// probe does too, and how a run ends.
#pragma once

#include "link/link_reporter.h"
#include "link/serial_port.h"

#include <functional>
#include <memory>

class CancelToken;
class PortOpener;

// Opens port for the job that cancel belongs to and tells reporter that it is open. Once
// cancelled, no call of the returned port reaches the device. Nothing when the port is not
// available: the reason goes to standard error, and with report also to the status line.
std::unique_ptr<ISerialPort> OpenLinkPort(const PortOpener& opener, const LinkPort& port,
                                          const std::shared_ptr<CancelToken>& cancel,
                                          ILinkReporter& reporter, bool report);

// Closes the port and tells reporter.
void CloseLinkPort(std::unique_ptr<ISerialPort>& port, ILinkReporter& reporter);

// Runs a job: opens its port (a port that is not available ends the job as a failure) and runs
// its steps on it. A failed serial step ends as its internal error, a cancel quietly (the one who
// cancelled runs the end step); the port is closed either way.
using LinkJobSteps = std::function<void(std::unique_ptr<ISerialPort>& port)>;
void RunLinkJob(const PortOpener& opener, const LinkPort& port,
                const std::shared_ptr<CancelToken>& cancel, ILinkReporter& reporter,
                const LinkJobSteps& steps);
