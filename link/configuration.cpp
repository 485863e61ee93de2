#include "link/configuration.h"

#include "link/baud_tables.h"
#include "link/link_job_port.h"
#include "link/transceiver_protocol.h"
#include "link/worker_support.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"

#include <cstring>

void TransceiverConfiguration::Run(const std::shared_ptr<CancelToken>& cancel,
                                   ILinkReporter& reporter) const {
    RunLinkJob(m_ports, m_settings.port, cancel, reporter,
               [&](std::unique_ptr<ISerialPort>& port) { Steps(*cancel, reporter, port); });
}

void TransceiverConfiguration::Steps(const CancelToken& stop, ILinkReporter& reporter,
                                     std::unique_ptr<ISerialPort>& port) const {
    ISerialPort& p = *port;
    bool cts = false;
    Check(p.ReadCts(cts), StepCode::ConfigureReadCts);
    if (cts) {
        reporter.Status("Laser-Transceiver zuerst ausschalten");
        Check(p.WaitForCts(false, std::nullopt), StepCode::ConfigureWaitCtsOff);
    }
    reporter.Status("Laser-Transceiver einschalten");
    Check(p.WaitForCts(true, std::nullopt), StepCode::ConfigureWaitCtsOn);

    reporter.Status("Sende Konfigurationsdaten...");
    LineSettings line{9600};
    Check(p.SetLine(line), StepCode::ConfigureSetLine);
    const Timeout readTimeout = std::chrono::milliseconds(100);

    const ConfigurationPacket packet =
        MakeConfigurationPacket(m_settings.nSensitivity, m_settings.nBaudrate);
    SleepOrCancel(m_clock, 500, &stop);
    std::size_t written = 0;
    Check(p.Write(packet, written, std::nullopt), StepCode::ConfigureWritePacket);
    CheckWhole(written, packet.size(), StepCode::ConfigureWritePacket);
    std::uint8_t echo[8] = {};
    std::size_t received = 0;
    Check(p.Read(echo, received, readTimeout), StepCode::ConfigureReadEcho);
    if (received < 8 || std::memcmp(echo, packet.data(), 8) != 0) {
        reporter.Status("FEHLER: Konfigurationsdaten wurden nicht empfangen");
        CloseLinkPort(port, reporter);
        reporter.Finished(false);
        return;
    }

    reporter.Status("Warten, bis Transceiver bereit ist...");
    line.baudRate = BaudRateTable[BaudIndex(m_settings.nBaudrate)];
    Check(p.SetLine(line), StepCode::ConfigureSetLine);
    for (;;) {
        std::size_t sent = 0;
        Check(p.Write(std::span(packet).first(1), sent, std::nullopt),
              StepCode::ConfigureWriteReadinessByte);
        CheckWhole(sent, 1, StepCode::ConfigureWriteReadinessByte);
        std::uint8_t answer[1] = {};
        std::size_t got = 0;
        Check(p.Read(answer, got, readTimeout), StepCode::ConfigureReadReadinessByte);
        if (got == 0)
            break;
    }

    reporter.Status("");
    CloseLinkPort(port, reporter);
    reporter.Finished(true);
}
