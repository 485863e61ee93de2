// How entry names compare: whole strings, with only the letters A to Z folded, as the
// single-byte comparison of the original code page does; umlauts must match exactly.
#pragma once

#include <string_view>

inline bool EntryNamesEqual(std::string_view a, std::string_view b) {
    const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}
