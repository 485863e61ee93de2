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

TEST(FollowUpArguments, AnExecutableFileIsTakenWholeBlanksAndAll) {
    TempDir dir;
    const std::string program = dir / "Mein Programm (neu).sh";
    dir.Write("Mein Programm (neu).sh", "#!/bin/sh\n");
    EXPECT_EQ(FollowUpArguments(program),
              (std::optional<Words>{{dir / "Mein", "Programm", "(neu).sh"}}))
        << "not executable: split like any other text";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    EXPECT_EQ(FollowUpArguments(program), std::optional<Words>{{program}});
    EXPECT_EQ(FollowUpArguments(dir.Path()), (std::optional<Words>{{dir.Path()}}))
        << "a folder is no program; its name is one word anyway";
    EXPECT_EQ(FollowUpArguments("'" + program + "' -x"), (std::optional<Words>{{program, "-x"}}));
}

TEST(FollowUpArguments, NothingToStart) {
    // A NUL from the settings file would cut the program name short: "true" would start.
    for (const std::string& text : {std::string("   "), std::string("'unterminated"),
                                    std::string("'' arg"), std::string("true\0 rm -rf x", 14)})
        EXPECT_EQ(FollowUpArguments(text), std::nullopt) << text;
}

} // namespace
