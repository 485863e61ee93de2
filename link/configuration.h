// The configuration of the transceiver: guide the user through switching it off and on, send
// the configuration packet at 9600 baud, check its echo, switch to the operating rate and wait
// until the transceiver stops echoing.
#pragma once

#include "link/link_reporter.h"
#include "link/serial_port.h"

#include <memory>

class CancelToken;
class IClock;
class PortOpener;

class TransceiverConfiguration {
public:
    // What the configuration needs, taken when it starts.
    struct Settings {
        LinkPort port;
        int nSensitivity = 3; // as stored: the packet reads it as it is
        int nBaudrate = 3;    // as stored: an index outside the table means 115200 baud
    };

    TransceiverConfiguration(Settings settings, const PortOpener& ports, IClock& clock)
        : m_settings(std::move(settings)), m_ports(ports), m_clock(clock) {}

    // Runs to the end, to an internal error or to the cancel; every outcome is reported.
    void Run(const std::shared_ptr<CancelToken>& cancel, ILinkReporter& reporter) const;

private:
    void Steps(const CancelToken& stop, ILinkReporter& reporter,
               std::unique_ptr<ISerialPort>& port) const;

    Settings m_settings;
    const PortOpener& m_ports;
    IClock& m_clock;
};
