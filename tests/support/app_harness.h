// Runs the real application object on the headless host, on a UI thread of its own, while the
// test plays the user: it clicks, types and selects, and reads what the dialog shows.
#pragma once

#include "app/link_control_app.h"
#include "dialog/link_control_dialog.h"
#include "platform/headless_host.h"
#include "platform/profile_store.h"
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

class AppHarness {
public:
    HeadlessHost host;
    std::shared_ptr<IProfileStore> store = std::make_shared<MemoryProfileStore>();
    CLinkControlApp app;

    AppHarness() {
        app.SetHost(&host);
        app.m_pszAppName = "Quillmere";
        // No test ever reaches a real serial device unless it maps one itself: every name
        // that has a system device by default leads nowhere.
        for (int digit = 1; digit <= 9; ++digit)
            store->Write("Ports", "COM" + std::to_string(digit), "");
        // Nor a dial-up service of the machine's, nor the machine's list of serial devices.
        store->Write("Dialup", "Service", "none");
        app.SetPortDiscovery(nullptr);
        // Nor the user's folder of link test records.
        records = std::filesystem::temp_directory_path() /
                  ("qm-records-" + std::to_string(std::random_device()()));
        app.SetLinkRecords(LinkRecordStore(records));
    }
    ~AppHarness() {
        Close();
        std::error_code ec;
        std::filesystem::remove_all(records, ec);
    }
    std::filesystem::path records;

    MemoryProfileStore& Memory() { return static_cast<MemoryProfileStore&>(*store); }
    void Set(const std::string& entry, const std::string& value) {
        store->Write("Settings", entry, value);
    }

    // Starts the program with these arguments after the program name, and waits until its
    // main dialog has finished initialising.
    void Start(std::vector<std::string> args = {}) {
        app.SetProfileStore(store);
        std::vector<const char*> argv{"/usr/bin/Quillmere"};
        for (const auto& a : args)
            argv.push_back(a.c_str());
        app.SetStartup(static_cast<int>(argv.size()), argv.data());
        m_ui = std::thread([this] {
            app.InitInstance();
            {
                std::lock_guard lock(m_doneMutex);
                m_done = true;
            }
            m_doneCv.notify_all();
        });
        ASSERT_TRUE(host.WaitForLine("ready IDD_MAIN"))
            << "the main dialog never finished initialising";
    }

    CLinkControlDialog& Dialog() { return *static_cast<CLinkControlDialog*>(app.m_pMainWnd); }

    // Reads dialog fields on the UI thread.
    template <class F> auto OnUi(F f) {
        decltype(f()) value{};
        host.Sync([&] { value = f(); });
        return value;
    }

    void Close() {
        if (!m_ui.joinable())
            return;
        // Escape closes the topmost dialog: an About box first, then the main dialog.
        for (int i = 0; i < 50 && !m_done; ++i) {
            host.UserPressEscape();
            std::unique_lock lock(m_doneMutex);
            m_doneCv.wait_for(lock, std::chrono::milliseconds(100), [&] { return m_done.load(); });
        }
        m_ui.join();
    }

    bool Done() const { return m_done; }
    // Waits until the program has ended by itself; false if it still runs after timeout.
    bool WaitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        {
            std::unique_lock lock(m_doneMutex);
            if (!m_doneCv.wait_for(lock, timeout, [&] { return m_done.load(); }))
                return false;
        }
        m_ui.join();
        return true;
    }
    // The exit code the program ends with; once it has ended.
    int ExitCode() const { return app.ExitCode(); }

private:
    std::thread m_ui;
    std::atomic<bool> m_done{false};
    std::mutex m_doneMutex;
    std::condition_variable m_doneCv;
};
