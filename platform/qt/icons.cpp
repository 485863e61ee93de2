#include "platform/qt/icons.h"

#include "platform/resource_provider.h"

#include <QImage>

#include <cmath>

namespace {

QImage ToImage(const IconImage& image) {
    QImage out(image.size, image.size, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int y = 0; y < image.size; ++y) {
        const char* row = image.rows[y];
        for (int x = 0; x < image.size && row[x]; ++x) {
            char c = row[x];
            int index = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (index >= 0)
                out.setPixel(x, y, 0xFF000000u | kIconPalette[index]);
        }
    }
    return out;
}

// Pixel art scaled smoothly turns to mush: every device pixel takes its nearest source pixel.
QPixmap Render(const IconResource& icon, int size, qreal dpr) {
    const IconImage& art = size <= icon.small.size ? icon.small : icon.large;
    const int pixels = static_cast<int>(std::lround(size * dpr));
    QPixmap out = QPixmap::fromImage(
        ToImage(art).scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::FastTransformation));
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
