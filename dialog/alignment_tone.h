// The tone that follows the link test while the heads are aligned, for an operator whose eyes
// are on the head, not on the screen.
#pragma once

#include "link/link_history.h"

class IDialogHost;

struct ToneSetting {
    int hz = 0; // 0: silence
    bool pulsed = false;
    bool operator==(const ToneSetting&) const = default;
};

// The pitch rises with the quality, 400 Hz at 0 % to 1200 Hz at 100 % (8 Hz a percent); below
// 90 % the tone is pulsed, so that 89 % and 90 % are told apart by ear, not by pitch.
ToneSetting ToneFor(const LinkSample& sample);

class AlignmentTone final : public ILinkTestObserver {
public:
    explicit AlignmentTone(IDialogHost& host) : m_host(host) {}

    bool On() const { return m_on; }
    // Switched on during a test, it sounds at once with the last cycle.
    void SetOn(bool on, const LinkHistory& history);

    void TestStarted(const LinkHistory&) override {}
    void Cycle(const LinkHistory& history) override;
    void TestEnded(const LinkHistory&) override { Play({}); }

private:
    void Play(ToneSetting tone);

    IDialogHost& m_host;
    bool m_on = false;
    ToneSetting m_playing;
};
