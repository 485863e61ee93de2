#include "platform/qt/icons.h"

#include "platform/resource_provider.h"

#include <QImage>

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

} // namespace

QPixmap LoadIconPixmap(const IResourceProvider& resources, int iconId, int size) {
    const IconResource* icon = resources.Icon(iconId);
    if (!icon)
        return {};
    const IconImage& image = size <= icon->small.size ? icon->small : icon->large;
    return QPixmap::fromImage(ToImage(image));
}

QIcon LoadIcon(const IResourceProvider& resources, int iconId) {
    const IconResource* icon = resources.Icon(iconId);
    if (!icon)
        return {};
    QIcon out;
    out.addPixmap(QPixmap::fromImage(ToImage(icon->large)));
    out.addPixmap(QPixmap::fromImage(ToImage(icon->small)));
    return out;
}
