#include "platform/termination_signals.h"

#include "platform/diagnostics.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may touch only these: one watch per process.
std::atomic<int> s_first{0};
int s_pipe[2] = {-1, -1};

void OnSignal(int sig) {
    int none = 0;
    if (!s_first.compare_exchange_strong(none, sig))
        ::_exit(128 + sig); // the second one: the user means it
    const int saved = errno;
    const char byte = static_cast<char>(sig);
    if (::write(s_pipe[1], &byte, 1) < 0) {
        // Full or gone: the first signal is recorded all the same.
    }
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int signal)> onSignal)
    : m_onSignal(std::move(onSignal)) {
    if (::pipe2(s_pipe, O_CLOEXEC) != 0) {
        DiagnoseFormat("Quillmere: no signal pipe: %s", std::strerror(errno));
        return;
    }
    m_thread = std::thread([this] {
        for (;;) {
            char byte = 0;
            const ssize_t n = ::read(s_pipe[0], &byte, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || byte == 0)
                return; // the destructor's stop
            m_onSignal(byte);
        }
    });
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    for (int sig : kSignals)
        std::signal(sig, SIG_DFL);
    if (m_thread.joinable()) {
        const char stop = 0;
        while (::write(s_pipe[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (int& fd : s_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int TerminationSignals::Received() const {
    return s_first.load();
}
