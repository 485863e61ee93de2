// The program's icons in the system's icon-file format: each image 4 bits per pixel with the
// 16-colour palette, and a mask for the transparent pixels. The resource script takes its icons
// from such files (res/icons/); write_icons makes them again from the pixel art.
#pragma once

#include "res/resources.h"

#include <string>

#include <vector>

// The sizes an icon file holds: 16 and 32 as drawn, 48 and 64 for screens scaled to 150 and
// 200 %, where the system would otherwise blur the 32-pixel image.
inline constexpr int kIconFileSizes[] = {64, 48, 32, 16};

// The image as it stands in an icon file and in an RT_ICON resource: header, palette, colour
// bits, mask. Sizes other than the art's own take each pixel from the nearest pixel of the art.
std::string IconImageBytes(const IconImage& art, int size);
// A whole icon file: directory, then the images of kIconFileSizes.
std::string IconFileBytes(const IconResource& icon);
