#include "platform/line_log.h"

#include <utility>

LineLog::~LineLog() {
    Close();
}

LineLog::LineLog(LineLog&& other) noexcept : m_handle(std::exchange(other.m_handle, kClosed)) {}

LineLog& LineLog::operator=(LineLog&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, kClosed);
    }
    return *this;
}
