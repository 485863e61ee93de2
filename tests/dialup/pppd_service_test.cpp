#include "dialup/pppd_service.h"
#include "platform/cancel_token.h"
#include "temp_dir.h"
#include "tests/support/text.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<std::string> Names(const std::optional<std::vector<RASCONN>>& list) {
    std::vector<std::string> names;
    for (const auto& c : list.value())
        names.push_back(c.szEntryName);
    return names;
}

// Running, not merely a zombie that nobody has collected yet.
bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// A process that is certainly not pppd, as a stale pid file's number may come to name.
class Bystander {
public:
    Bystander() {
        char sleepArg[] = "sleep", seconds[] = "60";
        char* argv[] = {sleepArg, seconds, nullptr};
        posix_spawnp(&m_pid, "sleep", nullptr, nullptr, argv, environ);
    }
    ~Bystander() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t Pid() const { return m_pid; }
    bool Running() const { return ::waitpid(m_pid, nullptr, WNOHANG) == 0; }

private:
    pid_t m_pid = -1;
};

// BASE/bin/pppd is the stand-in, BASE/peers the entries, BASE/run the pid files.
class PppdBackend : public ::testing::Test {
protected:
    TempDir dir;
    PppdConfig config;
    std::unique_ptr<PppdService> pppd;

    void SetUp() override {
        for (const char* sub : {"bin", "peers", "run"})
            std::filesystem::create_directory(dir / sub);
        std::filesystem::create_symlink(FAKE_PPPD, dir / "bin/pppd");
        config = {dir / "bin/pppd", dir / "peers", dir / "run"};
        pppd = std::make_unique<PppdService>(config);
    }
    void TearDown() override {
        // Daemons a test left up are the stand-in's own: their pid files name them.
        for (const auto& e : std::filesystem::directory_iterator(dir / "run")) {
            std::ifstream in(e.path());
            int pid = 0;
            if (in >> pid && pid > 1 && e.path().filename().string().starts_with("ppp-"))
                ::kill(pid, SIGKILL);
        }
    }

    void Peer(const std::string& name, const std::string& script = "") {
        std::ofstream(dir / "peers/" + name) << script;
    }
    DialOutcome Dial(const std::string& name) {
        CancelToken token;
        return pppd->Dial(name, token, nullptr);
    }
    pid_t PidOf(const std::string& link) {
        std::ifstream in(dir / "run/ppp-" + link + ".pid");
        int pid = 0;
        in >> pid;
        return pid;
    }
};

TEST_F(PppdBackend, DialBringsTheLinkUpAndHangUpEndsIt) {
    Peer("Dach West");
    ASSERT_TRUE(pppd->Installed());
    EXPECT_EQ(pppd->EnumConnections().value().size(), 0u);

    DialOutcome dialled = Dial("Dach West");
    ASSERT_EQ(dialled.kind, DialOutcome::Connected) << dialled.error;
    auto listed = pppd->EnumConnections();
    ASSERT_EQ(Names(listed), std::vector<std::string>{"Dach West"});
    const pid_t daemon = PidOf("Dach West");
    EXPECT_EQ(pppd->EnumConnections().value()[0].hrasconn, listed.value()[0].hrasconn)
        << "the same connection keeps its handle";

    EXPECT_TRUE(pppd->HangUp(listed.value()[0].hrasconn));
    EXPECT_EQ(pppd->EnumConnections().value().size(), 0u) << "listed right after the hang-up";
    EXPECT_FALSE(Alive(daemon));
}

TEST_F(PppdBackend, TheEntryReachesPppdAsOneArgumentAfterCall) {
    const std::vector<std::string> hostile{"a b; rm -rf x", "$(touch y)", "it's \"quoted\"",
                                           "`id`",          "Ümläut",     std::string(240, 'n')};
    for (const auto& name : hostile) {
        Peer(name);
        std::filesystem::remove(dir / "argv.log");
        ASSERT_EQ(Dial(name).kind, DialOutcome::Connected) << name;
        std::ifstream log(dir / "argv.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line) && line.rfind("pid ", 0) != 0;)
            lines.push_back(line);
        EXPECT_EQ(lines, (std::vector<std::string>{config.program, "call", name, "updetach",
                                                   "linkname", name}));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x") || std::filesystem::exists("y"));
    EXPECT_EQ(Dial(std::string(5000, 'n')).kind, DialOutcome::Failed) << "no file can be named so";
}

TEST_F(PppdBackend, NamesThatWouldBePathsOrOptionsAreRefusedBeforeAnythingRuns) {
    Peer("-detach");
    for (const std::string name : {"", "-detach", "../bin/pppd", "peers/x", ".hidden", "."}) {
        DialOutcome outcome = Dial(name);
        EXPECT_EQ(outcome.kind, DialOutcome::Failed) << name;
        EXPECT_FALSE(outcome.error.empty()) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "argv.log")) << "pppd was started";
}

// The name goes into the sentence as it is, placeholder-like text included.
TEST_F(PppdBackend, AnEntryWithoutPeerFileIsNotDialled) {
    DialOutcome outcome = Dial("Nirgends %2");
    EXPECT_EQ(outcome.kind, DialOutcome::Failed);
    EXPECT_EQ(outcome.error, "Zu „Nirgends %2“ gibt es keine Datei in " + config.peersDir + ".");
    EXPECT_FALSE(std::filesystem::exists(dir / "argv.log"));
}

TEST_F(PppdBackend, ANameDifferingOnlyInCaseFindsItsPeerFile) {
    Peer("Mast");
    EXPECT_EQ(pppd->ResolvePeer("MAST"), "Mast");
    EXPECT_EQ(pppd->ResolvePeer("mäst"), "");
    Peer("MAST");
    EXPECT_EQ(pppd->ResolvePeer("MAST"), "MAST") << "the exact name first";
    EXPECT_EQ(pppd->ResolvePeer("mast"), "") << "two candidates: which one is unknown";
}

TEST_F(PppdBackend, ExitStatusesBecomeTheirSentences) {
    const std::vector<std::pair<int, std::string>> cases{
        {6, "Der serielle Port ist von einem anderen Programm belegt."},
        {8, "Das Verbindungsskript ist fehlgeschlagen."},
        {16, "Das Modem hat aufgelegt."},
        {19, "Die Anmeldung bei der Gegenstelle ist fehlgeschlagen."},
        {42, "pppd wurde mit Status 42 beendet."},
    };
    for (const auto& [status, text] : cases) {
        Peer("E", "exit " + std::to_string(status));
        DialOutcome outcome = Dial("E");
        EXPECT_EQ(outcome.kind, DialOutcome::Failed) << status;
        EXPECT_EQ(outcome.error, text);
    }
    EXPECT_EQ(pppd->EnumConnections().value().size(), 0u);
}

TEST_F(PppdBackend, CancelStopsTheDialAndLeavesNoProcess) {
    Peer("Slow", "delay 20000");
    CancelToken token;
    std::thread canceller([&] {
        EXPECT_TRUE(WaitUntil([&] { return Contains(ReadText(dir / "argv.log"), "\npid "); }))
            << "pppd never started";
        token.Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    DialOutcome outcome = pppd->Dial("Slow", token, nullptr);
    canceller.join();
    EXPECT_EQ(outcome.kind, DialOutcome::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    std::ifstream log(dir / "argv.log");
    std::string line;
    pid_t pid = 0;
    while (std::getline(log, line))
        if (line.rfind("pid ", 0) == 0)
            pid = std::stoi(line.substr(4));
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(Alive(pid)) << "neither running nor left as a zombie";
}

TEST_F(PppdBackend, PidFilesNamingNoPppdOfThatLinkAreNotActive) {
    Bystander bystander;
    Peer("B");
    ASSERT_EQ(Dial("B").kind, DialOutcome::Connected);
    const pid_t otherLinksPppd = PidOf("B");
    const std::vector<std::pair<std::string, std::string>> files{
        {"empty", ""},
        {"garbage", "pppd\n"},
        {"negative", "-1\n"},
        {"init", "1\n"},
        {"huge", "99999999999\n"},
        {"dead", "999999\n"},
        {"foreign", std::to_string(bystander.Pid()) + "\n"},
        {"another link", std::to_string(otherLinksPppd) + "\nppp0\n"},
    };
    for (const auto& [link, text] : files)
        std::ofstream(dir / "run/ppp-" + link + ".pid") << text;
    EXPECT_EQ(Names(pppd->EnumConnections()), std::vector<std::string>{"B"});
    EXPECT_TRUE(bystander.Running());
    EXPECT_TRUE(Alive(otherLinksPppd));
}

TEST_F(PppdBackend, HangingUpAfterThePidFileChangedHandsSignalsNobody) {
    Bystander bystander;
    Peer("A");
    ASSERT_EQ(Dial("A").kind, DialOutcome::Connected);
    const HRASCONN handle = pppd->EnumConnections().value().at(0).hrasconn;
    const pid_t daemon = PidOf("A");
    // The pppd died without removing its file, and the number now names another process.
    ::kill(daemon, SIGKILL);
    std::ofstream(dir / "run/ppp-A.pid") << bystander.Pid() << "\nppp0\n";

    EXPECT_TRUE(pppd->HangUp(handle)) << "that connection is gone";
    EXPECT_TRUE(bystander.Running());
    EXPECT_EQ(pppd->EnumConnections().value().size(), 0u);
}

TEST_F(PppdBackend, AMissingRunFolderIsAFailedEnumerationAndNoProgramIsNotInstalled) {
    PppdService missing({dir / "bin/nothing", dir / "peers", dir / "no-run"});
    EXPECT_FALSE(missing.Installed());
    EXPECT_FALSE(missing.EnumConnections().has_value());
}

TEST(PppdCmdline, OnlyPppdGivenThatLinkCounts) {
    EXPECT_TRUE(IsPppdOfLink({"/usr/sbin/pppd", "call", "A", "updetach", "linkname", "A"}, "A"));
    EXPECT_TRUE(IsPppdOfLink({"pppd", "call", "A"}, "A"));
    EXPECT_TRUE(IsPppdOfLink({"pppd", "/dev/ttyS1", "linkname", "A"}, "A"));
    EXPECT_FALSE(IsPppdOfLink({"pppd", "call", "B", "linkname", "B"}, "A"));
    EXPECT_FALSE(IsPppdOfLink({"pppd", "call", "a"}, "A"));
    EXPECT_FALSE(IsPppdOfLink({"/usr/bin/sleep", "call", "A"}, "A"));
    EXPECT_FALSE(IsPppdOfLink({"/tmp/notpppd", "call", "A"}, "A"));
    EXPECT_FALSE(IsPppdOfLink({"pppd", "A"}, "A"));
    EXPECT_FALSE(IsPppdOfLink({}, "A"));
}

} // namespace
