// What the program says to its user, in the string table and in --help: German quotation marks,
// and no lower-case "ihr" in a sentence that addresses the user as "Sie" (it reads as a slip).
#include "app/usage.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

TEST(UserTexts, QuoteInGermanAndAddressTheUserAsSie) {
    const std::regex slip(R"(\bSie\b[^.:;]*\bihr|\bihr\w*\b[^.:;]*\bSie\b)");
    int texts = 0;
    for (int id = 0; id <= 1000; ++id) {
        const std::string text = id < 1000 ? LoadResourceString(id) : UsageText("Quillmere", "/x");
        texts += !text.empty();
        EXPECT_EQ(text.find('"'), std::string::npos) << id << ": " << text;
        EXPECT_FALSE(std::regex_search(text, slip)) << id << ": " << text;
    }
    EXPECT_GT(texts, 40);
}
