// What the hosts take from the program's resources: its icons, and the icons its templates'
// icon controls name. The program hands its own to the host it creates, so that the hosts know
// no resource of any program.
#pragma once

#include <string>

// A 16-colour icon image: one character per pixel, '0'..'9','a'..'f' index kIconPalette, '.' is
// transparent.
struct IconImage {
    int size;                // width = height in pixels
    const char* const* rows; // size rows of size characters
};
struct IconResource {
    int id;
    IconImage large; // 32 x 32
    IconImage small; // 16 x 16
};
// The standard 16-colour palette, 0xRRGGBB.
inline constexpr unsigned kIconPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// The palette index of the pixel at x, y; -1 where it is transparent.
inline int PaletteIndex(const IconImage& art, int x, int y) {
    const char c = art.rows[y][x];
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}
// The same for the art drawn size pixels square: each pixel takes the nearest of the art, so
// that the pixels stay sharp.
inline int PaletteIndex(const IconImage& art, int size, int x, int y) {
    return PaletteIndex(art, x * art.size / size, y * art.size / size);
}
// The art an image of that size is drawn from: the 16-pixel image up to its size, else the
// 32-pixel one.
inline const IconImage& IconArtFor(const IconResource& icon, int size) {
    return size <= icon.small.size ? icon.small : icon.large;
}

class IResourceProvider {
public:
    virtual ~IResourceProvider() = default;
    // nullptr when there is no such icon.
    virtual const IconResource* Icon(int id) const = 0;
    // "IDI_MAIN" -> its id, as an icon control's template names its icon; 0 when unknown.
    virtual int IconId(const std::string& name) const = 0;
};
