#include "dialup/command_line.h"
#include "dialup/follow_up.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {
using Words = std::vector<std::string>;

TEST(SplitCommandLine, SplitsAsAShellWouldWithoutExpandingAnything) {
    const std::vector<std::pair<std::string, Words>> cases{
        {"notepad", {"notepad"}},
        {"  ping  -c 1\thost\n", {"ping", "-c", "1", "host"}},
        {"'/opt/My Tools/run' --now", {"/opt/My Tools/run", "--now"}},
        {"\"C:\\\\x\" \"a\\\"b\" \"\\n\"", {"C:\\x", "a\"b", "\\n"}},
        {"a\\ b c\\\\d \\'e", {"a b", "c\\d", "'e"}},
        {"'it'\"'\"'s'", {"it's"}},
        {"x '' \"\" y", {"x", "", "", "y"}},
        {"line\\\ncontinued", {"linecontinued"}},
        {"trailing\\", {"trailing\\"}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto& [text, words] : cases)
        EXPECT_EQ(SplitCommandLine(text), std::optional<Words>(words)) << text;
}

TEST(SplitCommandLine, HostileTextStaysLiteralWords) {
    const std::vector<std::pair<std::string, Words>> cases{
        {"; rm -rf /", {";", "rm", "-rf", "/"}},
        {"ls;rm -rf ~", {"ls;rm", "-rf", "~"}},
        {"echo $(id) `id` $HOME ${PATH}", {"echo", "$(id)", "`id`", "$HOME", "${PATH}"}},
        {"\"$(id)\" \"`id`\" \"\\$HOME\"", {"$(id)", "`id`", "$HOME"}},
        {"cat *.conf > /etc/passwd 2>&1 &", {"cat", "*.conf", ">", "/etc/passwd", "2>&1", "&"}},
        {"a|b&&c||d", {"a|b&&c||d"}},
        {"-rf", {"-rf"}},
    };
    for (const auto& [text, words] : cases)
        EXPECT_EQ(SplitCommandLine(text), std::optional<Words>(words)) << text;
}

TEST(SplitCommandLine, AnOpenQuoteIsNoCommandLine) {
    for (const std::string text : {"'abc", "\"abc", "a \"b\\\"", "it's"})
        EXPECT_EQ(SplitCommandLine(text), std::nullopt) << text;
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
