// The application object: what the program runs with, the dial-up functions bound at start, and
// the main dialog.
#pragma once

#include "dialog/link_control_context.h"
#include "dialup/service_binding.h"
#include "link/link_recorder.h"
#include "link/port_discovery.h"
#include "link/port_open.h"
#include "platform/clock.h"
#include "platform/report_page.h"
#include "platform/web_readout.h"
#include "platform/win_app.h"

#include <optional>

class CLinkControlApp : public CWinApp {
public:
    // The simulated transceiver ("sim:" ports) and dial-up service ("sim:" services) are
    // registered here, on the program's clock.
    CLinkControlApp();
    bool InitInstance() override;
    // The framework's Help command (ID_HELP) goes to the dialog, which shows the About box.

    // Set before InitInstance, by the start-up and by tests.
    IClock& Clock() const { return *m_clock; }
    void SetClock(IClock& clock) { m_clock = &clock; }
    PortOpener& Ports() { return m_ports; }
    DialupBackends& Backends() { return m_backends; }
    void SetFollowUpStarter(FollowUpStarter start) { m_startFollowUp = std::move(start); }
    void SetStringLoader(StringLoader load) { m_loadString = std::move(load); }
    // The serial devices behind COM ports without a [Ports] entry: the system's, made at the
    // first call, unless one was given before. Null where the system names its ports itself.
    IPortDiscovery* PortDiscovery();
    void SetPortDiscovery(std::unique_ptr<IPortDiscovery> discovery);
    // Where the link tests are recorded: the user's records folder unless set before.
    void SetLinkRecords(LinkRecordStore store) { m_records = std::move(store); }
    // What makes the reports' PDF, where the program has one; it must outlive the dialog.
    void SetReportPrinter(IReportPrinter* printer) { m_printer = printer; }

private:
    SystemClock m_systemClock;
    IClock* m_clock = &m_systemClock;
    PortOpener m_ports;
    DialupBackends m_backends;
    FollowUpStarter m_startFollowUp;
    StringLoader m_loadString;
    std::unique_ptr<IPortDiscovery> m_discovery;
    bool m_discoveryMade = false;
    std::optional<LinkRecordStore> m_records;
    std::unique_ptr<IWebReadoutService> m_webReadout;
    IReportPrinter* m_printer = nullptr;
};
