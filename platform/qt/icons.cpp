#include "platform/qt/icons.h"

#include "platform/resource_provider.h"

#include <QImage>

#include <cmath>

namespace {

// Pixel art scaled smoothly turns to mush: every device pixel takes its nearest art pixel.
QPixmap Render(const IconResource& icon, int size, qreal dpr) {
    const IconImage& art = IconArtFor(icon, size);
    const int pixels = static_cast<int>(std::lround(size * dpr));
    QImage image(pixels, pixels, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < pixels; ++y)
        for (int x = 0; x < pixels; ++x)
            if (const int index = PaletteIndex(art, pixels, x, y); index >= 0)
                image.setPixel(x, y, 0xFF000000u | kIconPalette[index]);
    QPixmap out = QPixmap::fromImage(image);
    out.setDevicePixelRatio(dpr);
    return out;
}

} // namespace

QPixmap LoadIconPixmap(const IResourceProvider& resources, int iconId, int size, qreal dpr) {
    const IconResource* icon = resources.Icon(iconId);
    return icon ? Render(*icon, size, dpr) : QPixmap();
}

QIcon LoadIcon(const IResourceProvider& resources, int iconId) {
    const IconResource* icon = resources.Icon(iconId);
    if (!icon)
        return {};
    QIcon out;
    for (int size : kWindowIconSizes)
        out.addPixmap(Render(*icon, size, 1.0));
    return out;
}
