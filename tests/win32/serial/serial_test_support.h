// What the Windows serial tests share: the files through which they play the far end's part
// (the modem lines the preloaded shim reports, the echo peer's mode and the line settings it
// saw), and a stopwatch.
// run_under_wine.sh puts COM1 on a pseudo-terminal and names the files in the environment.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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

// The lines of the echo peer's report: the line's settings as it saw them at its last echo (or
// on the way to "scramble"), "mode M" once it has taken up mode M, "echoed N" bytes so far.
inline std::vector<std::string> PeerReport() {
    std::ifstream in(EnvText("QM_SERIAL_SETTINGS_WIN"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline std::string LineSettingsSeen() {
    const auto report = PeerReport();
    return report.empty() || report[0].starts_with("mode ") ? "" : report[0];
}

inline long long EchoedSoFar() {
    for (const auto& line : PeerReport())
        if (line.starts_with("echoed "))
            return std::stoll(line.substr(7));
    return 0;
}

inline bool WaitForPeer(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline bool WaitForLineSettings(const std::string& expected) {
    return WaitForPeer([&] { return LineSettingsSeen() == expected; });
}

// "echo": the peer sends back what it gets; "hold": it stops reading; "scramble..." (a new
// name each time): it echoes, after setting the line as another program might have left it.
// Returns once the peer has taken the mode up.
inline bool SetPeerMode(const std::string& mode) {
    if (!ReplaceFile(EnvText("QM_SERIAL_MODE_WIN"), "mode " + mode + "\n"))
        return false;
    return WaitForPeer([&] {
        const auto report = PeerReport();
        return std::find(report.begin(), report.end(), "mode " + mode) != report.end();
    });
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
