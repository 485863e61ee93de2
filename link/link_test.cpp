#include "link/link_test.h"

#include "link/baud_tables.h"
#include "link/link_job_port.h"
#include "link/transceiver_protocol.h"
#include "link/worker_support.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"

void LinkTest::Run(const std::shared_ptr<CancelToken>& cancel, ILinkReporter& reporter) const {
    try {
        Steps(cancel, reporter);
    } catch (const StepFailed& failed) {
        reporter.InternalError(failed.code);
    } catch (const WorkerCancelled&) {
        // The one who cancelled runs the end step.
    }
}

void LinkTest::Steps(const std::shared_ptr<CancelToken>& cancel, ILinkReporter& reporter) const {
    const CancelToken& stop = *cancel;
    std::unique_ptr<ISerialPort> port =
        OpenLinkPort(m_ports, m_settings.port, cancel, reporter, true);
    if (!port) {
        reporter.Finished(false);
        return;
    }
    ISerialPort& p = *port;
    Check(p.SetCommMask(EV_CTS), 15, p, stop);
    DWORD status = 0;
    Check(p.GetCommModemStatus(status), 16, p, stop);
    if (!(status & MS_CTS_ON)) {
        reporter.Status("FEHLER: Laser-Transceiver ist nicht eingeschaltet");
        CloseLinkPort(port, reporter);
        reporter.Finished(false);
        return;
    }
    DCB dcb;
    Check(p.GetCommState(dcb), 3, p, stop);
    SetLineSettings(dcb, BaudRateTable[BaudIndex(m_settings.nBaudrate)]);
    Check(p.SetCommState(dcb), 17, p, stop);
    COMMTIMEOUTS timeouts;
    timeouts.ReadTotalTimeoutConstant = 1;
    Check(p.SetCommTimeouts(timeouts), 18, p, stop);

    bool automatic = m_settings.automatic;
    reporter.Status(automatic ? "Prüfe Link-Qualität..." : "Der Laser ist eingeschaltet");
    const std::uint32_t start = m_clock.Now();
    BYTE received[kCycleBytes];
    for (;;) {
        for (int i = 0; i < kWritesPerCycle; ++i) {
            DWORD written = 0;
            Check(p.WriteFile(TestPattern, kTestPatternSize, written), 19, p, stop);
        }
        DWORD count = 0;
        Check(p.ReadFile(received, kCycleBytes, count), 20, p, stop);
        const unsigned matches = CountMatchWords(received, count);
        Check(p.PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR), 21, p, stop);
        reporter.Progress(static_cast<int>(matches));

        if (!automatic)
            continue;
        const std::uint32_t elapsed = m_clock.Now() - start; // unsigned: right across the wrap
        if (elapsed >= 1000 && IsBadCycle(matches)) {
            // A bad link must not end as a success, even in the cycle that reaches six
            // seconds: the test goes on by hand with the warning shown.
            automatic = false;
            reporter.LeaveAutomaticMode("Schlechte Verbindung - Ausrichten erforderlich");
            continue;
        }
        if (elapsed >= 6000) {
            CloseLinkPort(port, reporter);
            reporter.Status("");
            reporter.Finished(true);
            return;
        }
    }
}
