// What the alignment-aids benchmark works out from its stamps, apart so that it can be checked:
// a chunk of samples' pitch, and which write to the sound server or which block of its monitor
// first carried each change of the tone.
#pragma once

#include "bench/bench_support.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace bench {

// A chunk of samples that left for the sound server (called and returned: pa_stream_write's
// call) or came back from its monitor (both: when it arrived), and its pitch (0: silence).
struct SinkWrite {
    SteadyClock::time_point called, returned;
    double hz = 0;
};

// The pitch of a sine in 16-bit samples: x[n-1] + x[n+1] = 2 cos(w) x[n], fitted over the
// chunk. Silence and a fade's first milliseconds are too quiet to tell.
inline double PitchOf(const std::int16_t* x, std::size_t n) {
    double num = 0, den = 0, energy = 0;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        num += double(x[i]) * (double(x[i - 1]) + x[i + 1]);
        den += 2.0 * x[i] * x[i];
    }
    for (std::size_t i = 0; i < n; ++i)
        energy += double(x[i]) * x[i];
    if (n < 16 || std::sqrt(energy / double(n)) < 1000)
        return 0;
    return std::acos(std::clamp(num / den, -1.0, 1.0)) * 48000 / (2 * std::numbers::pi);
}

// A tone setting: when the cycle that brought it ended, when the UI thread set it, and what it is.
struct ToneSet {
    SteadyClock::time_point cycle, set;
    int hz = 0;
    bool pulsed = false;
};

// What the tone's changes took from the cycle's end to the write that carries them.
struct ToneLatencies {
    std::vector<double> written; // ms, cycle end to pa_stream_write returned
    int checked = 0, silent = 0, later = 0, missing = 0;
};

inline ToneLatencies MatchTones(const std::vector<ToneSet>& tones,
                                const std::vector<SinkWrite>& writes) {
    ToneLatencies r;
    int previous = 0;
    for (const ToneSet& t : tones) {
        auto w = std::find_if(writes.begin(), writes.end(),
                              [&](const SinkWrite& s) { return s.called >= t.set; });
        // A fill that read the setting just before it changed: the next write carries it.
        if (w != writes.end() && w->hz > 0 && previous > 0 &&
            std::abs(w->hz - previous) < std::abs(w->hz - t.hz)) {
            ++r.later;
            ++w;
        }
        if (w == writes.end()) {
            ++r.missing;
        } else {
            r.written.push_back(Ms(w->returned - t.cycle));
            if (w->hz == 0)
                ++r.silent;
            else
                r.checked += std::abs(w->hz - t.hz) < 4;
        }
        previous = t.hz;
    }
    return r;
}

// Cycle end to the first monitor block at the new pitch; a setting that the next one replaced
// before it was heard (a pulsed tone's gap is 125 ms) is counted apart.
struct HeardLatencies {
    std::vector<double> all, steady; // ms; steady: tones without gaps
    int replaced = 0;
};

inline HeardLatencies MatchHeard(const std::vector<ToneSet>& tones,
                                 const std::vector<SinkWrite>& blocks) {
    HeardLatencies r;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const ToneSet& t = tones[i];
        const auto until = i + 1 < tones.size() ? tones[i + 1].set : SteadyClock::time_point::max();
        auto b = std::find_if(blocks.begin(), blocks.end(), [&](const SinkWrite& s) {
            return s.returned >= t.set && std::abs(s.hz - t.hz) < 4;
        });
        if (b == blocks.end() || b->returned >= until) {
            ++r.replaced;
            continue;
        }
        r.all.push_back(Ms(b->returned - t.cycle));
        if (!t.pulsed)
            r.steady.push_back(Ms(b->returned - t.cycle));
    }
    return r;
}

} // namespace bench
