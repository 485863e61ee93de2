// What the benchmarks share: percentiles, a table line, and the real program with its main
// dialog running on the headless host on a UI thread of its own.
#pragma once

#include "app/link_control_app.h"
#include "dialog/link_control_dialog.h"
#include "platform/headless_host.h"
#include "platform/profile_store.h"
#include "platform/worker_thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using SteadyClock = std::chrono::steady_clock;

inline double Ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
inline double Us(SteadyClock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// The nearest-rank percentile, q in (0, 1].
inline double Percentile(const std::vector<double>& values, double q) {
    if (values.empty())
        return 0;
    std::vector<double> v;
    v.reserve(values.size());
    v.insert(v.end(), values.begin(), values.end());
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(q * static_cast<double>(v.size()) + 0.999999);
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}
inline double Median(const std::vector<double>& v) {
    return Percentile(v, 0.5);
}

// The program with its main dialog on the headless host. COM1 is unmapped during the start-up
// probe, so the program starts in manual mode; afterwards COM1 leads to portValue.
class HeadlessProgram {
public:
    HeadlessHost host;

    // The program runs on clock, when one is given.
    explicit HeadlessProgram(const std::string& portValue, IClock* clock = nullptr) {
        if (clock)
            m_app.SetClock(*clock);
        m_app.SetHost(&host);
        m_app.m_pszAppName = "Quillmere";
        m_store->Write("Ports", "COM1", "");
        m_store->Write("Dialup", "Service", "none");
        m_app.SetProfileStore(m_store);
        static const char* argv[] = {"/usr/bin/Quillmere"};
        m_app.SetStartup(1, argv);
        m_ui = std::thread([this] {
            m_app.InitInstance();
            m_done = true;
        });
        if (!host.WaitForLine("ready IDD_MAIN")) {
            std::fprintf(stderr, "the main dialog did not start\n");
            std::exit(2);
        }
        m_store->Write("Ports", "COM1", portValue);
    }
    ~HeadlessProgram() {
        while (!m_done) {
            host.UserPressEscape();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_ui.join();
    }
    HeadlessProgram(const HeadlessProgram&) = delete;
    HeadlessProgram& operator=(const HeadlessProgram&) = delete;

    CLinkControlDialog& Dialog() { return *static_cast<CLinkControlDialog*>(m_app.m_pMainWnd); }
    PortOpener& Ports() { return m_app.Ports(); }

private:
    std::shared_ptr<IProfileStore> m_store = std::make_shared<MemoryProfileStore>();
    CLinkControlApp m_app;
    std::thread m_ui;
    std::atomic<bool> m_done{false};
};

} // namespace bench
