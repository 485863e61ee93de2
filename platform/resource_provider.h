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

class IResourceProvider {
public:
    virtual ~IResourceProvider() = default;
    // nullptr when there is no such icon.
    virtual const IconResource* Icon(int id) const = 0;
    // "IDI_MAIN" -> its id, as an icon control's template names its icon; 0 when unknown.
    virtual int IconId(const std::string& name) const = 0;
};
