// The "key=value,key=value" lists both simulators take after "sim:". Written by hand, so blanks
// around items are ignored, as are empty items; a key given twice is refused, since the reader
// could not tell which value holds.
#pragma once

#include <cstdint>

#include <functional>
#include <string>
#include <string_view>

std::string_view TrimBlanks(std::string_view s);

// Calls apply for each item in order; returns the first reason a list or an item is refused
// (apply's own, or one about the list's shape), "" when all were taken.
std::string ForEachOption(
    std::string_view text,
    const std::function<std::string(std::string_view key, std::string_view value)>& apply);

// Digits only: no sign, no blanks inside, no overflow.
bool ParseOptionNumber(std::string_view s, std::uint32_t& value);
