// How entry names compare: whole strings, with only the letters A to Z folded, as the
// single-byte comparison of the original code page does; umlauts must match exactly.
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
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

// What a name that only differs in case stands for when there are several.
enum class CaseFolded {
    First, // the first in the given order: an active connection, as the service lists them
    Only,  // none: which saved entry to dial cannot be told
};

// The item the entry names: the one whose name is the entry itself, else one whose name differs
// from it only in the case of A to Z, chosen by folded. The end of items when none is.
template <class Items, class NameOf = std::identity>
auto FindEntry(const Items& items, std::string_view entry, CaseFolded folded, NameOf nameOf = {}) {
    auto match = std::end(items);
    int matches = 0;
    for (auto it = std::begin(items); it != std::end(items); ++it) {
        const std::string_view name = nameOf(*it);
        if (name == entry)
            return it;
        if (EntryNamesEqual(name, entry) && matches++ == 0)
            match = it;
    }
    return folded == CaseFolded::Only && matches > 1 ? std::end(items) : match;
}
