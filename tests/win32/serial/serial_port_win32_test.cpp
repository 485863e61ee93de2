// The Windows serial backend on COM1, a pseudo-terminal under Wine whose far end echoes.
#include "link/system_serial_port.h"
#include "platform/cancel_token.h"
#include "serial_test_support.h"
#include "tests/support/serial_result.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetLines(false));
        ASSERT_TRUE(SetPeerMode("echo"));
        opened = OpenSystemSerialPort("COM1:", cancel);
        ASSERT_TRUE(opened.port) << opened.reason;
        // Whatever an earlier test left on the line goes.
        ASSERT_EQ(Port().Purge(), SerialStatus::Ok);
    }
    void TearDown() override {
        opened.port.reset();
        SetLines(false);
        SetPeerMode("echo");
    }

    ISerialPort& Port() { return *opened.port; }
    void SetLine(std::uint32_t baud) { ASSERT_EQ(Port().SetLine({baud}), SerialStatus::Ok); }
    // A short read is its time-out.
    Bytes Read(std::size_t count, Timeout timeout) {
        Bytes buffer(count);
        std::size_t got = 0;
        const SerialResult result = Port().Read(buffer, got, timeout);
        EXPECT_EQ(result, got < count ? SerialStatus::TimedOut : SerialStatus::Ok);
        buffer.resize(got);
        return buffer;
    }
    void Write(const Bytes& bytes) {
        std::size_t written = 0;
        ASSERT_EQ(Port().Write(bytes, written, std::nullopt), SerialStatus::Ok);
        ASSERT_EQ(written, bytes.size());
    }

    // Runs a call that has no time-out and that nothing but the cancel ends, cancels it, and
    // tells whether it came back cancelled. How soon after the cancel is recorded, not judged: a
    // busy machine may hold any thread for a while.
    bool EndsByTheCancel(const std::function<SerialResult()>& call) {
        std::promise<SerialResult> returned;
        std::thread worker([&] { returned.set_value(call()); });
        auto result = returned.get_future();
        // The call should be waiting by now; that it still waits is part of the check.
        const bool early = result.wait_for(150ms) == std::future_status::ready;
        const Stopwatch cancelled;
        cancel->Cancel();
        const bool back = result.wait_for(60s) == std::future_status::ready;
        RecordProperty("latency_ms", std::to_string(cancelled.PreciseMs()));
        worker.join(); // hangs the test if the call never returns: that is the failure
        EXPECT_FALSE(early) << "the call ended by itself";
        EXPECT_TRUE(back) << "the cancel did not end the call";
        return !early && back && result.get() == SerialStatus::Cancelled;
    }

    std::shared_ptr<CancelToken> cancel = std::make_shared<CancelToken>();
    OpenResult opened;
};

TEST_F(SerialPort, ModemLinesAreAnsweredInsideThisVeryProcess) {
    bool cts = true;
    ASSERT_EQ(Port().ReadCts(cts), SerialStatus::Ok);
    std::ifstream log(EnvText("QM_SERIAL_SHIM_LOG_WIN"));
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find(EnvText("QM_SERIAL_EXE_NAME")), std::string::npos) << text.str();
}

TEST_F(SerialPort, IsOpenedExclusively) {
    for (const char* name : {"COM1:", "COM1", "\\\\.\\COM1"}) {
        const OpenResult second = OpenSystemSerialPort(name, nullptr);
        EXPECT_FALSE(second.port) << name;
        EXPECT_NE(second.reason.find("busy"), std::string::npos) << second.reason;
    }
    opened.port.reset();
    const OpenResult again = OpenSystemSerialPort("COM1", nullptr);
    EXPECT_TRUE(again.port) << again.reason;
}

TEST(SerialPortOpen, AbsentPortIsRefusedInTheSystemsWords) {
    const OpenResult absent = OpenSystemSerialPort("COM3:", nullptr);
    EXPECT_FALSE(absent.port);
    EXPECT_EQ(absent.reason.rfind("COM3: absent (", 0), 0u) << absent.reason;
    // The system's text ends with its error number.
    EXPECT_NE(absent.reason.find(")"), std::string::npos);
    EXPECT_FALSE(OpenSystemSerialPort("", nullptr).port);
    // A port the system does not know at all.
    const OpenResult unknown = OpenSystemSerialPort("\\\\.\\COM7", nullptr);
    EXPECT_FALSE(unknown.port);
    EXPECT_NE(unknown.reason.find("absent"), std::string::npos) << unknown.reason;
}

// The speed, stop bits and flow control reach the line, whatever another program left there
// (a pty has always eight data bits and no parity).
TEST_F(SerialPort, LineSettingsReachTheLine) {
    for (std::uint32_t baud : {9600u, 19200u, 38400u, 57600u, 115200u}) {
        SCOPED_TRACE(baud);
        ASSERT_TRUE(SetPeerMode(("scramble" + std::to_string(baud)).c_str()));
        ASSERT_TRUE(WaitForLineSettings("speed 1200 stopb 1 crtscts 1 ixon 1 ixoff 1"));
        SetLine(baud);
        // The peer notes the line as it echoes.
        Write({0x55});
        EXPECT_EQ(Read(1, 1000ms), Bytes{0x55});
        EXPECT_EQ(LineSettingsSeen(),
                  "speed " + std::to_string(baud) + " stopb 0 crtscts 0 ixon 0 ixoff 0");
    }
}

TEST_F(SerialPort, EveryByteValuePassesUnalteredBothWays) {
    SetLine(9600);
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    // The configuration packet itself: XON (0x11) last, a byte above 0x7F before it.
    const Bytes packet{0x0B, 0x51, 0x64, 0x70, 0x43, 0x81, 0x90, 0x11};
    for (const auto& bytes : {packet, all, Bytes{0x00, 0x00, 0x13, 0x11, 0x0D, 0x0A}}) {
        Write(bytes);
        EXPECT_EQ(Read(bytes.size(), 2000ms), bytes);
    }
}

TEST_F(SerialPort, ReadWithNothingArrivingReturnsEmptyAfterTheTotalTimeOut) {
    SetLine(115200);
    // The upper bounds only catch a read that hangs: a busy machine may hold any call long.
    Stopwatch slow;
    EXPECT_TRUE(Read(8, 100ms).empty());
    EXPECT_GE(slow.Ms(), 95);
    EXPECT_LE(slow.Ms(), 10000);

    for (const auto timeout : {1ms, 0ms}) {
        Stopwatch fast;
        EXPECT_TRUE(Read(1024, timeout).empty());
        EXPECT_LE(fast.Ms(), 10000) << timeout.count();
    }
}

TEST_F(SerialPort, ShortEchoIsDeliveredWhenTheTimeOutRunsOut) {
    SetLine(9600);
    Write({0x0B, 0x51, 0x64});
    Stopwatch watch;
    EXPECT_EQ(Read(8, 100ms), (Bytes{0x0B, 0x51, 0x64}));
    EXPECT_GE(watch.Ms(), 80);
}

TEST_F(SerialPort, ReadAfterWriteSeesTheEchoAsSoonAsItIsComplete) {
    SetLine(115200);
    const std::string pattern = "TESTTESTTESTTEST";
    Write({pattern.begin(), pattern.end()});
    Stopwatch watch;
    EXPECT_EQ(Read(16, 60s), (Bytes{pattern.begin(), pattern.end()}));
    EXPECT_LT(watch.Ms(), 30000) << "the read waited for its time-out instead of the count";
}

TEST_F(SerialPort, WriteReturnsOnlyOnceTheOutputQueueIsEmpty) {
    SetLine(115200);
    ASSERT_TRUE(SetLines(false, 100));
    std::atomic<bool> drained = false;
    std::thread drain([&drained] {
        std::this_thread::sleep_for(200ms); // puts the drain into the write's wait
        drained = true;                     // before the drain: a write it ends sees the flag
        SetLines(false, 0);
    });
    Write({0x55});
    const bool drainedFirst = drained;
    drain.join();
    EXPECT_TRUE(drainedFirst) << "returned while the queue still held bytes";
}

TEST_F(SerialPort, PurgeDiscardsInputNotYetRead) {
    SetLine(115200);
    const long long before = EchoedSoFar();
    Write({1, 2, 3, 4, 5, 6, 7, 8});
    // Once the peer has written the echo, it is in our input queue.
    ASSERT_TRUE(WaitForPeer([&] { return EchoedSoFar() >= before + 8; }));
    ASSERT_EQ(Port().Purge(), SerialStatus::Ok);
    EXPECT_TRUE(Read(8, 100ms).empty());
    // The line works on afterwards.
    Write({9});
    EXPECT_EQ(Read(1, 100ms), Bytes{9});
}

TEST_F(SerialPort, CtsLevelIsReportedAsTheLineStands) {
    bool cts = true;
    ASSERT_EQ(Port().ReadCts(cts), SerialStatus::Ok);
    EXPECT_FALSE(cts);
    ASSERT_TRUE(SetLines(true));
    ASSERT_EQ(Port().ReadCts(cts), SerialStatus::Ok);
    EXPECT_TRUE(cts);
}

TEST_F(SerialPort, CtsWaitEndsAtTheLevelEitherWayOrAtItsTimeOut) {
    struct Case {
        const char* name;
        bool wanted;
        std::optional<bool> switchTo; // 150 ms into the wait
        Timeout timeout;
        SerialStatus ended;
    };
    const Case cases[] = {
        {"switched on", true, true, std::nullopt, SerialStatus::Ok},
        // On before the wait began: the level counts, there is nothing to wait for.
        {"already on", true, std::nullopt, 5s, SerialStatus::Ok},
        {"switched off", false, false, std::nullopt, SerialStatus::Ok},
        {"not switched in time", true, std::nullopt, 100ms, SerialStatus::TimedOut},
    };
    bool level = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> switched = false;
        std::thread user([&c, &switched] {
            if (!c.switchTo)
                return;
            std::this_thread::sleep_for(150ms);
            switched = true; // before the switch: a wait it ends sees the flag set
            SetLines(*c.switchTo);
        });
        Stopwatch watch;
        const SerialResult woke = Port().WaitForCts(c.wanted, c.timeout);
        const long long took = watch.Ms();
        const bool switchedFirst = switched;
        user.join();
        level = c.switchTo.value_or(level);
        EXPECT_EQ(woke, c.ended);
        if (c.switchTo) {
            EXPECT_TRUE(switchedFirst) << "ended after " << took << " ms, before the switch";
        }
        if (c.ended == SerialStatus::TimedOut) {
            EXPECT_GE(took, 95);
            EXPECT_LE(took, 10000) << "a guard against a hang only";
        }
        bool cts = !level;
        ASSERT_EQ(Port().ReadCts(cts), SerialStatus::Ok);
        EXPECT_EQ(cts, level);
    }
}

TEST_F(SerialPort, CancelWakesACtsWait) {
    EXPECT_TRUE(EndsByTheCancel([&] { return Port().WaitForCts(true, std::nullopt); }));
}

TEST_F(SerialPort, CancelWakesAReadWithoutTimeOut) {
    SetLine(115200);
    EXPECT_TRUE(EndsByTheCancel([&] {
        std::uint8_t buffer[16];
        std::size_t got = 0;
        return Port().Read(buffer, got, std::nullopt); // the whole count, however long
    }));
}

TEST_F(SerialPort, CancelWakesAWriteWaitingForTheQueueToEmpty) {
    SetLine(115200);
    ASSERT_TRUE(SetLines(false, 100));
    EXPECT_TRUE(EndsByTheCancel([&] {
        std::size_t written = 0;
        const std::uint8_t byte[1] = {0x55};
        return Port().Write(byte, written, std::nullopt);
    }));
}

// The bytes are the driver's, but the queue has not emptied by the deadline.
TEST_F(SerialPort, AWriteWhoseQueueStandsStillEndsAtItsTimeOut) {
    SetLine(115200);
    ASSERT_TRUE(SetLines(false, 100));
    std::size_t written = 0;
    const std::uint8_t byte[1] = {0x55};
    Stopwatch watch;
    EXPECT_EQ(Port().Write(byte, written, 100ms), SerialStatus::TimedOut);
    EXPECT_EQ(written, 1u);
    EXPECT_GE(watch.Ms(), 95);
}

TEST_F(SerialPort, CancelWakesAWriteTheFarEndDoesNotTake) {
    SetLine(115200);
    ASSERT_TRUE(SetPeerMode("hold"));
    Bytes lots(1 << 20, 0x41);
    EXPECT_TRUE(EndsByTheCancel([&] {
        std::size_t written = 0;
        return Port().Write(lots, written, std::nullopt);
    }));
    // Nothing of the write is left pending: the port closes and opens again at once, and
    // what did get through can be discarded.
    opened.port.reset();
    ASSERT_TRUE(SetPeerMode("echo"));
    const OpenResult again = OpenSystemSerialPort("COM1", nullptr);
    ASSERT_TRUE(again.port) << again.reason;
    EXPECT_EQ(again.port->Purge(), SerialStatus::Ok);
}

TEST_F(SerialPort, CancelledPortRefusesFurtherWaitsAtOnce) {
    cancel->Cancel();
    EXPECT_EQ(Port().WaitForCts(false, std::nullopt), SerialStatus::Cancelled)
        << "CTS is off, but the cancel came";
    std::uint8_t byte[1] = {0};
    std::size_t n = 0;
    EXPECT_EQ(Port().Read(byte, n, std::nullopt), SerialStatus::Cancelled);
    EXPECT_EQ(Port().Write(byte, n, std::nullopt), SerialStatus::Cancelled);
}

} // namespace
