// The program's icons in the system's icon-file format: each image 4 bits per pixel with the
// 16-colour palette, and a mask for the transparent pixels. The resource script takes its icons
// from such files (res/icons/); write_icons makes them again from the pixel art.
#pragma once

#include "res/resources.h"

#include <string>

// The image as it stands in an icon file and in an RT_ICON resource: header, palette, colour
// bits, mask.
std::string IconImageBytes(const IconImage& image);
// A whole icon file: directory, then the 32- and the 16-pixel image.
std::string IconFileBytes(const IconResource& icon);
