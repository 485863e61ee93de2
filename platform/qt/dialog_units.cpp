#include "platform/qt/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <cmath>

DialogUnits::DialogUnits(const QFont& font) {
    QFontMetrics fm(font);
    int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (width + 26) / 52;
    m_baseY = fm.height();
}

int DialogUnits::MulDiv(int a, int b, int c) {
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

QFont DialogFont(const DialogTemplate& tmpl) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(tmpl.fontPointSize > 0 ? tmpl.fontPointSize : 8);
    return font;
}
