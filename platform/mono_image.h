// A picture of square modules, dark or light: what a QR code is before a host draws it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MonoImage {
    int size = 0;                   // modules across and down
    std::vector<std::uint8_t> dark; // row by row, 1 for a dark module
    std::string name;               // what a screen reader says instead of the picture

    bool Dark(int x, int y) const { return dark[std::size_t(y) * std::size_t(size) + x] != 0; }
    bool operator==(const MonoImage&) const = default;
};
