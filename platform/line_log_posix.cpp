#include "platform/line_log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool LineLog::Open(const std::string& path, std::string& error) {
    if (path.empty())
        return true;
    // Only a regular file: opening a device can have effects of its own (a serial line raises
    // its modem lines), and a FIFO blocks until someone reads it.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = "cannot open log " + path + ": not a regular file";
        return false;
    }
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open log " + path + ": " + std::strerror(errno);
        return false;
    }
    // It may have been swapped since the stat.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "cannot open log " + path + ": not a regular file";
        return false;
    }
    ::fcntl(fd, F_SETFL, O_APPEND);
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
