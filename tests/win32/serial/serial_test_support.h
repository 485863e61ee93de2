// What the Windows serial tests share: the files through which they play the far end's part
// (the modem lines the preloaded shim reports, the echo peer's mode and the line settings it
// saw), and a stopwatch.
// run_under_wine.sh puts COM1 on a pseudo-terminal and names the files in the environment.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

inline std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The peer and the shim read these files at any moment: a rename replaces one whole.
inline bool ReplaceFile(const std::string& path, const std::string& text) {
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out)
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temp, path, error);
    return !error;
}

// The transceiver's lines as the shim reports them: CTS, and bytes still in the output queue.
inline bool SetLines(bool cts, int outputQueue = 0) {
    return ReplaceFile(EnvText("QM_SERIAL_LINES_WIN"), std::string("cts ") + (cts ? "1" : "0") +
                                                           "\noutq " + std::to_string(outputQueue) +
                                                           "\n");
}

// "echo": the peer sends back what it gets; "hold": it stops reading; "scramble..." (a new
// name each time): it echoes, after setting the line as another program might have left it.
inline bool SetPeerMode(const char* mode) {
    return ReplaceFile(EnvText("QM_SERIAL_MODE_WIN"), std::string("mode ") + mode + "\n");
}

// The line's settings as the peer saw them at its last echo (or on the way to "scramble").
inline std::string LineSettingsSeen() {
    std::ifstream in(EnvText("QM_SERIAL_SETTINGS_WIN"));
    std::string line;
    std::getline(in, line);
    return line;
}

inline bool WaitForLineSettings(const std::string& expected) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (LineSettingsSeen() != expected) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class Stopwatch {
public:
    long long Ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - m_start)
            .count();
    }
    double PreciseMs() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};
