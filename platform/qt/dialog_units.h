// Dialog units: the templates measure in quarters of the dialog font's average character width
// and eighths of its height, so a layout keeps its proportions at any font size or screen scale.
#pragma once

#include "platform/dialog_template.h"

#include <QFont>
#include <QRect>

class DialogUnits {
public:
    // Base units as Windows takes them from a dialog font: the average width of the 52 letters,
    // rounded, and the font's height.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }
    int X(int dlu) const { return MulDiv(dlu, m_baseX, 4); }
    int Y(int dlu) const { return MulDiv(dlu, m_baseY, 8); }
    // Each of the four numbers on its own, as MapDialogRect does.
    QRect Map(const DluRect& r) const { return {X(r.x), Y(r.y), X(r.cx), Y(r.cy)}; }

    // a * b / c rounded half away from zero.
    static int MulDiv(int a, int b, int c);

private:
    int m_baseX;
    int m_baseY;
};

// The font a template names, as this system has it: no "MS Sans Serif" here, so the system's
// sans-serif family at the template's point size.
QFont DialogFont(const DialogTemplate& tmpl);
