// A pseudo-terminal pair standing in for a serial line, and a temporary folder, for the tests
// of the serial layer. The port under test opens the slave by its path; the test plays the
// far end on the master.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qm-link-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

class PtyPair {
public:
    PtyPair() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty");
        // Leave the line as a cooked terminal that strips, translates, echoes and obeys XON/XOFF:
        // whatever the port wants it must set itself. (On Linux the master's termios calls
        // reach the slave too, so the master is left alone.)
        termios cooked{};
        ::tcgetattr(slave, &cooked);
        cooked.c_iflag |= ICRNL | INLCR | IXON | ISTRIP;
        cooked.c_oflag |= OPOST | ONLCR;
        cooked.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
        cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB;
        ::tcsetattr(slave, TCSANOW, &cooked);
        // The port opens the slave itself; this one would keep it alive after a hang-up test.
        ::close(slave);
        m_slavePath = name;
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    // "pts/3": how the kernel names the device in sysfs.
    std::string SlaveName() const { return m_slavePath.substr(std::string("/dev/").size()); }
    int Master() const { return m_master; }

    void Send(const std::vector<unsigned char>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                throw std::runtime_error("write to the pty master");
            done += static_cast<std::size_t>(n);
        }
    }
    // Whatever arrives at the master within about timeoutMs, up to max bytes.
    std::vector<unsigned char> Receive(std::size_t max, int timeoutMs) const;

    void CloseMaster() {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

inline std::vector<unsigned char> PtyPair::Receive(std::size_t max, int timeoutMs) const {
    std::vector<unsigned char> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < max) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0 || !(p.revents & POLLIN))
            break;
        unsigned char buf[4096];
        const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, max - got.size()));
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}
