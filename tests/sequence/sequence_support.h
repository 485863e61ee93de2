// Shared pieces of the start-mode and chaining tests: a fake dial-up service bound in place of a
// real one, and simulated transceivers that no other test shares.
#pragma once

#include "../support/app_harness.h"
#include "dialup/dialup_service.h"
#include "dialup/service_binding.h"
#include "platform/clock.h"
#include "tests/support/test_env.h"
#include "tests/support/wait_until.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

// A dial-up service that the settings choose as "Service=fake": one active-connection list and
// a dial outcome; what the program asked of it is counted.
class FakeDialup : public IDialupService {
public:
    std::vector<RASCONN> active;
    bool enumFails = false;
    bool dialConnects = true;
    bool hangUpEnds = true;
    bool hangUpIsAnError = false; // for tests that must not hang up
    std::atomic<int> dials{0};
    std::atomic<int> hangUps{0};
    std::atomic<HRASCONN> hungUp{0};

    // Makes this the service of the program that the harness starts next.
    void Bind(AppHarness& h) {
        h.app.Backends().Register("fake", [this](const std::string&, std::string&) {
            return std::shared_ptr<IDialupService>(this, [](IDialupService*) {});
        });
        h.store->Write("Dialup", "Service", "fake");
    }

    std::optional<std::vector<RASCONN>> EnumConnections() override {
        if (enumFails)
            return std::nullopt;
        return active;
    }
    bool HangUp(HRASCONN h) override {
        EXPECT_FALSE(hangUpIsAnError) << "hung up " << h;
        hungUp = h;
        ++hangUps;
        std::fprintf(stderr, "fake hangup %ju\n", static_cast<uintmax_t>(h));
        if (hangUpEnds)
            std::erase_if(active, [h](const RASCONN& c) { return c.hrasconn == h; });
        return hangUpEnds;
    }
    DialOutcome Dial(const std::string& entry, const CancelToken&, const DialProgress&) override {
        ++dials;
        std::fprintf(stderr, "fake dial %s\n", entry.c_str());
        return dialConnects ? DialOutcome::Ok() : DialOutcome::Cancel();
    }
};

// "sim:" options that give each test its own transceiver (one lives per option text).
inline std::string UniqueSim(const std::string& options) {
    static std::atomic<int> n{0};
    const std::string name =
        "qm-seq-" + std::to_string(ProcessId()) + "-" + std::to_string(n++) + ".log";
    return "sim:" + options + ",log=" + (std::filesystem::temp_directory_path() / name).string();
}

class StartMode : public ::testing::Test {};

// Virtual time for the program of a harness; made before the harness, so that it outlives it.
struct VirtualTime {
    ManualClock clock{1000};
    void For(AppHarness& h) { h.app.SetClock(clock); }
};
