#include "dialog/alignment_tone.h"
#include "platform/headless_host.h"
#include "platform/tone_synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

TEST(AlignmentTone, PitchRisesWithTheQualityAndIsPulsedBelowTheThreshold) {
    struct Case {
        int matches, hz;
        bool pulsed;
    };
    for (const Case& c : {Case{0, 400, true}, Case{230, 1112, true}, Case{231, 1120, false},
                          Case{256, 1200, false}})
        EXPECT_EQ(ToneFor({0, c.matches}), (ToneSetting{c.hz, c.pulsed})) << c.matches;
}

// What the host is told over a test: only changes, silence at the end and when switched off.
TEST(AlignmentTone, TheHostHearsEachChangeOnceAndSilenceWhenTheTestEndsOrTheToneIsSwitchedOff) {
    HeadlessHost host;
    AlignmentTone tone(host);
    LinkHistory h;
    h.Start();
    tone.TestStarted(h);
    h.Add({100, 256});
    tone.Cycle(h); // off: nothing
    tone.SetOn(true, h);
    for (std::uint32_t t : {200u, 300u}) {
        h.Add({t, 256});
        tone.Cycle(h);
    }
    h.Add({400, 200});
    tone.Cycle(h);
    tone.SetOn(false, h);
    tone.SetOn(true, h);
    h.End();
    tone.TestEnded(h);
    EXPECT_EQ(host.Transcript(),
              (std::vector<std::string>{"tone 1200", "tone 1024 pulsed", "tone off",
                                        "tone 1024 pulsed", "tone off"}));
}

// The samples: the pitch asked for, gaps when pulsed, and no click where the pitch changes.
TEST(AlignmentTone, TheSynthPlaysThePitchPulsesAndChangesWithoutAJump) {
    ToneSynth synth;
    std::vector<std::int16_t> out(ToneSynth::kSampleRate / 2); // half a second
    synth.Set(1000, false);
    synth.Fill(out.data(), out.size());
    int crossings = 0;
    for (std::size_t i = 1; i < out.size(); ++i)
        crossings += (out[i - 1] < 0) != (out[i] < 0);
    EXPECT_NEAR(crossings, 1000, 4); // two a period, 500 periods
    synth.Set(1200, true);
    synth.Fill(out.data(), out.size());
    int maxStep = 0, silent = 0;
    for (std::size_t i = 1; i < out.size(); ++i) {
        maxStep = std::max(maxStep, std::abs(out[i] - out[i - 1]));
        silent += out[i] == 0;
    }
    EXPECT_LT(maxStep, 2 * 3.15 * 1200 / ToneSynth::kSampleRate * 0.3 * 32767 + 2);
    EXPECT_GT(silent, static_cast<int>(out.size()) / 3); // the gaps between pulses
}
