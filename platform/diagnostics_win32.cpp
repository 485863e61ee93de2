#include "platform/diagnostics_win32.h"

#include "platform/diagnostics.h"
#include "platform/text_win32.h"

#include <cstdio>
#include <string>

#include "platform/windows_api.h"

namespace {

constexpr std::uintmax_t kLogBound = 1024 * 1024;

// One lock for every writer of the log, in this process and in others (the program and its
// "/d" start may write at once), held across the check of the size, the move and the write.
class LogLock {
public:
    LogLock() : m_mutex(::CreateMutexW(nullptr, FALSE, L"Local\\Talvenmark.Quillmere.Log")) {
        // A writer that stopped while holding it must not stop the others' diagnostics: after a
        // second they write without it. An abandoned lock is ours all the same.
        const DWORD waited = m_mutex ? ::WaitForSingleObject(m_mutex, 1000) : WAIT_FAILED;
        m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~LogLock() {
        if (m_held)
            ::ReleaseMutex(m_mutex);
        if (m_mutex)
            ::CloseHandle(m_mutex);
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

private:
    HANDLE m_mutex;
    bool m_held = false;
};

std::uintmax_t FileSize(const std::filesystem::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (std::uintmax_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// %LOCALAPPDATA%\Talvenmark\Quillmere, made if need be; empty without LOCALAPPDATA.
std::filesystem::path LogFolder() {
    wchar_t base[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::filesystem::path folder(base);
    for (const wchar_t* part : {L"Talvenmark", L"Quillmere"}) {
        folder /= part;
        ::CreateDirectoryW(folder.c_str(), nullptr); // one that exists is fine; the open tells
    }
    return folder;
}

// The log is read after the fact, often with lines of several runs: each says when and from
// which process.
std::string LogRecord(const std::string& text) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  static_cast<unsigned long>(::GetCurrentProcessId()));
    return stamp + text;
}

} // namespace

void AppendToBoundedLog(const std::filesystem::path& file, std::string_view text,
                        std::uintmax_t bound) {
    LogLock lock;
    const std::uintmax_t size = FileSize(file);
    // Should the move fail (a reader that does not share deletion), the line is still kept.
    if (size > 0 && size + text.size() > bound)
        ::MoveFileExW(file.c_str(), (file.native() + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    // Written straight to the file, nothing kept back in the process: a crash loses no line.
    HANDLE handle = ::CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(handle);
}

// Standard error too: a console start, or a test, has one.
void Diagnose(std::string_view line) {
    const std::string text = DiagnosticText(line);
    std::fwrite(text.data(), 1, text.size(), stderr);
    ::OutputDebugStringW(WideFromUtf8(text).c_str());
    if (const std::filesystem::path folder = LogFolder(); !folder.empty())
        AppendToBoundedLog(folder / L"Quillmere.log", LogRecord(text), kLogBound);
}
