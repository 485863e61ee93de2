#include "link/link_history.h"

#include <gtest/gtest.h>

TEST(LinkHistory, QualityFollowsTheTestsOwnIntegerRuleAtTheThreshold) {
    struct Case {
        int matches, percent;
        bool good;
    };
    for (const Case& c : {Case{0, 0, false}, Case{230, 89, false}, Case{231, 90, true},
                          Case{235, 91, true}, Case{256, 100, true}}) {
        const LinkSample s{0, c.matches};
        EXPECT_EQ(s.Percent(), c.percent) << c.matches;
        EXPECT_EQ(s.Good(), c.good) << c.matches;
    }
}

TEST(LinkHistory, KeepsTwoMinutesAndThePeakSinceTheStartUntilTheNextTestBegins) {
    LinkHistory h;
    h.Start();
    h.Add({0, 240});
    h.Add({500, 250}); // the peak, which leaves the span later
    h.Add({1000, 250});
    h.Add({LinkHistory::kSpanMs + 600, 100});
    EXPECT_EQ(h.Samples().size(), 2u); // the first two are older than two minutes
    EXPECT_EQ(h.Peak()->elapsedMs, 500u);
    h.End();
    EXPECT_FALSE(h.Running());
    EXPECT_EQ(h.Last()->matches, 100); // the ended test's picture stays
    h.Start();
    EXPECT_TRUE(h.Samples().empty());
    EXPECT_FALSE(h.Peak());
}

TEST(LinkHistory, ASourceFasterThanAnyRateKeepsABoundedHistory) {
    LinkHistory h;
    h.Start();
    for (std::uint32_t i = 0; i < 3 * LinkHistory::kMaxSamples; ++i)
        h.Add({i, 200});
    EXPECT_EQ(h.Samples().size(), LinkHistory::kMaxSamples);
    EXPECT_EQ(h.Samples().back().elapsedMs, 3 * LinkHistory::kMaxSamples - 1);
}
