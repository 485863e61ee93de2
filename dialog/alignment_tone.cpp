#include "dialog/alignment_tone.h"

#include "platform/dialog_host.h"

ToneSetting ToneFor(const LinkSample& sample) {
    return {400 + 8 * sample.Percent(), !sample.Good()};
}

void AlignmentTone::SetOn(bool on, const LinkHistory& history) {
    m_on = on;
    if (on && history.Running())
        Cycle(history);
    else
        Play({});
}

void AlignmentTone::Cycle(const LinkHistory& history) {
    if (m_on && history.Last())
        Play(ToneFor(*history.Last()));
}

// Only changes reach the host: a steady link is one trace line, not one a cycle.
void AlignmentTone::Play(ToneSetting tone) {
    if (tone == m_playing)
        return;
    m_playing = tone;
    m_host.SetTone(tone.hz, tone.pulsed);
}
