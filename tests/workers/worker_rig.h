// The real program on the headless host with COM1 led to a simulated transceiver of its own,
// on virtual time: what the worker tests stand on.
#pragma once

#include "../support/app_harness.h"
#include "link/port_open.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "sim/sim_port.h"
#include "sim/transceiver.h"
#include "tests/support/dialog_test_peer.h"
#include "tests/support/test_env.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Virtual time like ManualClock, except that one chosen sleep holds its sleeper until the test
// lets go or the sleeper is cancelled: a worker can be stopped at an exact point of its run.
class GateClock : public IClock {
public:
    explicit GateClock(std::uint32_t start = 0) : m_time(start) {}

    // The nth sleep of exactly ms milliseconds from now on is held.
    void HoldSleepOf(std::uint32_t ms, int nth = 1) {
        std::lock_guard lock(m_mutex);
        m_holdMs = ms;
        m_holdLeft = nth;
        m_held = m_released = false;
    }
    bool WaitUntilHeld(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_held; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
    }

    std::uint32_t Now() override { return m_time.Now(); }
    bool Sleep(std::uint32_t ms, const CancelToken* cancel) override {
        {
            std::lock_guard lock(m_mutex);
            if (m_holdLeft == 0 || ms != m_holdMs || --m_holdLeft > 0)
                return m_time.Sleep(ms, cancel);
            m_held = true;
        }
        m_cv.notify_all();
        for (;;) {
            if (cancel && cancel->IsCancelled())
                return false;
            {
                std::lock_guard lock(m_mutex);
                if (m_released)
                    break;
            }
            if (cancel)
                cancel->WaitFor(std::chrono::milliseconds(1), [] { return false; });
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return m_time.Sleep(ms, cancel);
    }

private:
    ManualClock m_time;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::uint32_t m_holdMs = 0;
    int m_holdLeft = 0;
    bool m_held = false;
    bool m_released = false;
};

// A folder of its own under the system's temporary folder, removed again.
class TempDir {
public:
    explicit TempDir(bool make = true) {
        if (!make)
            return;
        m_path = MakeTempDir("qm-workers-");
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

inline std::string Unquote(const std::string& quoted) {
    std::string out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 2 < quoted.size()) {
            ++i;
            out += quoted[i] == 'n' ? '\n' : quoted[i];
        } else {
            out += quoted[i];
        }
    }
    return out;
}

// What a cancelled job leaves besides its controls: the link test's bar back at 0, then the
// status line cleared.
inline std::vector<std::string> CancelledEnd(int button) {
    std::vector<std::string> lines;
    if (button == IDC_TEST)
        lines.push_back("pos IDC_LINK_QUALITY 0");
    lines.push_back("text IDC_STATUS \"\"");
    return lines;
}

class WorkerRig {
    // First in, last out: the log folder outlives the program.
    TempDir m_dir;
    std::string m_options;

public:
    // options: the simulator's options without the log, which the rig adds. The program and
    // its simulator run on clock.
    WorkerRig(IClock& clock, const std::string& options, bool withLog = true)
        : m_dir(withLog), m_options(options) {
        if (withLog)
            m_options += (m_options.empty() ? "" : ",") + std::string("log=") + LogPath();
        portValue = "sim:" + m_options;
        h.app.SetClock(clock);
    }
    ~WorkerRig() { h.Close(); }

    std::string portValue;
    AppHarness h;

    // Starts the program with these stored settings. COM1 leads nowhere during the start-up
    // probe, so the program starts in manual mode; then it leads to the simulator.
    void Start(const std::map<std::string, std::string>& settings = {}) {
        for (const auto& [entry, value] : settings)
            h.Set(entry, value);
        h.store->Write("Ports", "COM1", "");
        // No dial-up service: the dial step at the end of the sequence only leaves automatic
        // mode.
        h.store->Write("Dialup", "Service", "none");
        h.Start();
        h.store->Write("Ports", "COM1", portValue);
        h.host.ClearTranscript();
    }

    CLinkControlDialog& Dlg() { return h.Dialog(); }
    void Click(int id) { h.host.UserClick(id); }
    void SetAutoMode() {
        h.host.Sync([&] { DialogPeer::SetAutoMode(Dlg(), true); });
    }
    bool AutoMode() {
        return h.OnUi([&] { return Dlg().State().autoMode; });
    }
    bool PortMarkedOpen() {
        return h.OnUi([&] { return Dlg().Port() == PortState::Open; });
    }
    std::shared_ptr<Transceiver> Sim() { return FindSimulatedTransceiver(m_options); }

    bool WaitLine(const std::string& line,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        if (!h.host.WaitForLine(line, timeout))
            return false;
        // The line may be part of a longer step on the UI thread: let that step finish.
        h.host.Sync([] {});
        return true;
    }
    bool WaitStatus(const std::string& text) {
        return WaitLine("text IDC_STATUS " + HeadlessHost::Quote(text));
    }
    // Waits until count lines start with prefix.
    bool WaitCount(const std::string& prefix, size_t count) {
        size_t seen = 0;
        return h.host.WaitFor(
            [&](const std::string& l) { return l.rfind(prefix, 0) == 0 && ++seen >= count; });
    }

    std::vector<std::string> Transcript() { return h.host.Transcript(); }
    // The transcript from the last line equal to from on (that line excluded).
    std::vector<std::string> After(const std::string& from) {
        std::vector<std::string> all = Transcript();
        for (size_t i = all.size(); i-- > 0;)
            if (all[i] == from)
                return {all.begin() + static_cast<std::ptrdiff_t>(i) + 1, all.end()};
        return {};
    }
    // After(from) without the controls' states and texts, which ControlsFor decides: what the
    // dialog was told.
    std::vector<std::string> ReportsAfter(const std::string& from) {
        std::vector<std::string> out;
        for (const auto& l : After(from))
            if (l.rfind("enable ", 0) != 0 && l.rfind("text IDC_CONFIGURE ", 0) != 0 &&
                l.rfind("text IDC_TEST ", 0) != 0 && l.rfind("text IDC_CONNECT ", 0) != 0)
                out.push_back(l);
        return out;
    }
    std::vector<std::string> Statuses() {
        std::vector<std::string> out;
        for (const auto& line : h.host.Lines("text IDC_STATUS "))
            out.push_back(Unquote(line.substr(std::string("text IDC_STATUS ").size())));
        return out;
    }
    size_t Count(const std::string& line) {
        size_t n = 0;
        for (const auto& l : Transcript())
            n += l == line;
        return n;
    }

    std::vector<std::string> SimLog(const std::string& prefix = "") {
        std::vector<std::string> lines;
        std::ifstream in(LogPath());
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0)
                lines.push_back(line);
        return lines;
    }

    // Every worker has been joined once the UI thread has done what was posted to it.
    bool WorkersGone() {
        h.host.Sync([] {});
        h.host.Sync([] {});
        return LiveWorkerThreads() == 0;
    }

    // Another program (here: the test) can take the port at once.
    bool PortOpensAgain() { return h.app.Ports().Open(portValue, nullptr).port != nullptr; }

    // What an idle dialog after an operation looks like.
    void ExpectIdle(bool dirty) {
        EXPECT_EQ(h.host.Text(IDC_CONFIGURE), "Konfigurieren");
        EXPECT_EQ(h.host.Text(IDC_TEST), "Testen");
        for (int id :
             {IDC_COM_PORT, IDC_BAUDRATE, IDC_SENSITIVITY, IDC_RAS_LINK_NAME, IDC_RUN_PROGRAM,
              IDC_BROWSE, IDC_RUN_INVISIBLE, IDC_CONFIGURE, IDC_TEST, IDC_CONNECT})
            EXPECT_TRUE(h.host.Enabled(id)) << id;
        EXPECT_EQ(h.host.Enabled(IDC_SAVE), dirty);
        EXPECT_EQ(h.host.Pos(IDC_LINK_QUALITY), 0);
        EXPECT_FALSE(AutoMode());
        EXPECT_FALSE(PortMarkedOpen());
        EXPECT_TRUE(h.OnUi([&] { return Dlg().State().activity == Activity::Idle; }));
        EXPECT_TRUE(h.host.Lines("messagebox").empty());
        EXPECT_TRUE(WorkersGone());
        EXPECT_TRUE(PortOpensAgain());
    }

private:
    std::string LogPath() const { return m_dir.Path() + "/sim.log"; }
};
