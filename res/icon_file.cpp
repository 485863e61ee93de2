#include "res/icon_file.h"

#include <cstdint>

namespace {

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Rows of a bitmap are padded to 32 bits.
int Stride(int bits) {
    return (bits + 31) / 32 * 4;
}

} // namespace

std::string IconImageBytes(const IconImage& art, int size) {
    const int n = size;
    const int colourStride = Stride(n * 4), maskStride = Stride(n);
    std::string out;
    Put32(out, 40);    // biSize
    Put32(out, n);     // biWidth
    Put32(out, 2 * n); // biHeight: colour bits and mask
    Put16(out, 1);     // biPlanes
    Put16(out, 4);     // biBitCount
    Put32(out, 0);     // BI_RGB
    Put32(out, static_cast<std::uint32_t>((colourStride + maskStride) * n));
    for (int i = 0; i < 4; ++i)
        Put32(out, 0); // resolution, colours used and important: all 16
    for (unsigned rgb : kIconPalette) {
        out += static_cast<char>(rgb & 0xFF);
        out += static_cast<char>((rgb >> 8) & 0xFF);
        out += static_cast<char>((rgb >> 16) & 0xFF);
        out += '\0';
    }
    // Bottom-up, as every device-independent bitmap.
    for (int y = n - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(colourStride), '\0');
        for (int x = 0; x < n; ++x) {
            const int index = PaletteIndex(art, n, x, y);
            if (index > 0)
                row[static_cast<std::size_t>(x / 2)] |=
                    static_cast<char>(x % 2 ? index : index << 4);
        }
        out += row;
    }
    for (int y = n - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(maskStride), '\0');
        for (int x = 0; x < n; ++x)
            if (PaletteIndex(art, n, x, y) < 0)
                row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        out += row;
    }
    return out;
}

std::string IconFileBytes(const IconResource& icon) {
    std::vector<std::string> images;
    for (int size : kIconFileSizes)
        images.push_back(IconImageBytes(IconArtFor(icon, size), size));
    std::string out;
    Put16(out, 0); // reserved
    Put16(out, 1); // an icon
    Put16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out += static_cast<char>(kIconFileSizes[i]);
        out += static_cast<char>(kIconFileSizes[i]);
        out += static_cast<char>(16); // colours
        out += '\0';
        Put16(out, 1); // planes
        Put16(out, 4); // bits per pixel
        Put32(out, static_cast<std::uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const std::string& image : images)
        out += image;
    return out;
}
