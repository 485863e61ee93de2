#include "../support/wait_until.h"
#include "dialup/child_reaper.h"
#include "dialup/command_line.h"
#include "dialup/follow_up.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using Words = std::vector<std::string>;

// Waits until the file holds that many whole lines.
std::string Await(const TempDir& dir, const std::string& name, long lines) {
    WaitUntil([&] {
        const std::string text = dir.Read(name);
        return std::count(text.begin(), text.end(), '\n') >= lines;
    });
    return dir.Read(name);
}

TEST(FollowUpProgram, StartsTheProgramWithItsArgumentsFromPath) {
    TempDir dir;
    ASSERT_TRUE(StartFollowUpProgram("touch '" + dir / "a b" + "' " + dir / "c", false));
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir / "c"); }));
    EXPECT_TRUE(std::filesystem::exists(dir / "a b"));
    EXPECT_TRUE(WaitUntil([] { return ChildrenAwaitingReap() == 0; })) << "left a zombie";
}

TEST(FollowUpProgram, HiddenRunsInItsOwnSessionWithStreamsOnDevNull) {
    TempDir dir;
    // The shell runs only because it is asked for by name; $$ and $(...) are its business.
    const std::string script =
        "a=$(readlink /proc/$$/fd/0); b=$(readlink /proc/$$/fd/1); c=$(readlink /proc/$$/fd/2); "
        "s=$(cut -d\" \" -f6 /proc/$$/stat); echo $a $b $c $$ $s > \"$0\"";
    ASSERT_TRUE(StartFollowUpProgram("sh -c '" + script + "' " + dir / "out", true));
    std::istringstream lines(Await(dir, "out", 1));
    std::string in, so, se, pid, session;
    lines >> in >> so >> se >> pid >> session;
    EXPECT_EQ(in, "/dev/null");
    EXPECT_EQ(so, "/dev/null");
    EXPECT_EQ(se, "/dev/null");
    EXPECT_EQ(pid, session) << "the session leader is the program itself";
}

TEST(FollowUpProgram, StartsWithNoBlockedOrIgnoredSignals) {
    TempDir dir;
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    sigset_t usr1, old;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &usr1, &old);
    const bool started = StartFollowUpProgram("cp /proc/self/status " + dir / "status", false);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_TRUE(started);
    ASSERT_TRUE(WaitUntil([] { return ChildrenAwaitingReap() == 0; }));
    const std::string status = dir.Read("status");
    // Signals 1 to 31; the C library keeps two real-time signals of its own above them.
    auto mask = [&](const std::string& key) {
        const size_t at = status.find(key + ":\t");
        return at == std::string::npos
                   ? ~0ull
                   : std::stoull(status.substr(at + key.size() + 2, 16), nullptr, 16) &
                         0x7fffffffull;
    };
    EXPECT_EQ(mask("SigBlk"), 0u) << status;
    EXPECT_EQ(mask("SigIgn"), 0u) << status;
}

TEST(FollowUpProgram, WhatCannotStartIsReportedAsFalse) {
    TempDir dir;
    dir.Write("not-executable", "#!/bin/sh\n");
    for (const std::string& text : std::vector<std::string>{
             "/nonexistent/program", "quillmere-no-such-program --x", dir / "not-executable",
             "; rm -rf /", "'open quote", "   ", "$(id)"})
        EXPECT_FALSE(StartFollowUpProgram(text, false)) << text;
}

TEST(FollowUpArguments, TheFirstWordIsTheProgramEvenWhenAFileIsNamedAfterTheWholeText) {
    // Someone else's file in a shared folder, named after the whole command line.
    TempDir dir;
    dir.Write("tool.sh hello", "#!/bin/sh\n");
    std::filesystem::permissions(dir / "tool.sh hello", std::filesystem::perms::all);
    EXPECT_EQ(FollowUpArguments(dir / "tool.sh hello"),
              (std::optional<Words>{{dir / "tool.sh", "hello"}}));
}

TEST(FollowUpArguments, AChosenFileStartsAsOneWordWhateverItsName) {
    for (const std::string path :
         {"/usr/bin/true", "/opt/Mein Programm (neu)/start.sh", "/opt/it's \"quoted\"",
          "/opt/$HOME/`id`/*", "/opt/tab\there", "/opt/back\\slash", "relative name"}) {
        const std::string text = CommandLineForFile(path);
        EXPECT_EQ(FollowUpArguments(text), std::optional<Words>{{path}}) << text;
        EXPECT_EQ(FollowUpArguments(text + " --flag"), (std::optional<Words>{{path, "--flag"}}));
        EXPECT_EQ(FileOfCommandLine(text + " --flag"), path);
    }
    EXPECT_EQ(CommandLineForFile("/usr/bin/true"), "/usr/bin/true")
        << "no quotes where none needed";
}

TEST(FollowUpArguments, NothingToStart) {
    // A NUL from the settings file would cut the program name short: "true" would start.
    for (const std::string& text : {std::string("   "), std::string("'unterminated"),
                                    std::string("'' arg"), std::string("true\0 rm -rf x", 14)})
        EXPECT_EQ(FollowUpArguments(text), std::nullopt) << text;
}

} // namespace
