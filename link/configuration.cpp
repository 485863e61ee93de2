#include "link/configuration.h"

#include "link/baud_tables.h"
#include "link/link_job_port.h"
#include "link/transceiver_protocol.h"
#include "link/worker_support.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"

#include <cstring>

namespace {

void WaitForCts(ISerialPort& port, const CancelToken& cancel, DWORD& status, bool on, int waitCode,
                int statusCode) {
    while (((status & MS_CTS_ON) != 0) != on) {
        DWORD events = 0;
        Check(port.WaitCommEvent(events), waitCode, port, cancel);
        Check(port.GetCommModemStatus(status), statusCode, port, cancel);
    }
}

} // namespace

void TransceiverConfiguration::Run(const std::shared_ptr<CancelToken>& cancel,
                                   ILinkReporter& reporter) const {
    try {
        Steps(cancel, reporter);
    } catch (const StepFailed& failed) {
        reporter.InternalError(failed.code);
    } catch (const WorkerCancelled&) {
        // The one who cancelled runs the end step.
    }
}

void TransceiverConfiguration::Steps(const std::shared_ptr<CancelToken>& cancel,
                                     ILinkReporter& reporter) const {
    const CancelToken& stop = *cancel;
    std::unique_ptr<ISerialPort> port =
        OpenLinkPort(m_ports, m_settings.port, cancel, reporter, true);
    if (!port) {
        reporter.Finished(false);
        return;
    }
    ISerialPort& p = *port;
    Check(p.SetCommMask(EV_CTS), 1, p, stop);
    DWORD status = 0;
    Check(p.GetCommModemStatus(status), 2, p, stop);
    if (status & MS_CTS_ON) {
        reporter.Status("Laser-Transceiver zuerst ausschalten");
        WaitForCts(p, stop, status, false, 3, 4);
    }
    reporter.Status("Laser-Transceiver einschalten");
    WaitForCts(p, stop, status, true, 5, 6);

    reporter.Status("Sende Konfigurationsdaten...");
    DCB dcb;
    Check(p.GetCommState(dcb), 7, p, stop);
    SetLineSettings(dcb, 9600);
    Check(p.SetCommState(dcb), 8, p, stop);
    COMMTIMEOUTS timeouts;
    timeouts.ReadTotalTimeoutConstant = 100;
    Check(p.SetCommTimeouts(timeouts), 9, p, stop);

    const ConfigurationPacket packet =
        MakeConfigurationPacket(m_settings.nSensitivity, m_settings.nBaudrate);
    SleepOrCancel(m_clock, 500, &stop);
    DWORD written = 0;
    if (!p.WriteFile(packet.data(), 8, written) || written < 8)
        FailStep(10, p, stop);
    BYTE echo[8] = {};
    DWORD received = 0;
    Check(p.ReadFile(echo, 8, received), 11, p, stop);
    if (received < 8 || std::memcmp(echo, packet.data(), 8) != 0) {
        reporter.Status("FEHLER: Konfigurationsdaten wurden nicht empfangen");
        CloseLinkPort(port, reporter);
        reporter.Finished(false);
        return;
    }

    reporter.Status("Warten, bis Transceiver bereit ist...");
    dcb.BaudRate = BaudRateTable[BaudIndex(m_settings.nBaudrate)];
    Check(p.SetCommState(dcb), 8, p, stop);
    for (;;) {
        DWORD sent = 0;
        if (!p.WriteFile(packet.data(), 1, sent) || sent == 0)
            FailStep(13, p, stop);
        BYTE answer = 0;
        DWORD got = 0;
        Check(p.ReadFile(&answer, 1, got), 14, p, stop);
        if (got == 0)
            break;
    }

    reporter.Status("");
    CloseLinkPort(port, reporter);
    reporter.Finished(true);
}
