// The Windows serial backend on COM1, a pseudo-terminal under Wine whose far end echoes.
#include "link/system_serial_port.h"
#include "link/worker_support.h"
#include "platform/cancel_token.h"
#include "serial_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetLines(false));
        ASSERT_TRUE(SetPeerMode("echo"));
        opened = OpenSystemSerialPort("COM1:", cancel);
        ASSERT_TRUE(opened.port) << opened.reason;
        // Whatever an earlier test left on the line goes.
        ASSERT_TRUE(Port().PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR));
    }
    void TearDown() override {
        opened.port.reset();
        SetLines(false);
        SetPeerMode("echo");
    }

    ISerialPort& Port() { return *opened.port; }
    void SetReadTotal(DWORD ms) {
        COMMTIMEOUTS t;
        t.ReadTotalTimeoutConstant = ms;
        ASSERT_TRUE(Port().SetCommTimeouts(t)) << Port().LastError();
    }
    void SetLine(DWORD baud) {
        DCB dcb;
        ASSERT_TRUE(Port().GetCommState(dcb)) << Port().LastError();
        SetLineSettings(dcb, baud);
        ASSERT_TRUE(Port().SetCommState(dcb)) << Port().LastError();
    }
    std::vector<BYTE> Read(DWORD count) {
        std::vector<BYTE> buffer(count);
        DWORD got = 0;
        EXPECT_TRUE(Port().ReadFile(buffer.data(), count, got)) << Port().LastError();
        buffer.resize(got);
        return buffer;
    }
    void Write(const std::vector<BYTE>& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(Port().WriteFile(bytes.data(), static_cast<DWORD>(bytes.size()), written))
            << Port().LastError();
        ASSERT_EQ(written, bytes.size());
    }

    // Runs a blocking call, cancels it after a while, and tells how long the call took to
    // return after the cancel; -1 if it returned before the cancel or did not fail.
    double CancelLatencyMs(const std::function<bool()>& call) {
        std::promise<double> returned;
        std::thread worker([&] {
            const bool ok = call();
            returned.set_value(ok ? -1.0 : cancelled.PreciseMs());
        });
        auto result = returned.get_future();
        if (result.wait_for(150ms) == std::future_status::ready) {
            worker.join();
            return -1;
        }
        cancelled = Stopwatch();
        cancel->Cancel();
        const bool back = result.wait_for(5s) == std::future_status::ready;
        worker.join(); // hangs the test if the call never returns: that is the failure
        return back ? result.get() : -1;
    }

    std::shared_ptr<CancelToken> cancel = std::make_shared<CancelToken>();
    OpenResult opened;
    Stopwatch cancelled;
};

TEST_F(SerialPort, ModemLinesAreAnsweredInsideThisVeryProcess) {
    DWORD status = 0;
    ASSERT_TRUE(Port().GetCommModemStatus(status)) << Port().LastError();
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

TEST_F(SerialPort, LineSettingsReadBackAsSet) {
    for (DWORD baud : {9600u, 19200u, 38400u, 57600u, 115200u}) {
        SetLine(baud);
        DCB dcb;
        dcb.BaudRate = 0;
        dcb.ByteSize = 0;
        dcb.fOutX = dcb.fInX = dcb.fNull = dcb.fOutxCtsFlow = true;
        ASSERT_TRUE(Port().GetCommState(dcb)) << Port().LastError();
        EXPECT_EQ(dcb.BaudRate, baud);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_FALSE(dcb.fOutxCtsFlow);
        EXPECT_FALSE(dcb.fOutxDsrFlow);
        EXPECT_FALSE(dcb.fOutX);
        EXPECT_FALSE(dcb.fInX);
        EXPECT_FALSE(dcb.fNull);
    }
}

TEST_F(SerialPort, EveryByteValuePassesUnalteredBothWays) {
    SetLine(9600);
    SetReadTotal(2000);
    std::vector<BYTE> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<BYTE>(i);
    // The configuration packet itself: XON (0x11) last, a byte above 0x7F before it.
    const std::vector<BYTE> packet{0x0B, 0x51, 0x64, 0x70, 0x43, 0x81, 0x90, 0x11};
    for (const auto& bytes : {packet, all, std::vector<BYTE>{0x00, 0x00, 0x13, 0x11, 0x0D, 0x0A}}) {
        Write(bytes);
        EXPECT_EQ(Read(static_cast<DWORD>(bytes.size())), bytes);
    }
}

TEST_F(SerialPort, ReadWithNothingArrivingReturnsEmptyAfterTheTotalTimeOut) {
    SetLine(115200);
    SetReadTotal(100);
    Stopwatch slow;
    EXPECT_TRUE(Read(8).empty());
    EXPECT_GE(slow.Ms(), 95);
    EXPECT_LE(slow.Ms(), 300);

    SetReadTotal(1);
    Stopwatch fast;
    EXPECT_TRUE(Read(1024).empty());
    EXPECT_LE(fast.Ms(), 30);
}

TEST_F(SerialPort, ShortEchoIsDeliveredWhenTheTimeOutRunsOut) {
    SetLine(9600);
    SetReadTotal(100);
    Write({0x0B, 0x51, 0x64});
    Stopwatch watch;
    EXPECT_EQ(Read(8), (std::vector<BYTE>{0x0B, 0x51, 0x64}));
    EXPECT_GE(watch.Ms(), 80);
}

TEST_F(SerialPort, ReadAfterWriteSeesTheEchoAsSoonAsItIsComplete) {
    SetLine(115200);
    SetReadTotal(500);
    const std::string pattern = "TESTTESTTESTTEST";
    Write({pattern.begin(), pattern.end()});
    Stopwatch watch;
    EXPECT_EQ(Read(16), (std::vector<BYTE>{pattern.begin(), pattern.end()}));
    EXPECT_LT(watch.Ms(), 400) << "the read waited for its time-out instead of the count";
}

TEST_F(SerialPort, WriteReturnsOnlyOnceTheOutputQueueIsEmpty) {
    SetLine(115200);
    ASSERT_TRUE(SetLines(false, 100));
    std::thread drain([] {
        std::this_thread::sleep_for(200ms);
        SetLines(false, 0);
    });
    Stopwatch watch;
    Write({0x55});
    const long long took = watch.Ms();
    drain.join();
    EXPECT_GE(took, 180);
}

TEST_F(SerialPort, PurgeDiscardsInputNotYetRead) {
    SetLine(115200);
    SetReadTotal(100);
    Write({1, 2, 3, 4, 5, 6, 7, 8});
    std::this_thread::sleep_for(100ms); // the echo is in our input queue by now
    ASSERT_TRUE(Port().PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR)) << Port().LastError();
    EXPECT_TRUE(Read(8).empty());
    // The line works on afterwards.
    Write({9});
    EXPECT_EQ(Read(1), std::vector<BYTE>{9});
}

TEST_F(SerialPort, CtsLevelIsReportedAsTheLineStands) {
    DWORD status = 0;
    ASSERT_TRUE(Port().GetCommModemStatus(status)) << Port().LastError();
    EXPECT_EQ(status & MS_CTS_ON, 0u);
    ASSERT_TRUE(SetLines(true));
    ASSERT_TRUE(Port().GetCommModemStatus(status)) << Port().LastError();
    EXPECT_NE(status & MS_CTS_ON, 0u);
}

TEST_F(SerialPort, CtsWaitIsWokenByAChangeEitherWay) {
    ASSERT_TRUE(Port().SetCommMask(EV_CTS)) << Port().LastError();
    for (bool on : {true, false}) {
        std::thread user([on] {
            std::this_thread::sleep_for(150ms);
            SetLines(on);
        });
        Stopwatch watch;
        DWORD events = 0;
        const bool woke = Port().WaitCommEvent(events);
        const long long took = watch.Ms();
        user.join();
        ASSERT_TRUE(woke) << Port().LastError();
        EXPECT_NE(events & EV_CTS, 0u);
        EXPECT_GE(took, 130);
        EXPECT_LE(took, 1000);
        DWORD status = 0;
        ASSERT_TRUE(Port().GetCommModemStatus(status));
        EXPECT_EQ((status & MS_CTS_ON) != 0, on);
    }
}

TEST_F(SerialPort, CtsChangeBetweenStatusReadAndWaitIsNotMissed) {
    ASSERT_TRUE(Port().SetCommMask(EV_CTS));
    DWORD status = 0;
    ASSERT_TRUE(Port().GetCommModemStatus(status));
    ASSERT_EQ(status & MS_CTS_ON, 0u);
    ASSERT_TRUE(SetLines(true)); // switched on before the wait begins
    std::this_thread::sleep_for(20ms);
    std::thread rescue([this] {
        std::this_thread::sleep_for(2s);
        cancel->Cancel();
    });
    Stopwatch watch;
    DWORD events = 0;
    const bool woke = Port().WaitCommEvent(events);
    const long long took = watch.Ms();
    rescue.join();
    EXPECT_TRUE(woke) << Port().LastError();
    EXPECT_LT(took, 100);
}

TEST_F(SerialPort, CancelWakesACtsWait) {
    ASSERT_TRUE(Port().SetCommMask(EV_CTS));
    const double latency = CancelLatencyMs([&] {
        DWORD events = 0;
        return Port().WaitCommEvent(events);
    });
    EXPECT_GE(latency, 0.0) << "the wait did not end as cancelled";
    EXPECT_LT(latency, 20.0);
    EXPECT_EQ(Port().LastError(), "WaitCommEvent: cancelled");
    RecordProperty("latency_ms", std::to_string(latency));
}

TEST_F(SerialPort, CancelWakesAReadWithoutTimeOut) {
    SetLine(115200);
    SetReadTotal(0); // all zero: wait for the whole count, however long
    const double latency = CancelLatencyMs([&] {
        BYTE buffer[16];
        DWORD got = 0;
        return Port().ReadFile(buffer, sizeof buffer, got);
    });
    EXPECT_GE(latency, 0.0) << "the read did not end as cancelled";
    EXPECT_LT(latency, 20.0);
    RecordProperty("latency_ms", std::to_string(latency));
}

TEST_F(SerialPort, CancelWakesAWriteWaitingForTheQueueToEmpty) {
    SetLine(115200);
    ASSERT_TRUE(SetLines(false, 100));
    const double latency = CancelLatencyMs([&] {
        DWORD written = 0;
        const BYTE byte = 0x55;
        return Port().WriteFile(&byte, 1, written);
    });
    EXPECT_GE(latency, 0.0) << "the write did not end as cancelled";
    EXPECT_LT(latency, 20.0);
    RecordProperty("latency_ms", std::to_string(latency));
}

TEST_F(SerialPort, CancelWakesAWriteTheFarEndDoesNotTake) {
    SetLine(115200);
    ASSERT_TRUE(SetPeerMode("hold"));
    std::this_thread::sleep_for(20ms);
    std::vector<BYTE> lots(1 << 20, 0x41);
    const double latency = CancelLatencyMs([&] {
        DWORD written = 0;
        return Port().WriteFile(lots.data(), static_cast<DWORD>(lots.size()), written);
    });
    EXPECT_GE(latency, 0.0) << "the write did not end as cancelled";
    EXPECT_LT(latency, 20.0);
    RecordProperty("latency_ms", std::to_string(latency));
    // Nothing of the write is left pending: the port closes and opens again at once, and
    // what did get through can be discarded.
    opened.port.reset();
    ASSERT_TRUE(SetPeerMode("echo"));
    const OpenResult again = OpenSystemSerialPort("COM1", nullptr);
    ASSERT_TRUE(again.port) << again.reason;
    EXPECT_TRUE(again.port->PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR));
}

TEST_F(SerialPort, CancelledPortRefusesFurtherWaitsAtOnce) {
    cancel->Cancel();
    DWORD events = 0;
    Stopwatch watch;
    EXPECT_FALSE(Port().WaitCommEvent(events));
    BYTE byte = 0;
    DWORD n = 0;
    EXPECT_FALSE(Port().ReadFile(&byte, 1, n));
    EXPECT_FALSE(Port().WriteFile(&byte, 1, n));
    EXPECT_LT(watch.Ms(), 20);
}

} // namespace
