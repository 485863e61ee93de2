#include "dialog/alignment_readout.h"

#include "platform/dialog_host.h"
#include "res/resource.h"
#include "res/resources.h"

#include <algorithm>

// Aligning happens between about 50 % and 100 %: the plot spends its height there, with room
// above 100 % so that a perfect link is not drawn on the frame.
float PlotHeight(int matches) {
    constexpr float kBottom = 0.5f, kTop = 1.05f;
    const float quality = float(matches) / kExpectedWords;
    return std::clamp((quality - kBottom) / (kTop - kBottom), 0.0f, 1.0f);
}

ReadoutPicture ReadoutFor(const LinkHistory& history, const ReadoutTexts& texts) {
    ReadoutPicture p;
    p.title = texts(IDS_READOUT_TITLE);
    p.threshold = PlotHeight(kGoodMatches);
    const std::optional<LinkSample> last = history.Last();
    if (!last) {
        p.value = "–";
        // A test that has just started has no verdict yet, but it is not "no test" either.
        p.verdictText = texts(history.Running() ? IDS_READOUT_STARTING : IDS_READOUT_NO_TEST);
        return p;
    }
    p.value = std::to_string(last->Percent()) + " %";
    p.verdict = last->Good() ? ReadoutPicture::Verdict::Good : ReadoutPicture::Verdict::Bad;
    p.verdictText = texts(last->Good() ? IDS_READOUT_GOOD : IDS_READOUT_BAD);
    // The peak's age on the test's own clock: it stands still once the test has ended.
    const LinkSample peak = *history.Peak();
    p.peak = FormatString(texts(IDS_READOUT_PEAK),
                          {std::to_string(peak.Percent()),
                           std::to_string((last->elapsedMs - peak.elapsedMs) / 1000)});
    for (const LinkSample& s : history.Samples()) {
        const float age = float(last->elapsedMs - s.elapsedMs) / LinkHistory::kSpanMs;
        p.points.emplace_back(1.0f - age, PlotHeight(s.matches));
    }
    return p;
}

void AlignmentReadout::Show(const LinkHistory& history) {
    m_host.ShowReadout(m_owner, ReadoutFor(history, m_texts));
}

void AlignmentReadout::Update(const LinkHistory& history) {
    if (m_host.IsReadoutShown())
        m_host.UpdateReadout(ReadoutFor(history, m_texts));
}
