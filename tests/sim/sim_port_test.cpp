#include "sim/sim_port.h"

#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "sim/transceiver.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

const Bytes kPacket115200 = {0x0B, 0x51, 0x64, 0x70, 0x43, 0x81, 0x90, 0x11};
const Bytes kPacket19200 = {0x0B, 0x51, 0x61, 0x70, 0x43, 0x8B, 0x90, 0x11};

// Matched "TEST" words, scanned as the link test does: a match advances 4, a miss 1.
unsigned CountWords(const Bytes& b) {
    unsigned count = 0;
    for (std::size_t pos = 0; pos + 4 <= b.size();) {
        if (b[pos] == 'T' && b[pos + 1] == 'E' && b[pos + 2] == 'S' && b[pos + 3] == 'T') {
            ++count;
            pos += 4;
        } else {
            ++pos;
        }
    }
    return count;
}

class SimPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = MakeTempDir("qm-sim-test-");
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override {
        // Windows keeps the folder while the process's transceiver still holds its log open.
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    // Transceivers live as long as the process; a log in this test's own folder makes the
    // option text, and so the transceiver, this test's own.
    std::string Options(const std::string& options) {
        return options + (options.empty() ? "" : ",") + "log=" + LogPath();
    }
    std::string LogPath() const { return m_dir + "/line.log"; }

    std::unique_ptr<ISerialPort> Open(const std::string& options) {
        OpenResult r = OpenSimulatedPort(options, m_cancel, *m_used);
        EXPECT_TRUE(r.port) << r.reason;
        return std::move(r.port);
    }

    static void SetSpeed(ISerialPort& port, DWORD baud) {
        DCB dcb;
        ASSERT_TRUE(port.GetCommState(dcb));
        dcb.BaudRate = baud;
        ASSERT_TRUE(port.SetCommState(dcb));
    }
    static void SetReadTimeout(ISerialPort& port, DWORD ms) {
        COMMTIMEOUTS t;
        t.ReadTotalTimeoutConstant = ms;
        ASSERT_TRUE(port.SetCommTimeouts(t));
    }
    static void Write(ISerialPort& port, const Bytes& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(port.WriteFile(bytes.data(), static_cast<DWORD>(bytes.size()), written));
        EXPECT_EQ(written, bytes.size());
    }
    static Bytes Read(ISerialPort& port, DWORD count) {
        Bytes buffer(count);
        DWORD read = 0;
        EXPECT_TRUE(port.ReadFile(buffer.data(), count, read));
        buffer.resize(read);
        return buffer;
    }
    // The configuration handshake: the packet at 9600 baud, the echo it gets.
    static Bytes SendPacket(ISerialPort& port, const Bytes& packet) {
        SetSpeed(port, 9600);
        SetReadTimeout(port, 100);
        Write(port, packet);
        return Read(port, 8);
    }
    // One link-test cycle at the port's speed: 64 writes of the pattern, one read, purge.
    static Bytes LinkCycle(ISerialPort& port) {
        SetReadTimeout(port, 1);
        const std::string pattern = "TESTTESTTESTTEST";
        for (int i = 0; i < 64; ++i)
            Write(port, Bytes(pattern.begin(), pattern.end()));
        Bytes echo = Read(port, 1024);
        EXPECT_TRUE(port.PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR));
        return echo;
    }

    std::vector<std::string> LogLines() const {
        std::ifstream in(LogPath());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    ManualClock m_clock{1000};
    SystemClock m_realTime;
    IClock* m_used = &m_clock;
    std::shared_ptr<CancelToken> m_cancel = std::make_shared<CancelToken>();
    std::string m_dir;
};

TEST_F(SimPortTest, PowerRateAndLineSettingsOutliveClosingThePort) {
    const std::string options = Options("power=off,react=10");
    {
        auto port = Open(options);
        DWORD status = 0, event = 0;
        ASSERT_TRUE(port->SetCommMask(EV_CTS));
        ASSERT_TRUE(port->WaitCommEvent(event)); // the user switches it on
        ASSERT_TRUE(port->GetCommModemStatus(status));
        EXPECT_EQ(status, MS_CTS_ON);
        EXPECT_EQ(SendPacket(*port, kPacket19200), kPacket19200);
        SetSpeed(*port, 19200);
    }
    auto port = Open(options);
    DWORD status = 0;
    ASSERT_TRUE(port->GetCommModemStatus(status));
    EXPECT_EQ(status, MS_CTS_ON);
    DCB dcb;
    ASSERT_TRUE(port->GetCommState(dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(FindSimulatedTransceiver(options)->ConfiguredRate(), 19200u);
    EXPECT_EQ(FindSimulatedTransceiver(options)->Sensitivity(), 0x61);
    EXPECT_EQ(CountWords(LinkCycle(*port)), 256u) << "the link now runs at 19200";
}

TEST_F(SimPortTest, AnOpenPortCannotBeOpenedAgainUntilClosed) {
    const std::string options = Options("power=on");
    auto first = Open(options);
    OpenResult second = OpenSimulatedPort(options, m_cancel, *m_used);
    EXPECT_FALSE(second.port);
    EXPECT_NE(second.reason.find("busy"), std::string::npos) << second.reason;
    first.reset();
    EXPECT_TRUE(Open(options));
}

TEST_F(SimPortTest, PortsThatCannotBeOpenedGiveTheReason) {
    OpenResult bad = OpenSimulatedPort("power=maybe", m_cancel, *m_used);
    EXPECT_FALSE(bad.port);
    EXPECT_EQ(bad.reason, "sim:power=maybe: bad value 'maybe' for option 'power' (on or off)");

    OpenResult noLog = OpenSimulatedPort("log=" + m_dir + "/missing/q.log", m_cancel, *m_used);
    EXPECT_FALSE(noLog.port);
    EXPECT_NE(noLog.reason.find(NoSuchFolderText()), std::string::npos) << noLog.reason;
}

TEST_F(SimPortTest, ObedientUserSwitchesReactMillisecondsAfterTheWaitStarts) {
    auto port = Open(Options("power=on,user=obedient,react=250"));
    ASSERT_TRUE(port->SetCommMask(EV_CTS));
    DWORD event = 0, status = 0;
    ASSERT_TRUE(port->WaitCommEvent(event));
    EXPECT_EQ(event, EV_CTS);
    EXPECT_EQ(m_clock.Now(), 1250u);
    ASSERT_TRUE(port->GetCommModemStatus(status));
    EXPECT_EQ(status, 0u) << "switched off";

    ASSERT_TRUE(port->WaitCommEvent(event));
    EXPECT_EQ(m_clock.Now(), 1500u);
    ASSERT_TRUE(port->GetCommModemStatus(status));
    EXPECT_EQ(status, MS_CTS_ON) << "and on again";
}

TEST_F(SimPortTest, AbsentUserLeavesTheWaitToTheCancel) {
    const std::string options = Options("power=off,user=absent");
    auto port = Open(options);
    ASSERT_TRUE(port->SetCommMask(EV_CTS));
    std::atomic<bool> done{false};
    bool result = true;
    std::thread waiter([&] {
        DWORD event = 0;
        result = port->WaitCommEvent(event);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done) << "nobody switched the transceiver";
    m_cancel->Cancel();
    waiter.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(FindSimulatedTransceiver(options)->PowerOn());
}

TEST_F(SimPortTest, SwitchingByHandWakesAWaitingProgram) {
    const std::string options = Options("power=off,user=absent");
    auto port = Open(options);
    ASSERT_TRUE(port->SetCommMask(EV_CTS));
    bool result = false;
    std::thread waiter([&] {
        DWORD event = 0;
        result = port->WaitCommEvent(event);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    FindSimulatedTransceiver(options)->SetPower(true);
    waiter.join();
    EXPECT_TRUE(result);
}

TEST_F(SimPortTest, EveryWaitEndsWithFalseOnceCancelled) {
    m_used = &m_realTime; // a real sleep, so that only the cancel can end it early
    auto port = Open(Options("power=on,react=600000"));
    ASSERT_TRUE(port->SetCommMask(EV_CTS));
    bool result = true;
    std::thread waiter([&] {
        DWORD event = 0;
        result = port->WaitCommEvent(event);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    m_cancel->Cancel();
    waiter.join();
    EXPECT_FALSE(result);

    DWORD count = 0, event = 0;
    BYTE b = 0x0B;
    EXPECT_FALSE(port->WriteFile(&b, 1, count));
    EXPECT_FALSE(port->ReadFile(&b, 1, count));
    EXPECT_FALSE(port->WaitCommEvent(event));
    EXPECT_EQ(port->LastError(), "cancelled");
}

TEST_F(SimPortTest, ConfigurationPacketComesBackAsTheEchoOptionSays) {
    struct Case {
        const char* echo;
        Bytes expected;
    };
    Bytes corrupt = kPacket115200;
    corrupt[3] = static_cast<BYTE>(~corrupt[3]);
    const Case cases[] = {
        {"good", kPacket115200},
        {"none", {}},
        {"short", Bytes(kPacket115200.begin(), kPacket115200.begin() + 7)},
        {"corrupt", corrupt},
    };
    for (const Case& c : cases) {
        auto port = Open(Options(std::string("power=on,rate=57600,echo=") + c.echo));
        const DWORD before = m_clock.Now();
        EXPECT_EQ(SendPacket(*port, kPacket115200), c.expected) << c.echo;
        // A full echo is read at once; a short one only after the whole time-out.
        const DWORD readTime = c.expected.size() == 8 ? 0 : 100;
        EXPECT_EQ(m_clock.Now() - before, 8 + readTime) << c.echo; // 8 bytes at 9600 baud
    }
}

TEST_F(SimPortTest, ReadinessEchoesReadyBytesThenFallsSilent) {
    auto port = Open(Options("power=on,ready=5"));
    ASSERT_EQ(SendPacket(*port, kPacket115200), kPacket115200);
    SetSpeed(*port, 115200);
    const Bytes one = {0x0B};
    for (int i = 0; i < 5; ++i) {
        Write(*port, one);
        EXPECT_EQ(Read(*port, 1), one) << "byte " << i;
    }
    const DWORD before = m_clock.Now();
    Write(*port, one);
    EXPECT_EQ(Read(*port, 1), Bytes{});
    EXPECT_EQ(m_clock.Now() - before, 100u) << "the read waited its whole time-out";
    Write(*port, one);
    EXPECT_EQ(Read(*port, 1), Bytes{}) << "and stays silent";
}

TEST_F(SimPortTest, ReadyForeverNeverFallsSilent) {
    auto port = Open(Options("power=on,ready=forever,timing=none"));
    ASSERT_EQ(SendPacket(*port, kPacket115200), kPacket115200);
    SetSpeed(*port, 115200);
    for (int i = 0; i < 2000; ++i) {
        Write(*port, {0x0B});
        ASSERT_EQ(Read(*port, 1), Bytes{0x0B}) << "byte " << i;
    }
}

TEST_F(SimPortTest, LinkCarriesTheChosenShareOfWordsInEveryCycle) {
    const std::pair<const char*, unsigned> cases[] = {{"100", 256}, {"90", 230}, {"91", 232},
                                                      {"50", 128},  {"1", 2},    {"0", 0}};
    for (const auto& [link, words] : cases) {
        auto port = Open(Options(std::string("power=on,link=") + link));
        SetSpeed(*port, 115200);
        for (int cycle = 0; cycle < 3; ++cycle) {
            const Bytes echo = LinkCycle(*port);
            ASSERT_EQ(echo.size(), 1024u) << "damaged, not lost";
            EXPECT_EQ(CountWords(echo), words) << "link=" << link << " cycle " << cycle;
            // Damage stays in place: each word still lines up, with at most one byte changed.
            for (std::size_t w = 0; w < 1024; w += 4) {
                int changed = 0;
                for (std::size_t i = 0; i < 4; ++i)
                    changed += echo[w + i] != "TEST"[i];
                ASSERT_LE(changed, 1) << "word at " << w;
            }
        }
    }
}

TEST_F(SimPortTest, WrongSpeedGivesGarbageAndConfiguresNothing) {
    const std::string options = Options("power=on,rate=115200");
    auto port = Open(options);
    SetSpeed(*port, 57600);
    const Bytes echo = LinkCycle(*port);
    EXPECT_EQ(CountWords(echo), 0u);
    for (BYTE b : echo)
        ASSERT_TRUE(b == 0x00 || b == 0xFF);

    SetSpeed(*port, 19200);
    SetReadTimeout(*port, 100);
    Write(*port, kPacket19200);
    const Bytes back = Read(*port, 8);
    EXPECT_EQ(back.size(), 8u);
    for (std::size_t i = 0; i < back.size(); ++i)
        EXPECT_NE(back[i], kPacket19200[i]) << "byte " << i;
    EXPECT_EQ(FindSimulatedTransceiver(options)->ConfiguredRate(), 115200u);
}

TEST_F(SimPortTest, MalformedPacketIsEchoedButNotTaken) {
    const std::string options = Options("power=on,rate=38400");
    auto port = Open(options);
    Bytes unknownCode = kPacket115200;
    unknownCode[5] = 0x80;
    EXPECT_EQ(SendPacket(*port, unknownCode), unknownCode);
    EXPECT_EQ(FindSimulatedTransceiver(options)->ConfiguredRate(), 38400u);
    SetSpeed(*port, 38400);
    EXPECT_EQ(CountWords(LinkCycle(*port)), 256u) << "no readiness phase began";
}

TEST_F(SimPortTest, SwitchedOffTransceiverAnswersNothing) {
    const std::string options = Options("power=off,rate=38400");
    auto port = Open(options);
    EXPECT_EQ(SendPacket(*port, kPacket115200), Bytes{});
    EXPECT_EQ(FindSimulatedTransceiver(options)->ConfiguredRate(), 38400u);
    SetSpeed(*port, 38400);
    EXPECT_EQ(LinkCycle(*port), Bytes{});
}

TEST_F(SimPortTest, LineTimeFollowsTheSpeedOnTheProgramsClock) {
    auto real = Open(Options("power=on,timing=real"));
    SetSpeed(*real, 115200);
    LinkCycle(*real);
    EXPECT_EQ(m_clock.Now(), 1000u + 88) << "1024 * 10 / 115200 s, fractions carried over";
    LinkCycle(*real);
    EXPECT_EQ(m_clock.Now(), 1000u + 177);

    auto none = Open(Options("power=on,timing=none"));
    SetSpeed(*none, 115200);
    const DWORD before = m_clock.Now();
    LinkCycle(*none);
    EXPECT_EQ(m_clock.Now(), before);
}

TEST_F(SimPortTest, LogRecordsTheSessionLineByLine) {
    const std::string options = Options("power=off,react=5,ready=1,timing=none");
    {
        auto port = Open(options);
        ASSERT_TRUE(port->SetCommMask(EV_CTS));
        DWORD event = 0;
        ASSERT_TRUE(port->WaitCommEvent(event));
        SendPacket(*port, kPacket115200);
        SetSpeed(*port, 115200);
        Write(*port, {0x0B});
        Read(*port, 1);
        Write(*port, {0x0B});
        Read(*port, 1);
        EXPECT_TRUE(port->PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR));
    }
    const std::vector<std::string> expected = {
        "open",
        "cts on",
        "speed 9600",
        "tx 0b 51 64 70 43 81 90 11",
        "rx 0b 51 64 70 43 81 90 11",
        "speed 115200",
        "tx 0b",
        "rx 0b",
        "tx 0b",
        "purge",
        "close",
    };
    EXPECT_EQ(LogLines(), expected);
}

// Under ThreadSanitizer: a test thread looks at and switches the transceiver while the
// worker's thread uses the port.
TEST_F(SimPortTest, StateCanBeWatchedFromAnotherThread) {
    const std::string options = Options("power=on,timing=none");
    auto port = Open(options);
    auto transceiver = FindSimulatedTransceiver(options);
    SetSpeed(*port, 115200);
    std::atomic<bool> stop{false};
    std::thread watcher([&] {
        for (int i = 0; !stop; ++i) {
            transceiver->SetPower(i % 2 == 0);
            (void)transceiver->ConfiguredRate();
        }
    });
    for (int i = 0; i < 20; ++i)
        LinkCycle(*port);
    stop = true;
    watcher.join();
    transceiver->SetPower(true);
    EXPECT_EQ(CountWords(LinkCycle(*port)), 256u);
}

} // namespace
