// The alignment tone through Qt Multimedia: a sink of its own on a thread of its own, which
// pulls the samples there; the UI thread only sets the pitch.
#pragma once

#include "platform/tone_synth.h"

#include <QThread>

#include <memory>
#include <string>
#include <vector>

class QAudioSink;
class QIODevice;
class QTimer;
class QTimer;

class QtTone {
public:
    QtTone();
    ~QtTone();
    QtTone(const QtTone&) = delete;
    QtTone& operator=(const QtTone&) = delete;

    // Why there is no sound ("" when there is): no audio output device, or the sink failed.
    const std::string& Unavailable() const { return m_unavailable; }
    // Any thread; the sink plays silence between tests.
    void Set(int hz, bool pulsed);

private:
    ToneSynth m_synth;
    QThread m_thread;
    QObject m_onThread; // the context of what runs on m_thread
    void Feed();

    // On m_thread, made and used there only.
    QAudioSink* m_sink = nullptr;
    QIODevice* m_out = nullptr; // the sink's input once started
    QTimer* m_feed = nullptr;
    std::vector<std::int16_t> m_samples;
    std::string m_unavailable;
};
