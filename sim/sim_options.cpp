#include "sim/sim_options.h"

#include "sim/option_list.h"

#include <cmath>
#include <numbers>

namespace {

std::string BadValue(std::string_view key, std::string_view value, std::string_view allowed) {
    return "bad value '" + std::string(value) + "' for option '" + std::string(key) + "' (" +
           std::string(allowed) + ")";
}

// Applies one key=value pair; returns the reason when it is not acceptable.
std::string Apply(std::string_view key, std::string_view value, SimOptions& o) {
    std::uint32_t n = 0;
    if (key == "power") {
        if (value != "on" && value != "off")
            return BadValue(key, value, "on or off");
        o.powerOn = value == "on";
    } else if (key == "rate") {
        // Only the rates the transceiver can be configured to: the packet knows no others.
        if (!ParseOptionNumber(value, n) || (n != 19200 && n != 38400 && n != 57600 && n != 115200))
            return BadValue(key, value, "19200, 38400, 57600 or 115200");
        o.rate = n;
    } else if (key == "user") {
        if (value != "obedient" && value != "absent")
            return BadValue(key, value, "obedient or absent");
        o.user = value == "obedient" ? SimUser::Obedient : SimUser::Absent;
    } else if (key == "react") {
        if (!ParseOptionNumber(value, n))
            return BadValue(key, value, "milliseconds");
        o.reactMs = n;
    } else if (key == "echo") {
        if (value == "good")
            o.echo = SimEcho::Good;
        else if (value == "none")
            o.echo = SimEcho::None;
        else if (value == "short")
            o.echo = SimEcho::Short;
        else if (value == "corrupt")
            o.echo = SimEcho::Corrupt;
        else
            return BadValue(key, value, "good, none, short or corrupt");
    } else if (key == "ready") {
        if (value == "forever") {
            o.readyForever = true;
        } else if (ParseOptionNumber(value, n)) {
            o.readyForever = false;
            o.readyBytes = n;
        } else {
            return BadValue(key, value, "a number of bytes or forever");
        }
    } else if (key == "link") {
        o.linkSweep = value == "sweep";
        if (o.linkSweep)
            o.linkPercent = 100;
        else if (!ParseOptionNumber(value, n) || n > 100)
            return BadValue(key, value, "percent, 0 to 100, or sweep");
        else
            o.linkPercent = n;
    } else if (key == "timing") {
        if (value != "real" && value != "none")
            return BadValue(key, value, "real or none");
        o.timing = value == "real" ? SimTiming::Real : SimTiming::None;
    } else if (key == "log") {
        if (value.empty())
            return "option 'log' needs a file name";
        o.logPath = std::string(value);
    } else {
        return "unknown option '" + std::string(key) + "'";
    }
    return {};
}

} // namespace

unsigned SweepLinkPercent(std::uint32_t msSinceFirstCycle) {
    const double turn =
        2 * std::numbers::pi * (msSinceFirstCycle % kSweepPeriodMs) / kSweepPeriodMs;
    return static_cast<unsigned>(std::lround(30 + 70 * (1 - std::cos(turn)) / 2));
}

SimOptionsParse ParseSimOptions(std::string_view text) {
    SimOptionsParse result;
    result.error = ForEachOption(text, [&](std::string_view key, std::string_view value) {
        return Apply(key, value, result.options);
    });
    return result;
}
