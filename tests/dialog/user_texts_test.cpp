// The sentences the program says to its user, in the string table and in --help: German
// quotation marks, and the polite "Sie" never beside a lower-case "ihr", which reads as a slip
// for "Ihr" whatever it was meant to refer to.
#include "app/usage.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

// The sentence's words, split at everything but letters (UTF-8 bytes count as letters).
std::vector<std::string> Words(const std::string& sentence) {
    std::vector<std::string> words(1);
    for (const char c : sentence) {
        const bool letter = std::isalpha(static_cast<unsigned char>(c)) || (c & 0x80);
        if (letter)
            words.back() += c;
        else if (!words.back().empty())
            words.emplace_back();
    }
    return words;
}

std::vector<std::string> Sentences(const std::string& text) {
    std::vector<std::string> out(1);
    for (const char c : text) {
        out.back() += c;
        if (c == '.' || c == '\n' || c == ':' || c == ';')
            out.emplace_back();
    }
    return out;
}

} // namespace

TEST(UserTexts, QuoteInGermanAndAddressTheUserAsSie) {
    std::vector<std::pair<std::string, std::string>> texts{
        {"--help", UsageText("Quillmere", "/home/ann/.config/Talvenmark/Quillmere.conf")}};
    for (int id = 0; id < 1000; ++id)
        if (std::string text = LoadResourceString(id); !text.empty())
            texts.emplace_back("string " + std::to_string(id), text);
    ASSERT_GT(texts.size(), 40u);
    const std::vector<std::string> lowerIhr{"ihr", "ihre", "ihren", "ihrem", "ihrer", "ihres"};
    for (const auto& [where, text] : texts) {
        EXPECT_EQ(text.find('"'), std::string::npos) << where << ": " << text;
        for (const std::string& sentence : Sentences(text)) {
            const std::vector<std::string> words = Words(sentence);
            const auto has = [&](const std::string& w) {
                return std::find(words.begin(), words.end(), w) != words.end();
            };
            for (const std::string& ihr : lowerIhr)
                EXPECT_FALSE(has("Sie") && has(ihr)) << where << ": " << sentence;
        }
    }
}
