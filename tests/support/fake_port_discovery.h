// Serial devices as a test lists them: the test plugs and unplugs them, and a waiting
// WaitForChange wakes as it would for the system's devices.
#pragma once

#include "link/port_discovery.h"
#include "platform/cancel_token.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A device as the discovery lists it; only what the test needs filled in.
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
    explicit FakePortDiscovery(std::vector<SerialDevice> devices = {})
        : m_devices(std::move(devices)) {}

    std::vector<SerialDevice> Devices() override {
        std::lock_guard lock(m_mutex);
        return m_devices;
    }

    // Only a change after the call began wakes it, as with a monitor made for the call.
    bool WaitForChange(const CancelToken& cancel) override {
        // The token's wait wakes only through its own condition variable: a change notifies
        // the tokens of those waiting.
        auto& token = const_cast<CancelToken&>(cancel);
        unsigned seen = 0;
        {
            std::lock_guard lock(m_mutex);
            seen = m_changes.load();
            m_waiters.push_back(&token);
        }
        m_cv.notify_all();
        const bool changed = token.Wait([&] { return m_changes.load() != seen; });
        {
            std::lock_guard lock(m_mutex);
            m_waiters.erase(std::find(m_waiters.begin(), m_waiters.end(), &token));
        }
        m_cv.notify_all();
        return changed;
    }

    // The devices from now on; wakes whoever waits for a change.
    void Change(std::vector<SerialDevice> devices) {
        // Under the lock: a waiter leaves, and its token may go, only after this.
        std::lock_guard lock(m_mutex);
        m_devices = std::move(devices);
        ++m_changes;
        for (CancelToken* token : m_waiters)
            token->Update([] {});
    }

    // Waits until n threads wait for a change; false after ten seconds.
    bool WaitForWaiters(std::size_t n) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_waiters.size() == n; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<SerialDevice> m_devices;
    std::atomic<unsigned> m_changes{0};
    std::vector<CancelToken*> m_waiters;
};
