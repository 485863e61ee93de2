// The samples of the alignment tone: a sine whose pitch can change at any sample without a
// click, steady or pulsed. Runs on the audio side; the pitch is set from anywhere.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class ToneSynth {
public:
    static constexpr int kSampleRate = 48000;
    // Pulsed: 125 ms of tone, 125 ms of silence.
    static constexpr int kPulseSamples = kSampleRate / 8;

    // hz 0 is silence. Any thread.
    void Set(int hz, bool pulsed) { m_setting.store(Pack(hz, pulsed), std::memory_order_relaxed); }

    // The next samples, mono, signed 16 bit. The audio thread only.
    void Fill(std::int16_t* out, std::size_t count);

private:
    static std::uint32_t Pack(int hz, bool pulsed) {
        return static_cast<std::uint32_t>(hz) << 1 | (pulsed ? 1u : 0u);
    }

    std::atomic<std::uint32_t> m_setting{0};
    int m_hz = 0;
    double m_phase = 0; // in turns
    double m_gain = 0;  // follows the target within a few ms: no clicks
    std::uint64_t m_sample = 0;
};
