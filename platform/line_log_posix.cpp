#include "platform/line_log.h"

#include "platform/regular_file_posix.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool LineLog::Open(const std::string& path, std::string& error) {
    if (path.empty())
        return true;
    // A log's path is often in /tmp, where another user may have put a FIFO or a link under it.
    RegularFile file = OpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND);
    if (!file.fd) {
        error = file.notAFile.empty() ? std::strerror(file.error)
                                      : "not a regular file (" + file.notAFile + ")";
        return false;
    }
    Close();
    m_handle = file.fd.Release();
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
