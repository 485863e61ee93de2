#include "dialog/alignment_readout.h"
#include "res/resources.h"

#include <gtest/gtest.h>

TEST(AlignmentReadout, ShowsTheLastCycleItsVerdictAndThePeakWithItsAgeKeptAfterTheEnd) {
    LinkHistory h;
    auto at = [&] { return ReadoutFor(h, LoadResourceString); };
    EXPECT_EQ(at().value, "–");
    EXPECT_EQ(at().verdictText, "Kein Linktest");
    h.Start();
    h.Add({1000, 250}); // 97 %, the peak
    h.Add({5000, 235}); // 91 %
    EXPECT_EQ(at().value, "91 %");
    EXPECT_EQ(at().verdict, ReadoutPicture::Verdict::Good);
    EXPECT_EQ(at().peak, "Spitze 97 % vor 4 s");
    h.Add({6000, 230}); // 89 %
    h.End();
    const ReadoutPicture ended = at();
    EXPECT_EQ(ended.verdictText, "zu schwach");
    EXPECT_EQ(ended.peak, "Spitze 97 % vor 5 s"); // the test's clock stood still at its end
    ASSERT_EQ(ended.points.size(), 3u);
    EXPECT_FLOAT_EQ(ended.points.back().first, 1.0f);
    EXPECT_FLOAT_EQ(ended.points.front().first, 1.0f - 5000.0f / LinkHistory::kSpanMs);
    EXPECT_FLOAT_EQ(ended.points.back().second, 230.0f / 256);
}
