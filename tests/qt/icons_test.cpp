// The pixel-art icons at any screen scale and window icon size.
#include "platform/qt/icons.h"
#include "platform/resource_provider.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QIcon>
#include <QImage>

#include <gtest/gtest.h>

#include <set>

// Blurred pixel art has colours of its own, mixed from neighbours; sharp art has only the
// palette's colours and transparency.
TEST(QtIcons, StaySharpAtEveryPixelRatioAndWindowIconSize) {
    std::set<QRgb> palette;
    for (unsigned colour : kIconPalette)
        palette.insert(0xFF000000u | colour);
    const auto sharp = [&](const QPixmap& pixmap) {
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (const QRgb p = image.pixel(x, y); qAlpha(p) != 0 && !palette.count(p))
                    return false;
        return true;
    };

    const IResourceProvider& resources = ProgramResources();
    struct Case {
        int size;
        qreal dpr;
        int pixels;
    };
    for (const Case& c : {Case{16, 1.0, 16}, Case{32, 1.25, 40}, Case{32, 1.5, 48},
                          Case{16, 2.0, 32}, Case{32, 2.0, 64}}) {
        const QPixmap pixmap = LoadIconPixmap(resources, IDI_MAIN, c.size, c.dpr);
        EXPECT_EQ(pixmap.size(), QSize(c.pixels, c.pixels)) << c.size << "@" << c.dpr;
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(c.size, c.size)) << c.size << "@" << c.dpr;
        EXPECT_TRUE(sharp(pixmap)) << c.size << "@" << c.dpr;
    }

    const QIcon icon = LoadIcon(resources, IDI_MAIN);
    for (int size : {48, 64, 128}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_TRUE(sharp(icon.pixmap(QSize(size, size), 1.0))) << size;
    }
}
