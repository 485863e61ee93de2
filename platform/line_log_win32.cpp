#include "platform/line_log.h"

#include <windows.h>

#include "platform/text_win32.h"

bool LineLog::Open(const std::string& path, std::string& error) {
    if (path.empty())
        return true;
    // FILE_APPEND_DATA alone makes every write land at the end, as O_APPEND does; readers may
    // read and other writers append meanwhile.
    HANDLE file = ::CreateFileW(WideFromUtf8(path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemErrorText(::GetLastError());
        return false;
    }
    Close();
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void LineLog::Close() {
    if (m_handle != kClosed)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = kClosed;
}

void LineLog::Write(std::string_view line) const {
    if (m_handle == kClosed)
        return;
    std::string text(line);
    text += '\n';
    DWORD written = 0;
    ::WriteFile(reinterpret_cast<HANDLE>(m_handle), text.data(), static_cast<DWORD>(text.size()),
                &written, nullptr);
}
