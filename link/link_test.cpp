#include "link/link_test.h"

#include "link/baud_tables.h"
#include "link/link_job_port.h"
#include "link/transceiver_protocol.h"
#include "link/worker_support.h"
#include "platform/clock.h"

void LinkTest::Run(const std::shared_ptr<CancelToken>& cancel, ILinkReporter& reporter) const {
    RunLinkJob(m_ports, m_settings.port, cancel, reporter,
               [&](std::unique_ptr<ISerialPort>& port) { Steps(reporter, port); });
}

void LinkTest::Steps(ILinkReporter& reporter, std::unique_ptr<ISerialPort>& port) const {
    ISerialPort& p = *port;
    bool cts = false;
    Check(p.ReadCts(cts), StepCode::TestReadCts);
    if (!cts) {
        reporter.Status("FEHLER: Laser-Transceiver ist nicht eingeschaltet");
        CloseLinkPort(port, reporter);
        reporter.Finished(false);
        return;
    }
    Check(p.SetLine({BaudRateTable[BaudIndex(m_settings.nBaudrate)]}), StepCode::TestSetLine);
    const Timeout readTimeout = std::chrono::milliseconds(1);

    bool automatic = m_settings.automatic;
    reporter.Status(automatic ? "Prüfe Link-Qualität..." : "Der Laser ist eingeschaltet");
    const std::uint32_t start = m_clock.Now();
    std::uint8_t received[kCycleBytes];
    for (;;) {
        for (int i = 0; i < kWritesPerCycle; ++i) {
            std::size_t written = 0;
            Check(p.Write(TestPattern, written, std::nullopt), StepCode::TestWritePattern);
        }
        std::size_t count = 0;
        Check(p.Read(received, count, readTimeout), StepCode::TestReadEcho);
        const unsigned matches = CountMatchWords(received, count);
        Check(p.Purge(), StepCode::TestPurge);
        const std::uint32_t elapsed = m_clock.Now() - start; // unsigned: right across the wrap
        reporter.Progress(elapsed, static_cast<int>(matches));

        if (!automatic)
            continue;
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
