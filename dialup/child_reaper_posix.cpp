#include "dialup/child_reaper.h"

#include "dialup/pidfd_posix.h"
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One thread polls a pidfd per child; a kernel without pidfds falls back to a look every 200 ms.
class Reaper {
public:
    static Reaper& Get() {
        static Reaper reaper;
        return reaper;
    }

    void Adopt(pid_t pid) {
        const int fd = PidfdOpen(pid);
        {
            std::lock_guard lock(m_mutex);
            m_children.push_back({pid, fd});
            if (!m_thread.joinable())
                m_thread = std::thread([this] { Run(); });
        }
        Wake();
    }

    int Count() {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_children.size());
    }

    ~Reaper() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        Wake();
        if (m_thread.joinable())
            m_thread.join();
        // Children still running are left to the system when we are gone.
        for (const Child& c : m_children)
            if (c.pidfd >= 0)
                ::close(c.pidfd);
        ::close(m_wake);
    }

private:
    struct Child {
        pid_t pid;
        int pidfd;
    };

    Reaper() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
    }

    void Run() {
        for (;;) {
            std::vector<pollfd> fds{{m_wake, POLLIN, 0}};
            bool blind = false;
            {
                std::lock_guard lock(m_mutex);
                if (m_stop)
                    return;
                for (const Child& c : m_children) {
                    if (c.pidfd >= 0)
                        fds.push_back({c.pidfd, POLLIN, 0});
                    else
                        blind = true;
                }
            }
            if (::poll(fds.data(), fds.size(), blind ? 200 : -1) < 0 && errno != EINTR)
                return;
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(m_wake, &count, sizeof count);

            std::lock_guard lock(m_mutex);
            std::erase_if(m_children, [](const Child& c) {
                pid_t r;
                do
                    r = ::waitpid(c.pid, nullptr, WNOHANG);
                while (r < 0 && errno == EINTR);
                if (r == 0)
                    return false; // still running
                if (c.pidfd >= 0)
                    ::close(c.pidfd);
                return true;
            });
        }
    }

    std::mutex m_mutex;
    std::vector<Child> m_children;
    bool m_stop = false;
    int m_wake;
    std::thread m_thread;
};

} // namespace

void ReapInBackground(pid_t pid) {
    Reaper::Get().Adopt(pid);
}

int ChildrenAwaitingReap() {
    return Reaper::Get().Count();
}
