// The start-up probe: can the selected port be opened, and is the transceiver behind it already
// switched on? It reports nothing in the status line and leaves the port closed.
#pragma once

#include "link/link_reporter.h"

class PortOpener;

enum class StartProbe {
    NotAvailable,  // the port did not open: missing, or busy (perhaps with the connection)
    NoModemStatus, // it opened, but its modem lines cannot be read (a pseudo-terminal)
    CtsOff,
    CtsOn,
};

StartProbe ProbeLinkPort(const PortOpener& opener, const LinkPort& port);
