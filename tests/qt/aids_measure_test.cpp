// What the alignment-aids benchmark reads from its stamps: a wrong pitch or a wrong match would
// make its tone figures wrong without anything failing.
#include "bench/aids_measure.h"
#include "platform/tone_synth.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

const SteadyClock::time_point kT0 = SteadyClock::now();

SteadyClock::time_point At(double ms) {
    return kT0 + std::chrono::duration_cast<SteadyClock::duration>(
                     std::chrono::duration<double, std::milli>(ms));
}
SinkWrite Write(double ms, double hz) {
    return {At(ms), At(ms + 0.1), hz};
}
ToneSet Tone(double cycleMs, int hz, bool pulsed = false) {
    return {At(cycleMs), At(cycleMs + 0.2), hz, pulsed};
}

} // namespace

// 5 ms of the real synthesiser's samples, taken where the case says: the pitch within 1 Hz,
// so that the 8 Hz of one percent are told apart; silence where there is no tone.
TEST(AidsMeasure, ThePitchOfTheSynthesisersSamples) {
    struct Case {
        int hz;
        bool pulsed;
        std::size_t from; // sample
        double expected;
    };
    for (const Case& c :
         {Case{1200, false, 480, 1200}, Case{1192, false, 4800, 1192}, Case{400, false, 480, 400},
          Case{1112, true, 480, 1112}, Case{1112, true, ToneSynth::kPulseSamples + 480, 0},
          Case{0, false, 480, 0}}) {
        ToneSynth synth;
        synth.Set(c.hz, c.pulsed);
        std::vector<std::int16_t> samples(c.from + 240);
        synth.Fill(samples.data(), samples.size());
        EXPECT_NEAR(PitchOf(samples.data() + c.from, 240), c.expected, 1.0)
            << c.hz << (c.pulsed ? " pulsed" : "") << " from " << c.from;
    }
}

TEST(AidsMeasure, EachChangeIsMatchedToTheFirstWriteThatCarriesIt) {
    struct Case {
        const char* what;
        std::vector<ToneSet> tones;
        std::vector<SinkWrite> writes;
        std::vector<double> written;
        int checked, silent, later, missing;
    };
    const Case cases[] = {
        {"the next feed", {Tone(0, 1200)}, {Write(-1, 1192), Write(3, 1200)}, {3.1}, 1, 0, 0, 0},
        {"a feed that read the old setting",
         {Tone(0, 1192), Tone(89, 1200)},
         {Write(1, 1192), Write(89.3, 1192), Write(94, 1200)},
         {1.1, 5.1},
         2,
         0,
         1,
         0},
        {"in a pulse's gap", {Tone(0, 1072, true)}, {Write(5, 0)}, {5.1}, 0, 1, 0, 0},
        {"never written", {Tone(0, 1200)}, {Write(-1, 1192)}, {}, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        const ToneLatencies r = MatchTones(c.tones, c.writes);
        ASSERT_EQ(r.written.size(), c.written.size()) << c.what;
        for (std::size_t i = 0; i < c.written.size(); ++i)
            EXPECT_NEAR(r.written[i], c.written[i], 1e-6) << c.what;
        EXPECT_EQ((std::vector{r.checked, r.silent, r.later, r.missing}),
                  (std::vector{c.checked, c.silent, c.later, c.missing}))
            << c.what;
    }
}

// A steady tone is heard with the sink's delay; a pulsed one once its gap ends, unless the
// next cycle's setting came first.
TEST(AidsMeasure, EachChangeIsHeardAtTheFirstMonitorBlockAtItsPitch) {
    const std::vector<ToneSet> tones = {Tone(0, 1200), Tone(89, 1072, true), Tone(178, 1080, true)};
    const std::vector<SinkWrite> blocks = {Write(30, 1192), Write(40, 1200), Write(130, 0),
                                           Write(170, 0), Write(230, 1080)};
    const HeardLatencies r = MatchHeard(tones, blocks);
    EXPECT_EQ(r.all.size(), 2u);
    EXPECT_NEAR(r.all.back(), 52.1, 1e-6);
    ASSERT_EQ(r.steady.size(), 1u);
    EXPECT_NEAR(r.steady[0], 40.1, 1e-6);
    EXPECT_EQ(r.replaced, 1);
}
