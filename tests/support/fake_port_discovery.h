// Serial devices as a test lists them: it plugs and unplugs them, and WaitForChange wakes as
// it would for the system's devices.
#pragma once

#include "link/port_discovery.h"
#include "platform/cancel_token.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

inline SerialDevice Device(std::string path, std::string node, std::string driver,
                           std::string product = "", bool onBoard = false) {
    SerialDevice device;
    device.path = std::move(path);
    device.node = std::move(node);
    device.driver = std::move(driver);
    device.product = std::move(product);
    device.onBoard = onBoard;
    return device;
}

class FakePortDiscovery final : public IPortDiscovery {
public:
    explicit FakePortDiscovery(std::vector<SerialDevice> devices) : m_devices(std::move(devices)) {}

    std::vector<SerialDevice> Devices() override {
        std::lock_guard lock(m_mutex);
        return m_devices;
    }

    // Only a change after the call began wakes it, as with a monitor made for the call. The
    // token's wait wakes only through its own condition variable, so a change notifies it.
    bool WaitForChange(const CancelToken& cancel) override {
        auto& token = const_cast<CancelToken&>(cancel);
        const unsigned seen = Enter(&token);
        const bool changed = token.Wait([&] { return m_changes.load() != seen; });
        std::lock_guard lock(m_mutex);
        std::erase(m_waiters, &token);
        m_cv.notify_all();
        return changed;
    }

    void Change(std::vector<SerialDevice> devices) {
        std::lock_guard lock(m_mutex); // a waiter's token stays while it is listed
        m_devices = std::move(devices);
        ++m_changes;
        for (CancelToken* token : m_waiters)
            token->Update([] {});
    }

    // Until n threads wait for a change; false after ten seconds.
    bool WaitForWaiters(std::size_t n) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_waiters.size() == n; });
    }

private:
    unsigned Enter(CancelToken* token) {
        std::lock_guard lock(m_mutex);
        m_waiters.push_back(token);
        m_cv.notify_all();
        return m_changes.load();
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<SerialDevice> m_devices;
    std::atomic<unsigned> m_changes{0};
    std::vector<CancelToken*> m_waiters;
};
