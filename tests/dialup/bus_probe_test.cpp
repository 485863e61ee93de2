// Which bus address the probe reaches, and that a bus that stays silent costs it only its deadline.
#include "dialup/networkmanager/bus_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A listening socket that never accepts: the bus daemon frozen.
class FrozenBus {
public:
    explicit FrozenBus(const std::string& name, bool abstract) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path + (abstract ? 1 : 0), name.data(), name.size());
        const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() +
                                                (abstract ? 1 : 0) + 1);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), len), 0) << name;
        EXPECT_EQ(::listen(m_fd, 4), 0);
    }
    ~FrozenBus() { ::close(m_fd); }

private:
    int m_fd = -1;
};

} // namespace

TEST(BusProbe, TakesTheFirstUnixAddressThatConnectsAndGivesUpOnSilenceAtTheDeadline) {
    const std::string path = ::testing::TempDir() + "qm-frozen-bus-" + std::to_string(::getpid());
    const std::string abstract = "qm-frozen-bus-" + std::to_string(::getpid());
    FrozenBus byPath(path, false), byName(abstract, true);
    struct Case {
        std::string address;
        bool connected;
    };
    const Case cases[] = {
        {"unix:path=" + path, true},
        {"unix:abstract=" + abstract + ",guid=0123", true},
        {"tcp:host=localhost,port=1;unix:path=" + path + "-none;unix:abstract=" + abstract, true},
        {"unix:path=" + path.substr(0, path.size() - 1) + "%" +
             std::to_string(static_cast<int>(path.back()) / 16) +
             "0123456789abcdef"[path.back() % 16],
         true},
        {"unix:path=" + path + "-none", false},
        {"tcp:host=localhost,port=1", false},
        {"", false},
    };
    for (const Case& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        const BusProbeResult r = ProbeBus(c.address, "org.freedesktop.NetworkManager", 300ms);
        EXPECT_EQ(r.connected, c.connected) << c.address << ": " << r.reason;
        EXPECT_FALSE(r.answered || r.hasOwner) << c.address;
        EXPECT_FALSE(r.reason.empty()) << c.address;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << c.address;
    }
    ::unlink(path.c_str());
}
