#include "app/link_control_app.h"

#include "app/link_records.h"
#include "app/simulators.h"
#include "dialog/link_control_dialog.h"
#include "dialup/follow_up.h"
#include "res/resources.h"

// No application name: the program is named after the executable it was started as, and so
// are its settings.
CLinkControlApp::CLinkControlApp()
    : m_startFollowUp(&StartFollowUpProgram), m_loadString(&LoadResourceString) {
    RegisterSimulators(m_ports, m_backends, [this]() -> IClock& { return Clock(); });
}

bool CLinkControlApp::InitInstance() {
    SetRegistryKey("Talvenmark");
    // No sockets and no 3D-controls switch exist here; both start-up calls have no counterpart.
    DialupFunctions dialup = BindDialupFunctions(m_backends, Profile());
    m_webReadout = MakeWebReadoutService();

    // Made before the dialog, which tells it of every test until it is gone.
    const LinkRecordStore records = m_records ? *m_records : UserLinkRecords();
    LinkRecorder recorder(records, RecorderEnvironment());
    CLinkControlDialog dlg({*this, Host(), Clock(), m_ports, std::move(dialup), m_startFollowUp,
                            m_loadString, PortDiscovery(), m_webReadout.get()});
    dlg.SetLinkRecords(records, m_printer);
    dlg.AddLinkObserver(recorder);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    m_nExitCode = dlg.ExitCode();
    return false;
}

IPortDiscovery* CLinkControlApp::PortDiscovery() {
    if (!m_discoveryMade) {
        m_discovery = MakeSystemPortDiscovery();
        m_discoveryMade = true;
    }
    return m_discovery.get();
}

void CLinkControlApp::SetPortDiscovery(std::unique_ptr<IPortDiscovery> discovery) {
    m_discovery = std::move(discovery);
    m_discoveryMade = true;
}
