// The alignment tone through waveOut: a few short buffers, refilled by a thread of its own as
// the device hands them back; the UI thread only sets the pitch.
#pragma once

#include "platform/tone_synth.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class WaveOutTone {
public:
    WaveOutTone();
    ~WaveOutTone();
    WaveOutTone(const WaveOutTone&) = delete;
    WaveOutTone& operator=(const WaveOutTone&) = delete;

    // Why there is no sound ("" when there is), in the system's words.
    const std::string& Unavailable() const { return m_unavailable; }
    // Opens the device at the first tone, and keeps it.
    void Set(int hz, bool pulsed);

    struct Device; // the system's handles, in wave_out_tone.cpp

private:
    void Run();

    ToneSynth m_synth;
    std::unique_ptr<Device> m_device;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::string m_unavailable;
};
