#include "platform/tone_synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void ToneSynth::Fill(std::int16_t* out, std::size_t count) {
    const std::uint32_t setting = m_setting.load(std::memory_order_relaxed);
    const int hz = static_cast<int>(setting >> 1);
    const bool pulsed = setting & 1;
    if (hz > 0 && m_hz == 0)
        m_sample = 0; // a tone out of silence starts with its pulse, not inside a gap
    m_hz = hz > 0 ? hz : m_gain > 0 ? m_hz : 0; // a tone that stops fades out at its pitch
    constexpr double kVolume = 0.3 * 32767;
    constexpr double kRamp = 1.0 / (0.004 * kSampleRate); // 4 ms from silence to full
    for (std::size_t i = 0; i < count; ++i, ++m_sample) {
        const bool on = hz > 0 && (!pulsed || (m_sample / kPulseSamples) % 2 == 0);
        m_gain += std::clamp((on ? 1.0 : 0.0) - m_gain, -kRamp, kRamp);
        out[i] = static_cast<std::int16_t>(
            std::lround(kVolume * m_gain * std::sin(2 * std::numbers::pi * m_phase)));
        m_phase = std::fmod(m_phase + double(m_hz) / kSampleRate, 1.0);
    }
}
