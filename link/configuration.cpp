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
    Check(p.ReadCts(cts), 2, p, stop);
    if (cts) {
        reporter.Status("Laser-Transceiver zuerst ausschalten");
        Check(p.WaitForCts(false, std::nullopt), 3, p, stop);
    }
    reporter.Status("Laser-Transceiver einschalten");
    Check(p.WaitForCts(true, std::nullopt), 5, p, stop);

    reporter.Status("Sende Konfigurationsdaten...");
    LineSettings line{9600};
    Check(p.SetLine(line), 8, p, stop);
    const Timeout readTimeout = std::chrono::milliseconds(100);

    const ConfigurationPacket packet =
        MakeConfigurationPacket(m_settings.nSensitivity, m_settings.nBaudrate);
    SleepOrCancel(m_clock, 500, &stop);
    std::size_t written = 0;
    if (!p.Write(packet, written, std::nullopt) || written < packet.size())
        FailStep(10, p, stop);
    std::uint8_t echo[8] = {};
    std::size_t received = 0;
    Check(p.Read(echo, received, readTimeout), 11, p, stop);
    if (received < 8 || std::memcmp(echo, packet.data(), 8) != 0) {
        reporter.Status("FEHLER: Konfigurationsdaten wurden nicht empfangen");
        CloseLinkPort(port, reporter);
        reporter.Finished(false);
        return;
    }

    reporter.Status("Warten, bis Transceiver bereit ist...");
    line.baudRate = BaudRateTable[BaudIndex(m_settings.nBaudrate)];
    Check(p.SetLine(line), 8, p, stop);
    for (;;) {
        std::size_t sent = 0;
        if (!p.Write(std::span(packet).first(1), sent, std::nullopt) || sent == 0)
            FailStep(13, p, stop);
        std::uint8_t answer[1] = {};
        std::size_t got = 0;
        Check(p.Read(answer, got, readTimeout), 14, p, stop);
        if (got == 0)
            break;
    }

    reporter.Status("");
    CloseLinkPort(port, reporter);
    reporter.Finished(true);
}
