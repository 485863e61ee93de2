#include "dialup/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

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

} // namespace
