// Shared pieces of the start-mode and chaining tests: a fake dial-up service bound in place of a
// real one, and simulated transceivers that no other test shares.
#pragma once

#include "../support/app_harness.h"
#include "platform/clock.h"

#include <atomic>
#include <cstdio>
#include <mutex>

// One active connection list and a dial outcome; what the program asked is counted.
struct FakeDialup {
    std::vector<RASCONN> active;
    bool enumFails = false;
    bool dialConnects = true;
    bool hangUpEnds = true;
    std::atomic<int> dials{0};
    std::atomic<int> hangUps{0};
    HRASCONN hungUp = 0;

    void Bind() {
        g_pfnRasEnumConnections = [this](std::vector<RASCONN>& out) {
            if (enumFails)
                return false;
            out = active;
            return true;
        };
        g_pfnRasHangUp = [this](HRASCONN h) {
            hungUp = h;
            ++hangUps;
            if (hangUpEnds)
                std::erase_if(active, [h](const RASCONN& c) { return c.hrasconn == h; });
            std::fprintf(stderr, "fake hangup %ju\n", static_cast<uintmax_t>(h));
            return 0u;
        };
        g_pfnRasDialDlg = [this](CDialog*, const std::string& entry) {
            ++dials;
            std::fprintf(stderr, "fake dial %s\n", entry.c_str());
            return dialConnects;
        };
    }
};

// "sim:" options that give each test its own transceiver (one lives per option text).
inline std::string UniqueSim(const std::string& options) {
    static std::atomic<int> n{0};
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/qm-seq-%d-%d.log", static_cast<int>(::getpid()), n++);
    return "sim:" + options + ",log=" + name;
}

// Virtual time for the length of a test.
struct VirtualTime {
    ManualClock clock{1000};
    VirtualTime() { SetClock(&clock); }
    ~VirtualTime() { SetClock(nullptr); }
};
