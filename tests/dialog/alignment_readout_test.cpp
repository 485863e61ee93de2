#include "dialog/alignment_readout.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// A test's life as the dialog tells it: "S" starts, "E" ends, "1000:250" is a cycle at 1000 ms
// with 250 words back.
LinkHistory Played(const std::string& events) {
    LinkHistory h;
    std::istringstream in(events);
    for (std::string e; in >> e;) {
        if (e == "S")
            h.Start();
        else if (e == "E")
            h.End();
        else
            h.Add(
                {static_cast<std::uint32_t>(std::stoul(e)), std::stoi(e.substr(e.find(':') + 1))});
    }
    return h;
}

using V = ReadoutPicture::Verdict;

struct Case {
    const char* events;
    const char* value;
    V verdict;
    const char* verdictText;
    const char* peak;
    std::size_t points;
    float firstX; // where the oldest cycle kept sits on the plot
};

const Case kCases[] = {
    {"", "–", V::None, "Kein Linktest", "", 0, 0},
    {"S", "–", V::None, "Linktest beginnt", "", 0, 0},
    // 231 words are the first good ones: the line lies between them and 230.
    {"S 90:231", "90 %", V::Good, "gut", "Spitze 90 % vor 0 s", 1, 1},
    {"S 90:231 180:230", "89 %", V::Bad, "zu schwach", "Spitze 90 % vor 0 s", 2, 1 - 90 / 120e3f},
    {"S 1000:250 5000:235", "91 %", V::Good, "gut", "Spitze 97 % vor 4 s", 2, 1 - 4000 / 120e3f},
    // The peak stays after it has left the plot.
    {"S 0:256 60000:240 130000:200", "78 %", V::Bad, "zu schwach", "Spitze 100 % vor 130 s", 2,
     1 - 70000 / 120e3f},
    // After the end the picture stands still, the peak's age with it.
    {"S 1000:250 5000:235 6000:230 E", "89 %", V::Bad, "zu schwach", "Spitze 97 % vor 5 s", 3,
     1 - 5000 / 120e3f},
    {"S 1000:250 6000:230 E S", "–", V::None, "Linktest beginnt", "", 0, 0},
    {"S 1000:250 6000:230 E S 90:200", "78 %", V::Bad, "zu schwach", "Spitze 78 % vor 0 s", 1, 1},
};

} // namespace

TEST(AlignmentReadout, ShowsTheLastCycleItsVerdictThePeakAndTheLastTwoMinutes) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string("events: ") + c.events);
        const LinkHistory h = Played(c.events);
        const ReadoutPicture p = ReadoutFor(h, LoadResourceString);
        EXPECT_EQ(p.title, "Ausrichtanzeige");
        EXPECT_EQ(p.value, c.value);
        EXPECT_EQ(p.verdict, c.verdict);
        EXPECT_EQ(p.verdictText, c.verdictText);
        EXPECT_EQ(p.peak, c.peak);
        EXPECT_FLOAT_EQ(p.threshold, PlotHeight(231));
        ASSERT_EQ(p.points.size(), c.points);
        if (p.points.empty())
            continue;
        EXPECT_FLOAT_EQ(p.points.front().first, c.firstX);
        EXPECT_FLOAT_EQ(p.points.back().first, 1.0f);
        for (std::size_t i = 0; i < p.points.size(); ++i) {
            const LinkSample& s = h.Samples()[i];
            EXPECT_FLOAT_EQ(p.points[i].second, PlotHeight(s.matches));
            EXPECT_EQ(p.points[i].second >= p.threshold, s.Good()) << s.matches << " words";
        }
    }
}
