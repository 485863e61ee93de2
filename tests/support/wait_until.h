// Waiting in a test for something another thread or process brings about.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Polls pred until it holds (true) or ten seconds have passed (false).
inline bool WaitUntil(const std::function<bool()>& pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
