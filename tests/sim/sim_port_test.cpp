#include "sim/sim_port.h"

#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "sim/transceiver.h"
#include "tests/support/announcing_clock.h"
#include "tests/support/serial_result.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

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

    static void SetSpeed(ISerialPort& port, std::uint32_t baud) {
        ASSERT_EQ(port.SetLine({baud}), SerialStatus::Ok);
    }
    static void Write(ISerialPort& port, const Bytes& bytes) {
        std::size_t written = 0;
        ASSERT_EQ(port.Write(bytes, written, std::nullopt), SerialStatus::Ok);
        EXPECT_EQ(written, bytes.size());
    }
    // With the configuration's time-out unless told otherwise; a short read is its time-out.
    static Bytes Read(ISerialPort& port, std::size_t count, Timeout timeout = 100ms) {
        Bytes buffer(count);
        std::size_t read = 0;
        const SerialResult result = port.Read(buffer, read, timeout);
        EXPECT_EQ(result, read < count ? SerialStatus::TimedOut : SerialStatus::Ok);
        buffer.resize(read);
        return buffer;
    }
    // The configuration handshake: the packet at 9600 baud, the echo it gets.
    static Bytes SendPacket(ISerialPort& port, const Bytes& packet) {
        SetSpeed(port, 9600);
        Write(port, packet);
        return Read(port, 8);
    }
    // One link-test cycle at the port's speed: 64 writes of the pattern, one read, purge.
    static Bytes LinkCycle(ISerialPort& port) {
        const std::string pattern = "TESTTESTTESTTEST";
        for (int i = 0; i < 64; ++i)
            Write(port, Bytes(pattern.begin(), pattern.end()));
        Bytes echo = Read(port, 1024, 1ms);
        EXPECT_EQ(port.Purge(), SerialStatus::Ok);
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
    IClock* m_used = &m_clock;
    std::shared_ptr<CancelToken> m_cancel = std::make_shared<CancelToken>();
    std::string m_dir;
};

TEST_F(SimPortTest, PowerRateAndLineSettingsOutliveClosingThePort) {
    const std::string options = Options("power=off,react=10");
    {
        auto port = Open(options);
        ASSERT_EQ(port->WaitForCts(true, std::nullopt),
                  SerialStatus::Ok); // the user switches it on
        EXPECT_EQ(SendPacket(*port, kPacket19200), kPacket19200);
        SetSpeed(*port, 19200);
    }
    auto port = Open(options);
    bool cts = false;
    ASSERT_EQ(port->ReadCts(cts), SerialStatus::Ok);
    EXPECT_TRUE(cts);
    EXPECT_EQ(FindSimulatedTransceiver(options)->Line().baudRate, 19200u);
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
    ASSERT_EQ(port->WaitForCts(true, std::nullopt), SerialStatus::Ok);
    EXPECT_EQ(m_clock.Now(), 1000u) << "already on: no wait";
    ASSERT_EQ(port->WaitForCts(false, std::nullopt), SerialStatus::Ok);
    EXPECT_EQ(m_clock.Now(), 1250u);
    bool cts = true;
    ASSERT_EQ(port->ReadCts(cts), SerialStatus::Ok);
    EXPECT_FALSE(cts) << "switched off";

    EXPECT_EQ(port->WaitForCts(true, 100ms), SerialStatus::TimedOut) << "sooner than the user";
    EXPECT_EQ(m_clock.Now(), 1350u);
    ASSERT_EQ(port->WaitForCts(true, 1000ms), SerialStatus::Ok);
    EXPECT_EQ(m_clock.Now(), 1600u);
    ASSERT_EQ(port->ReadCts(cts), SerialStatus::Ok);
    EXPECT_TRUE(cts) << "and on again";
}

// Nobody switches: a test's hand, the cancel or the time-out ends the wait.
TEST_F(SimPortTest, AbsentUserLeavesTheWaitToWhatComesFirst) {
    struct Case {
        const char* name;
        bool switchByHand, cancel;
        Timeout timeout;
        SerialStatus ended;
    };
    const Case cases[] = {
        {"switched by hand", true, false, std::nullopt, SerialStatus::Ok},
        {"cancelled", false, true, std::nullopt, SerialStatus::Cancelled},
        {"timed out", false, false, 50ms, SerialStatus::TimedOut},
    };
    int blanks = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_cancel = std::make_shared<CancelToken>();
        // Blanks make the option text, and so the transceiver, each case's own.
        const std::string options = Options(std::string(++blanks, ' ') + "power=off,user=absent");
        auto port = Open(options);
        std::atomic<bool> done{false};
        SerialResult result;
        std::thread waiter([&] {
            result = port->WaitForCts(true, c.timeout);
            done = true;
        });
        if (c.switchByHand || c.cancel) {
            // Nothing may end it for 50 ms; this sleep is the check, not a synchronisation.
            std::this_thread::sleep_for(50ms);
            EXPECT_FALSE(done) << "the wait ended by itself";
            if (c.switchByHand)
                FindSimulatedTransceiver(options)->SetPower(true);
            else
                m_cancel->Cancel();
        }
        waiter.join();
        EXPECT_EQ(result, c.ended);
        EXPECT_EQ(FindSimulatedTransceiver(options)->PowerOn(), c.switchByHand);
    }
}

TEST_F(SimPortTest, EveryWaitEndsAsCancelledOnceCancelled) {
    AnnouncingClock announcing; // a real sleep of ten minutes: only the cancel ends it early
    m_used = &announcing;
    auto port = Open(Options("power=on,react=600000"));
    SerialResult result;
    std::thread waiter([&] { result = port->WaitForCts(false, std::nullopt); });
    EXPECT_TRUE(announcing.WaitForSleep()) << "the wait never began";
    m_cancel->Cancel();
    waiter.join();
    EXPECT_EQ(result, SerialStatus::Cancelled);

    std::size_t count = 0;
    std::uint8_t b[1] = {0x0B};
    EXPECT_EQ(port->Write(b, count, std::nullopt), SerialStatus::Cancelled);
    EXPECT_EQ(port->Read(b, count, std::nullopt), SerialStatus::Cancelled);
    EXPECT_EQ(port->WaitForCts(false, std::nullopt), SerialStatus::Cancelled);
}

// Each call says how it ended as the system's ports do: what a time-out cut short is TimedOut
// with what it moved, and a pulled adapter fails every call in the system's words.
TEST_F(SimPortTest, EachCallEndsWithTheStatusOfARealPort) {
    using enum SerialStatus;
    struct Case {
        const char* name;
        std::function<SerialResult(ISerialPort&, std::size_t& moved)> call;
        bool vanished;
        SerialStatus ended;
        std::size_t moved;
    };
    Bytes buffer(16);
    const Bytes lots(1024, 0x55); // a second at 9600 baud
    const auto read = [&](std::size_t n) {
        return [&buffer, n](ISerialPort& p, std::size_t& got) {
            return p.Read(std::span(buffer).first(n), got, 100ms);
        };
    };
    const auto write = [&](Timeout timeout) {
        return [&lots, timeout](ISerialPort& p, std::size_t& written) {
            return p.Write(lots, written, timeout);
        };
    };
    const auto waitForOff = [](ISerialPort& p, std::size_t&) { return p.WaitForCts(false, 50ms); };
    const Case cases[] = {
        {"the whole echo", read(8), false, Ok, 8},
        {"more than came", read(16), false, TimedOut, 8},
        {"a write that goes out", write(std::nullopt), false, Ok, 1024},
        {"a write cut short", write(10ms), false, TimedOut, 1024},
        {"a CTS wait nobody ends", waitForOff, false, TimedOut, 0},
        {"a read, pulled", read(8), true, Failed, 0},
        {"a write, pulled", write(std::nullopt), true, Failed, 0},
        {"a CTS wait, pulled", waitForOff, true, Failed, 0},
    };
    int blanks = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string options = Options(std::string(++blanks, ' ') + "power=on,user=absent");
        auto port = Open(options);
        SetSpeed(*port, 9600);
        Write(*port, kPacket115200); // its echo of 8 waits to be read
        if (c.vanished)
            FindSimulatedTransceiver(options)->Vanish();
        std::size_t moved = 0;
        const SerialResult result = c.call(*port, moved);
        EXPECT_EQ(result, c.ended);
        EXPECT_EQ(moved, c.moved);
        EXPECT_EQ(result.error, c.vanished ? std::strerror(EIO) : "");
    }
}

TEST_F(SimPortTest, ConfigurationPacketComesBackAsTheEchoOptionSays) {
    struct Case {
        const char* echo;
        Bytes expected;
    };
    Bytes corrupt = kPacket115200;
    corrupt[3] = static_cast<std::uint8_t>(~corrupt[3]);
    const Case cases[] = {
        {"good", kPacket115200},
        {"none", {}},
        {"short", Bytes(kPacket115200.begin(), kPacket115200.begin() + 7)},
        {"corrupt", corrupt},
    };
    for (const Case& c : cases) {
        auto port = Open(Options(std::string("power=on,rate=57600,echo=") + c.echo));
        const std::uint32_t before = m_clock.Now();
        EXPECT_EQ(SendPacket(*port, kPacket115200), c.expected) << c.echo;
        // A full echo is read at once; a short one only after the whole time-out.
        const std::uint32_t readTime = c.expected.size() == 8 ? 0 : 100;
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
    const std::uint32_t before = m_clock.Now();
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

// The demo's head swept through the beam: the words follow the curve cycle by cycle, from far
// off through the threshold up to aligned and back, over one period on the program's clock.
TEST_F(SimPortTest, ASweptLinkRisesThroughTheThresholdToFullAndFallsBackInOnePeriod) {
    auto port = Open(Options("power=on,link=sweep"));
    SetSpeed(*port, 115200);
    const std::uint32_t start = m_clock.Now();
    std::vector<unsigned> words;
    while (m_clock.Now() - start < kSweepPeriodMs)
        words.push_back(CountWords(LinkCycle(*port)));
    const auto peak = std::max_element(words.begin(), words.end());
    EXPECT_EQ(words.front(), 76u); // 30 %
    EXPECT_EQ(*peak, 256u);
    EXPECT_TRUE(std::is_sorted(words.begin(), peak));
    EXPECT_TRUE(std::is_sorted(words.rbegin(), std::make_reverse_iterator(peak)));
    EXPECT_LT(words.back(), 100u);
}

TEST_F(SimPortTest, WrongSpeedGivesGarbageAndConfiguresNothing) {
    const std::string options = Options("power=on,rate=115200");
    auto port = Open(options);
    SetSpeed(*port, 57600);
    const Bytes echo = LinkCycle(*port);
    EXPECT_EQ(CountWords(echo), 0u);
    for (std::uint8_t b : echo)
        ASSERT_TRUE(b == 0x00 || b == 0xFF);

    SetSpeed(*port, 19200);
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
    const std::uint32_t before = m_clock.Now();
    LinkCycle(*none);
    EXPECT_EQ(m_clock.Now(), before);
}

TEST_F(SimPortTest, LogRecordsTheSessionLineByLine) {
    const std::string options = Options("power=off,react=5,ready=1,timing=none");
    {
        auto port = Open(options);
        ASSERT_EQ(port->WaitForCts(true, std::nullopt), SerialStatus::Ok);
        SendPacket(*port, kPacket115200);
        SetSpeed(*port, 115200);
        Write(*port, {0x0B});
        Read(*port, 1);
        Write(*port, {0x0B});
        Read(*port, 1);
        EXPECT_EQ(port->Purge(), SerialStatus::Ok);
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
