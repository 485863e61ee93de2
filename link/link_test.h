// The link test: send the pattern cycle after cycle at the operating rate and report how many
// words come back. By hand it runs until cancelled; in the automatic sequence it passes after
// six seconds of good cycles, and a bad cycle turns it into a test by hand.
#pragma once

#include "link/link_reporter.h"
#include "link/serial_port.h"

#include <memory>

class CancelToken;
class IClock;
class PortOpener;

class LinkTest {
public:
    // What the link test needs, taken when it starts.
    struct Settings {
        LinkPort port;
        int nBaudrate = 3; // as stored: an index outside the table means 115200 baud
        bool automatic = false;
    };

    LinkTest(Settings settings, const PortOpener& ports, IClock& clock)
        : m_settings(std::move(settings)), m_ports(ports), m_clock(clock) {}

    // Runs until it passes, fails, meets an internal error or is cancelled; every outcome is
    // reported.
    void Run(const std::shared_ptr<CancelToken>& cancel, ILinkReporter& reporter) const;

private:
    void Steps(ILinkReporter& reporter, std::unique_ptr<ISerialPort>& port) const;

    Settings m_settings;
    const PortOpener& m_ports;
    IClock& m_clock;
};
