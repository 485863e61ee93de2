// The serial layer when the device goes away, on a pseudo-terminal whose far end is closed: the
// kernel hangs the line up (POLLHUP, EIO), as it does when a USB adapter is pulled out. Every
// wait in progress ends with a failure at once, and every later call fails promptly.
#include "link/serial_port_posix.h"
#include "platform/cancel_token.h"
#include "tests/link/pty_pair.h"
#include "tests/support/ppoll_wait.h"
#include "tests/support/serial_result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <sys/ioctl.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The modem lines and output queue as a USB adapter reports them: a pty has no modem lines
// (ENOTTY), which here reads as CTS low for ever, and an output queue that never drains; once
// the line is hung up both ioctls fail with the kernel's EIO, as the adapter's would.
PosixPortEnvironment AdapterLike(const std::string& lockDir) {
    PosixPortEnvironment env = DefaultPosixPortEnvironment();
    env.lockDir = lockDir;
    env.readModemLines = [](int fd, int& lines) {
        lines = 0;
        if (::ioctl(fd, TIOCMGET, &lines) == 0)
            return 0;
        if (errno == ENOTTY || errno == EINVAL) {
            lines = 0;
            return 0;
        }
        return errno;
    };
    env.readOutputQueue = [](int fd, int& queued) {
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
            return errno;
        queued = 16; // the line stands still
        return 0;
    };
    return env;
}

class VanishingPty : public ::testing::Test {
protected:
    void SetUp() override {
        OpenResult opened =
            OpenPosixSerialPort(pty.SlavePath(), cancel, AdapterLike(lockDir.Path().string()));
        ASSERT_TRUE(opened.port) << opened.reason;
        port = std::move(opened.port);
        ASSERT_EQ(port->SetLine({115200}), SerialStatus::Ok);
        bool cts = true;
        ASSERT_EQ(port->ReadCts(cts), SerialStatus::Ok);
        ASSERT_FALSE(cts);
    }

    // Runs call on a thread, hangs the line up while it waits, and tells how it ended.
    void ExpectFailsAtTheHangUp(const std::function<SerialResult()>& call) {
        std::promise<pid_t> caller;
        auto result = std::async(std::launch::async, [&] {
            caller.set_value(::gettid());
            return call();
        });
        const bool waited = WaitUntilInPpoll(caller.get_future().get());
        pty.CloseMaster();
        EXPECT_TRUE(waited) << "the call did not wait";
        ASSERT_EQ(result.wait_for(30s), std::future_status::ready)
            << "still waiting after the hang-up";
        const SerialResult ended = result.get();
        EXPECT_EQ(ended, SerialStatus::Failed);
        EXPECT_FALSE(ended.error.empty());
    }

    PtyPair pty;
    TempDir lockDir;
    std::shared_ptr<CancelToken> cancel = std::make_shared<CancelToken>();
    std::unique_ptr<ISerialPort> port;
};

} // namespace

const std::uint8_t kPattern[16] = {'T', 'E', 'S', 'T', 'T', 'E', 'S', 'T',
                                   'T', 'E', 'S', 'T', 'T', 'E', 'S', 'T'};

TEST_F(VanishingPty, AReadWaitingForeverFails) {
    ExpectFailsAtTheHangUp([&] {
        std::uint8_t buffer[16];
        std::size_t read = 0;
        return port->Read(buffer, read, std::nullopt);
    });
}

TEST_F(VanishingPty, AWriteWaitingForTheLineToDrainFails) {
    ExpectFailsAtTheHangUp([&] {
        std::size_t written = 0;
        return port->Write(kPattern, written, std::nullopt);
    });
}

TEST_F(VanishingPty, ACtsWaitFails) {
    ExpectFailsAtTheHangUp([&] { return port->WaitForCts(true, std::nullopt); });
}

TEST_F(VanishingPty, EveryCallAfterTheHangUpFailsPromptly) {
    pty.CloseMaster();
    struct Step {
        const char* name;
        std::function<SerialResult()> call;
    };
    bool cts = false;
    std::size_t n = 0;
    std::uint8_t buffer[8];
    const Step steps[] = {
        {"SetLine", [&] { return port->SetLine({115200}); }},
        {"ReadCts", [&] { return port->ReadCts(cts); }},
        {"WaitForCts", [&] { return port->WaitForCts(true, 60s); }},
        {"Write", [&] { return port->Write(std::span(kPattern).first(4), n, 60s); }},
        {"Read", [&] { return port->Read(buffer, n, 60s); }},
        {"Purge", [&] { return port->Purge(); }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        const auto start = Clock::now();
        const SerialResult ended = s.call();
        EXPECT_EQ(ended, SerialStatus::Failed);
        // Well inside the minute: the hang-up, not a time-out, ended it.
        EXPECT_LT(Clock::now() - start, 30s);
        EXPECT_FALSE(ended.error.empty());
    }
}

TEST_F(VanishingPty, TheVanishedDeviceClosesCleanlyAndCannotBeOpenedAgain) {
    const std::string path = pty.SlavePath();
    pty.CloseMaster();
    port.reset();
    const OpenResult again =
        OpenPosixSerialPort(path, nullptr, AdapterLike(lockDir.Path().string()));
    EXPECT_FALSE(again.port);
    EXPECT_FALSE(again.reason.empty());
}
