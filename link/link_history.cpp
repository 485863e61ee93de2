#include "link/link_history.h"

#include <utility>

void LinkHistory::Start(LinkTestInfo info, std::uint32_t nowMs) {
    m_info = std::move(info);
    m_startMs = nowMs;
    m_durationMs = 0;
    m_samples.clear();
    m_peak.reset();
    m_running = true;
}

void LinkHistory::Add(LinkSample sample) {
    m_samples.push_back(sample);
    while (m_samples.size() > kMaxSamples ||
           sample.elapsedMs - m_samples.front().elapsedMs > kSpanMs)
        m_samples.pop_front();
    if (!m_peak || sample.matches > m_peak->matches)
        m_peak = sample;
}

std::optional<LinkSample> LinkHistory::Last() const {
    if (m_samples.empty())
        return std::nullopt;
    return m_samples.back();
}
