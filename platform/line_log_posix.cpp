#include "platform/line_log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool LineLog::Open(const std::string& path, std::string& error) {
    if (path.empty())
        return true;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open log " + path + ": " + std::strerror(errno);
        return false;
    }
    Close();
    m_handle = fd;
    return true;
}

void LineLog::Close() {
    if (m_handle != kClosed)
        ::close(static_cast<int>(m_handle));
    m_handle = kClosed;
}

void LineLog::Write(std::string_view line) const {
    if (m_handle == kClosed)
        return;
    std::string text(line);
    text += '\n';
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(static_cast<int>(m_handle), p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}
