#include "platform/cancel_token.h"

#include <system_error>
#include <windows.h>

CancelToken::CancelToken() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!m_event)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "CreateEvent");
}

CancelToken::~CancelToken() {
    ::CloseHandle(m_event);
}

void CancelToken::Cancel() {
    Update([this] { m_cancelled.store(true, std::memory_order_release); });
    ::SetEvent(m_event);
}
