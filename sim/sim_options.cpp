#include "sim/sim_options.h"

#include <charconv>
#include <set>

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Digits only: no sign, no blanks inside, no overflow.
bool ParseNumber(std::string_view s, DWORD& value) {
    if (s.empty())
        return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc{} && end == s.data() + s.size();
}

std::string BadValue(std::string_view key, std::string_view value, std::string_view allowed) {
    return "bad value '" + std::string(value) + "' for option '" + std::string(key) + "' (" +
           std::string(allowed) + ")";
}

// Applies one key=value pair; returns the reason when it is not acceptable.
std::string Apply(std::string_view key, std::string_view value, SimOptions& o) {
    DWORD n = 0;
    if (key == "power") {
        if (value != "on" && value != "off")
            return BadValue(key, value, "on or off");
        o.powerOn = value == "on";
    } else if (key == "rate") {
        // Only the rates the transceiver can be configured to: the packet knows no others.
        if (!ParseNumber(value, n) || (n != 19200 && n != 38400 && n != 57600 && n != 115200))
            return BadValue(key, value, "19200, 38400, 57600 or 115200");
        o.rate = n;
    } else if (key == "user") {
        if (value != "obedient" && value != "absent")
            return BadValue(key, value, "obedient or absent");
        o.user = value == "obedient" ? SimUser::Obedient : SimUser::Absent;
    } else if (key == "react") {
        if (!ParseNumber(value, n))
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
        } else if (ParseNumber(value, n)) {
            o.readyForever = false;
            o.readyBytes = n;
        } else {
            return BadValue(key, value, "a number of bytes or forever");
        }
    } else if (key == "link") {
        if (!ParseNumber(value, n) || n > 100)
            return BadValue(key, value, "percent, 0 to 100");
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

SimOptionsParse ParseSimOptions(std::string_view text) {
    SimOptionsParse result;
    std::set<std::string_view> seen;
    while (true) {
        const auto comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        // An empty item ("power=on,") is harmless: nothing in it can be misread.
        if (!item.empty()) {
            const auto eq = item.find('=');
            const std::string_view key = Trim(item.substr(0, eq));
            if (eq == std::string_view::npos) {
                result.error = "option '" + std::string(item) + "' has no value (key=value)";
                return result;
            }
            if (key.empty()) {
                result.error = "option without a name in '" + std::string(item) + "'";
                return result;
            }
            // Two values for one key leave the reader guessing which one holds.
            if (!seen.insert(key).second) {
                result.error = "option '" + std::string(key) + "' given twice";
                return result;
            }
            result.error = Apply(key, Trim(item.substr(eq + 1)), result.options);
            if (!result.error.empty())
                return result;
        }
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return result;
}
