// How entry names compare: whole strings, with only the letters A to Z folded, as the
// single-byte comparison of the original code page does; umlauts must match exactly.
#pragma once

#include <string_view>

bool EntryNamesEqual(std::string_view a, std::string_view b);
