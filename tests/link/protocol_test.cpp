// The configuration and the link test on their own: no dialog, no host, a fake transceiver on a
// fake port, and a reporter that writes down what it is told.
#include "link/configuration.h"
#include "link/link_test.h"
#include "link/port_open.h"
#include "link/step_codes.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// A transceiver behind a port: a user who switches it at once, an echo of the configuration, a
// few readiness echoes, and a link that brings back `goodWords` of each cycle's 256 words.
struct Far {
    bool cts = false;
    bool echoPacket = true;
    int readyEchoes = 2;
    unsigned goodWords = 256;
    std::map<std::string, int> failAt; // call name -> its nth call fails
    std::vector<std::string> wire;     // what went over the line, and the line settings
};

class FakePort : public ISerialPort {
public:
    FakePort(Far& far, ManualClock& clock) : m_far(far), m_clock(clock) {}

    SerialResult SetLine(const LineSettings& line) override {
        m_baud = line.baudRate;
        m_far.wire.push_back("line " + std::to_string(line.baudRate));
        return Outcome("SetLine");
    }
    SerialResult ReadCts(bool& on) override {
        on = m_far.cts;
        return Outcome("ReadCts");
    }
    SerialResult WaitForCts(bool on, Timeout) override {
        m_far.cts = on;
        return Outcome("WaitForCts");
    }
    SerialResult Write(std::span<const std::uint8_t> data, std::size_t& written, Timeout) override {
        written = data.size();
        m_far.wire.push_back("tx " + std::to_string(data.size()));
        if (m_baud == 9600 && m_far.echoPacket)
            m_rx.insert(m_rx.end(), data.begin(), data.end());
        else if (data.size() == 1 && m_far.readyEchoes > 0 && m_far.readyEchoes--)
            m_rx.push_back(data[0]);
        else if (data.size() == 16) // a quarter of the words damaged when the link is bad
            for (std::size_t i = 0; i < 16; ++i)
                m_rx.push_back(m_far.goodWords < 256 && i < 4 ? 'X' : data[i]);
        return Outcome("Write");
    }
    SerialResult Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout) override {
        got = 0;
        while (got < buffer.size() && !m_rx.empty()) {
            buffer[got++] = m_rx.front();
            m_rx.pop_front();
        }
        if (buffer.size() == 1024)
            m_clock.Advance(100); // a link-test cycle takes 100 ms
        const SerialResult result = Outcome("Read");
        return result.Ok() && got < buffer.size() ? SerialResult::TimedOut() : result;
    }
    SerialResult Purge() override {
        m_rx.clear();
        return Outcome("Purge");
    }

private:
    SerialResult Outcome(const std::string& call) {
        const auto fail = m_far.failAt.find(call);
        if (fail == m_far.failAt.end() || ++m_calls[call] != fail->second)
            return {};
        return SerialResult::Failed("injected");
    }

    Far& m_far;
    ManualClock& m_clock;
    std::uint32_t m_baud = 0;
    std::deque<std::uint8_t> m_rx;
    std::map<std::string, int> m_calls;
};

class Recorder : public ILinkReporter {
public:
    std::vector<std::string> said;
    // Cancels the job when it reports this status.
    std::string cancelAt;
    std::shared_ptr<CancelToken> cancel;

    void Status(const std::string& text) override {
        said.push_back("status " + text);
        if (!cancelAt.empty() && text == cancelAt)
            cancel->Cancel();
    }
    void StatusDetail(const PortRefusal& why) override {
        said.push_back(why.kind == PortRefusal::Kind::NotMapped ? "detail not mapped"
                                                                : "detail " + why.systemText);
    }
    void PortOpen(bool open) override { said.push_back(open ? "open" : "closed"); }
    void Progress(std::uint32_t, int matches) override {
        if (said.empty() || said.back() != "progress " + std::to_string(matches))
            said.push_back("progress " + std::to_string(matches)); // one line per run of equals
    }
    void LeaveAutomaticMode(const std::string& warning) override {
        said.push_back("manual " + warning);
    }
    void Finished(bool success) override { said.push_back(success ? "passed" : "failed"); }
    void InternalError(int code) override { said.push_back("error " + std::to_string(code)); }
};

struct Bench {
    Far far;
    ManualClock clock{1000};
    PortOpener ports;
    Recorder reporter;
    std::shared_ptr<CancelToken> cancel = std::make_shared<CancelToken>();

    Bench() {
        ports.AddProvider("fake:", [this](const std::string&, std::shared_ptr<CancelToken>) {
            return OpenResult{std::make_unique<FakePort>(far, clock), {}};
        });
        reporter.cancel = cancel;
    }
    std::vector<std::string> Configure(std::string port = "fake:") {
        TransceiverConfiguration({{"COM1", port}, 3, 1}, ports, clock).Run(cancel, reporter);
        return reporter.said;
    }
    std::vector<std::string> Test(bool automatic) {
        LinkTest({{"COM2", "fake:"}, 0, automatic}, ports, clock).Run(cancel, reporter);
        return reporter.said;
    }
};

using Lines = std::vector<std::string>;

TEST(Configuration, SwitchedOffThenOnSendsThePacketAndWaitsForTheTransceiver) {
    Bench b;
    EXPECT_EQ(b.Configure(), (Lines{"open", "status Laser-Transceiver einschalten",
                                    "status Sende Konfigurationsdaten...",
                                    "status Warten, bis Transceiver bereit ist...", "status ",
                                    "closed", "passed"}));
    EXPECT_EQ(b.far.wire, (Lines{"line 9600", "tx 8", "line 38400", "tx 1", "tx 1", "tx 1"}));
    EXPECT_EQ(b.clock.Now(), 1500u) << "the pause before the packet, on the job's clock";
}

TEST(Configuration, ATransceiverAlreadyOnIsSwitchedOffFirst) {
    Bench b;
    b.far.cts = true;
    EXPECT_EQ(b.Configure()[1], "status Laser-Transceiver zuerst ausschalten");
    EXPECT_EQ(b.reporter.said.back(), "passed");
}

TEST(Configuration, NoEchoOrNoPortEndsAsAFailureWithItsMessage) {
    Bench silent;
    silent.far.echoPacket = false;
    const Lines said = silent.Configure();
    EXPECT_EQ(
        Lines(said.end() - 3, said.end()),
        (Lines{"status FEHLER: Konfigurationsdaten wurden nicht empfangen", "closed", "failed"}));
    Bench none;
    EXPECT_EQ(none.Configure(""), (Lines{"status FEHLER: Serieller Port COM1: ist nicht verfügbar",
                                         "detail not mapped", "failed"}));
}

TEST(Configuration, AFailingCallEndsInItsCodeWithoutAnEndStep) {
    using enum StepCode;
    const std::vector<std::pair<std::map<std::string, int>, StepCode>> cases{
        {{{"ReadCts", 1}}, ConfigureReadCts},          {{{"WaitForCts", 1}}, ConfigureWaitCtsOn},
        {{{"SetLine", 1}}, ConfigureSetLine},          {{{"SetLine", 2}}, ConfigureSetLine},
        {{{"Write", 1}}, ConfigureWritePacket},        {{{"Read", 1}}, ConfigureReadEcho},
        {{{"Write", 2}}, ConfigureWriteReadinessByte}, {{{"Read", 3}}, ConfigureReadReadinessByte},
    };
    for (const auto& [fail, code] : cases) {
        Bench b;
        b.far.failAt = fail;
        EXPECT_EQ(b.Configure().back(), "error " + std::to_string(Number(code)))
            << fail.begin()->first;
    }
}

TEST(Configuration, ACancelEndsItQuietlyAndTheRestNeverReachesTheLine) {
    Bench b;
    b.reporter.cancelAt = "Sende Konfigurationsdaten...";
    const Lines said = b.Configure();
    EXPECT_EQ(said.back(), "status Sende Konfigurationsdaten...") << "no end step, no error";
    EXPECT_TRUE(b.far.wire.empty());
}

TEST(LinkTest, PassesAfterSixSecondsOfGoodCyclesInTheAutomaticSequence) {
    Bench b;
    b.far.cts = true;
    EXPECT_EQ(b.Test(true), (Lines{"open", "status Prüfe Link-Qualität...", "progress 256",
                                   "closed", "status ", "passed"}));
    EXPECT_EQ(b.far.wire.front(), "line 19200");
    EXPECT_EQ(b.clock.Now(), 7000u);
}

TEST(LinkTest, ABadLinkTurnsTheAutomaticTestIntoOneByHand) {
    Bench b;
    b.far.cts = true;
    b.far.goodWords = 192;          // 75 %
    b.far.failAt = {{"Read", 100}}; // by hand it runs until something ends it
    const Lines said = b.Test(true);
    EXPECT_EQ(std::count(said.begin(), said.end(),
                         "manual Schlechte Verbindung - Ausrichten erforderlich"),
              1);
    EXPECT_EQ(said.back(), "error " + std::to_string(Number(StepCode::TestReadEcho)));
}

TEST(LinkTest, ATransceiverSwitchedOffIsReportedAndNothingIsSent) {
    Bench b;
    EXPECT_EQ(b.Test(false),
              (Lines{"open", "status FEHLER: Laser-Transceiver ist nicht eingeschaltet", "closed",
                     "failed"}));
    EXPECT_TRUE(b.far.wire.empty());
}

} // namespace
