#include "platform/cancel_token.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

CancelToken::CancelToken() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

CancelToken::~CancelToken() {
    ::close(m_fd);
}

void CancelToken::Cancel() {
    Update([this] { m_cancelled.store(true, std::memory_order_release); });
    const std::uint64_t one = 1;
    // The counter cannot overflow from a handful of cancels; EAGAIN would only mean "already set".
    [[maybe_unused]] ssize_t n = ::write(m_fd, &one, sizeof one);
}
