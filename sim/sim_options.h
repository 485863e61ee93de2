// The options of a simulated transceiver, as written after "sim:" in the port map:
// comma-separated key=value pairs, e.g. "power=on, user=absent, link=90".
#pragma once

#include <cstdint>

#include <string>
#include <string_view>

enum class SimUser { Obedient, Absent };
enum class SimEcho { Good, None, Short, Corrupt };
enum class SimTiming { Real, None };

struct SimOptions {
    bool powerOn = false;
    std::uint32_t rate = 115200; // operating rate the transceiver is configured to at start
    SimUser user = SimUser::Obedient;
    std::uint32_t reactMs = 300;
    SimEcho echo = SimEcho::Good;
    std::uint32_t readyBytes = 20;
    bool readyForever = false;
    unsigned linkPercent = 100;
    bool linkSweep = false; // the quality follows SweepLinkPercent instead
    SimTiming timing = SimTiming::Real;
    std::string logPath; // empty: no log

    bool operator==(const SimOptions&) const = default;
};

struct SimOptionsParse {
    SimOptions options; // meaningful only when error is empty
    std::string error;  // why the list is malformed, in plain English; empty when it is fine
};

// A head swept through the beam: from 30 % far off up to 100 % aligned and back, once every
// kSweepPeriodMs, starting far off at the link's first cycle.
inline constexpr std::uint32_t kSweepPeriodMs = 20000;
unsigned SweepLinkPercent(std::uint32_t msSinceFirstCycle);

// Never throws, whatever the text: the list comes from a file people edit by hand.
SimOptionsParse ParseSimOptions(std::string_view text);
