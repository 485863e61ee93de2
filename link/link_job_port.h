// Opening the port for a job on the transceiver link, as both jobs and the start-up probe do it.
#pragma once

#include "link/link_reporter.h"
#include "link/serial_port.h"

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
