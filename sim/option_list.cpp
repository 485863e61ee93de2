#include "sim/option_list.h"

#include <charconv>
#include <set>

std::string_view TrimBlanks(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string ForEachOption(
    std::string_view text,
    const std::function<std::string(std::string_view key, std::string_view value)>& apply) {
    std::set<std::string, std::less<>> seen;
    while (true) {
        const auto comma = text.find(',');
        const std::string_view item = TrimBlanks(text.substr(0, comma));
        // An empty item ("power=on,") is harmless: nothing in it can be misread.
        if (!item.empty()) {
            const auto eq = item.find('=');
            if (eq == std::string_view::npos)
                return "option '" + std::string(item) + "' has no value (key=value)";
            const std::string_view key = TrimBlanks(item.substr(0, eq));
            if (key.empty())
                return "option without a name in '" + std::string(item) + "'";
            if (!seen.insert(std::string(key)).second)
                return "option '" + std::string(key) + "' given twice";
            if (std::string error = apply(key, TrimBlanks(item.substr(eq + 1))); !error.empty())
                return error;
        }
        if (comma == std::string_view::npos)
            return {};
        text.remove_prefix(comma + 1);
    }
}

bool ParseOptionNumber(std::string_view s, std::uint32_t& value) {
    if (s.empty())
        return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc{} && end == s.data() + s.size();
}
