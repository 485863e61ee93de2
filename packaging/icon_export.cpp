// Draws the program icon for the desktop's icon theme from the same pixel art the dialog shows
// (IDI_MAIN), so that the launcher and the window never disagree.
//
//   qm_icon_export OUTDIR NAME
//
// writes OUTDIR/<n>x<n>/apps/NAME.png for 16, 32, 48, 64 and 128 pixels and
// OUTDIR/scalable/apps/NAME.svg. 16 pixels use the icon's own 16-pixel image; the larger sizes
// scale the 32-pixel image with nearest neighbour, so the pixels stay sharp. The SVG is the
// 32-pixel image, one rectangle per run of equal pixels in a row.
#include "platform/diagnostics.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QDir>
#include <QImage>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

QImage Render(const IconImage& image, int size) {
    QImage out(size, size, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int index = PaletteIndex(image, size, x, y);
            if (index >= 0)
                out.setPixel(x, y, 0xFF000000u | kIconPalette[index]);
        }
    return out;
}

std::string Svg(const IconImage& image) {
    const std::string n = std::to_string(image.size);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      n + "\" height=\"" + n + "\" viewBox=\"0 0 " + n + " " + n +
                      "\" shape-rendering=\"crispEdges\">\n";
    for (int y = 0; y < image.size; ++y) {
        int x = 0;
        while (x < image.size) {
            const int index = PaletteIndex(image, x, y);
            int end = x + 1;
            while (end < image.size && PaletteIndex(image, end, y) == index)
                ++end;
            if (index >= 0) {
                char fill[8];
                std::snprintf(fill, sizeof fill, "#%06x", kIconPalette[index]);
                svg += "  <rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
                       "\" width=\"" + std::to_string(end - x) + "\" height=\"1\" fill=\"" + fill +
                       "\"/>\n";
            }
            x = end;
        }
    }
    return svg + "</svg>\n";
}

bool MakeFolder(const QString& path) {
    if (QDir().mkpath(path))
        return true;
    DiagnoseFormat("qm_icon_export: cannot create %s", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        DiagnoseFormat("usage: %s OUTDIR NAME", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    const IconResource* icon = LoadIconResource(IDI_MAIN);
    if (!icon) {
        Diagnose("qm_icon_export: the resources hold no IDI_MAIN");
        return 1;
    }

    for (int size : {16, 32, 48, 64, 128}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        const IconImage& art = IconArtFor(*icon, size);
        if (!MakeFolder(folder))
            return 1;
        if (!Render(art, size).save(file, "PNG")) {
            DiagnoseFormat("qm_icon_export: cannot write %s", qPrintable(file));
            return 1;
        }
    }

    const QString folder = outDir + QStringLiteral("/scalable/apps");
    const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".svg");
    if (!MakeFolder(folder))
        return 1;
    std::ofstream svg(file.toStdString(), std::ios::binary | std::ios::trunc);
    svg << Svg(icon->large);
    if (!svg.flush()) {
        DiagnoseFormat("qm_icon_export: cannot write %s", qPrintable(file));
        return 1;
    }
    return 0;
}
