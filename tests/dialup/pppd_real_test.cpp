// The real pppd through the backend and its own paths, in a mount namespace of this test program
// alone: there /etc/ppp/peers and /run are fresh folders, so the machine's stay untouched. On a
// kernel without PPP, pppd stops at that check, after it has read its options and the peers file.
#include "dialup/pppd_service.h"
#include "platform/cancel_token.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// The far end of the link: the peers file names the slave, the master stays open.
class Pty {
public:
    Pty() : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_slave = ::ptsname(m_master);
    }
    ~Pty() {
        if (m_master >= 0)
            ::close(m_master);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& Slave() const { return m_slave; }

private:
    int m_master;
    std::string m_slave;
};

std::string ReadSource(const std::string& path) {
    std::ifstream in(std::string(SOURCE_DIR) + "/" + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The peers file the README recommends: the code block after it names the file.
std::string ReadmeExample() {
    const std::string readme = ReadSource("README.md");
    const size_t named = readme.find("`/etc/ppp/peers/optolink`");
    const size_t open = readme.find("```\n", named);
    const size_t close = readme.find("```", open + 4);
    if (named == std::string::npos || open == std::string::npos || close == std::string::npos)
        return {};
    return readme.substr(open + 4, close - open - 4);
}

// The adapter's device the example names.
std::string Device(const std::string& peers) {
    const size_t at = peers.find("/dev/serial/by-id/");
    return peers.substr(at, peers.find_first_of(" \n", at) - at);
}

// The example with the adapter's device replaced by the pty.
std::string OnPty(std::string peers, const std::string& device) {
    const size_t at = peers.find("/dev/serial/by-id/");
    if (at != std::string::npos)
        peers.replace(at, peers.find('\n', at) - at, device);
    return peers;
}

class RealPppd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_skip = Isolate(); }

    void SetUp() override {
        if (!s_skip.empty())
            GTEST_SKIP() << s_skip;
    }
    void TearDown() override {
        if (!s_skip.empty())
            return; // not in a namespace of its own: these are the machine's
        for (const auto& e : std::filesystem::directory_iterator("/etc/ppp/peers"))
            std::filesystem::remove_all(e.path());
    }

    PppdService pppd{PppdConfig{}};

private:
    // Why the real pppd cannot run here; empty once this process has its own mount namespace.
    static std::string Isolate() {
        if (::geteuid() != 0)
            return "a mount namespace of its own needs root";
        if (!PppdService(PppdConfig{}).Installed() ||
            !std::filesystem::is_directory("/etc/ppp/peers"))
            return "/usr/sbin/pppd and /etc/ppp/peers are not there (Debian package ppp)";
        if (std::filesystem::exists("/dev/ppp"))
            return "this kernel has PPP: a dial would really start the link";
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("no mount namespace: ") + std::strerror(errno);
        static TempDir dir;
        std::filesystem::create_directory(dir / "peers");
        std::filesystem::create_directory(dir / "run");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount((dir / "peers").c_str(), "/etc/ppp/peers", nullptr, MS_BIND, nullptr) != 0 ||
            ::mount((dir / "run").c_str(), "/run", nullptr, MS_BIND, nullptr) != 0)
            return std::string("cannot mount private folders: ") + std::strerror(errno);
        return {};
    }
    static std::string s_skip;
};
std::string RealPppd::s_skip;

TEST_F(RealPppd, WhatPppdEndsWithBecomesTheSentenceAndItsOwnWordsGoToStandardError) {
    Pty pty;
    ASSERT_FALSE(pty.Slave().empty());
    const std::string example = ReadmeExample();
    ASSERT_NE(example.find("/dev/serial/by-id/"), std::string::npos) << "no example in README.md";
    const std::string noKernel = "Der Kernel unterstützt kein PPP.";
    const std::string badSettings = "Die pppd-Einstellungen dieser Verbindung sind fehlerhaft.";
    struct Case {
        std::string peersFile, sentence, pppdSays;
    };
    // Exit 4 comes after the options: the examples got through pppd's parser.
    const std::vector<std::pair<std::string, Case>> cases{
        {"optolink", {OnPty(example, pty.Slave()), noKernel, "Couldn't open the /dev/ppp device"}},
        {"installed example",
         {OnPty(ReadSource("packaging/examples/optolink"), pty.Slave()), noKernel,
          "Couldn't open the /dev/ppp device"}},
        {"misspelt",
         {OnPty(example, pty.Slave()) + "lcp-echo-intervall 5\n", badSettings,
          "unrecognized option 'lcp-echo-intervall'"}},
        {"adapter unplugged",
         {example,
          "Den Anschluss " + Device(example) + " gibt es nicht. Prüfen Sie, ob der " +
              "Adapter des Laser-Transceivers eingesteckt ist.",
          "unrecognized option '/dev/serial/by-id/"}},
        {"calls a missing one",
         {"call nirgends\n", badSettings,
          "Can't open options file /etc/ppp/peers/nirgends: No such file or directory"}},
        {"no peers file", {"", "Zu „no peers file“ gibt es keine Datei in /etc/ppp/peers.", ""}},
    };
    for (const auto& [name, c] : cases) {
        if (!c.peersFile.empty())
            std::ofstream("/etc/ppp/peers/" + name) << c.peersFile;
        CancelToken token;
        testing::internal::CaptureStderr();
        const DialOutcome outcome = pppd.Dial(name, token, nullptr);
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(outcome.kind, DialOutcome::Failed) << name;
        EXPECT_EQ(outcome.error, c.sentence) << name;
        if (c.pppdSays.empty()) {
            EXPECT_EQ(stderrText, "") << name << ": pppd was started";
        } else {
            EXPECT_NE(stderrText.find(c.pppdSays), std::string::npos) << name << ":\n"
                                                                      << stderrText;
            EXPECT_NE(outcome.detail.find("exit status"), std::string::npos) << name;
        }
        EXPECT_EQ(pppd.EnumConnections().value().size(), 0u) << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty("/run")) << "pppd left a pid or lock file";
}

} // namespace
