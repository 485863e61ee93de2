// A log file that tests and the demo read while the program runs: one line per event, appended
// in one write straight to the file, so it is complete up to the last event even if the process
// is killed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class LineLog {
public:
    LineLog() = default;
    // An empty path gives a log that writes nothing. Only a regular file is opened, never
    // through a link and without waiting (platform/regular_file_posix.h). On failure returns
    // false with the reason in the system's words.
    bool Open(const std::string& path, std::string& error);
    ~LineLog();
    LineLog(LineLog&& other) noexcept;
    LineLog& operator=(LineLog&& other) noexcept;
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    bool IsOpen() const { return m_handle != kClosed; }
    // A full disk loses the line; it never breaks what is being logged.
    void Write(std::string_view line) const;

private:
    static constexpr std::intptr_t kClosed = -1;
    void Close();
    std::intptr_t m_handle = kClosed; // a descriptor, or a file handle on Windows
};
