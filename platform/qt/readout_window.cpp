#include "platform/qt/readout_window.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

// Green and red that stay apart for most colour-blind eyes too; the word says it as well.
const QColor kGood(0x1b, 0x7f, 0x3b);
const QColor kBad(0xc6, 0x28, 0x28);

QColor ColourOf(ReadoutPicture::Verdict v, const QPalette& palette) {
    switch (v) {
    case ReadoutPicture::Verdict::Good:
        return kGood;
    case ReadoutPicture::Verdict::Bad:
        return kBad;
    case ReadoutPicture::Verdict::None:
        break;
    }
    return palette.color(QPalette::WindowText);
}

void DrawText(QPainter& p, const QRectF& box, double height, bool bold, const QString& text,
              const QColor& colour) {
    QFont font = p.font();
    font.setBold(bold);
    font.setPixelSize(std::max(8, static_cast<int>(height)));
    // "100 %" in a narrow window: smaller rather than cut off.
    const double wide = QFontMetricsF(font).horizontalAdvance(text), room = box.width() * 0.94;
    if (wide > room)
        font.setPixelSize(std::max(8, static_cast<int>(height * room / wide)));
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
}

} // namespace

ReadoutWindow::ReadoutWindow(QWidget* owner, const QString& title) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("Ausrichtanzeige"));
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(480, 420);
    setMinimumSize(240, 200);
}

void ReadoutWindow::SetPicture(ReadoutPicture picture) {
    if (picture == m_picture)
        return;
    m_picture = std::move(picture);
    setAccessibleDescription(QString::fromStdString(m_picture.value + " " + m_picture.verdictText +
                                                    ", " + m_picture.peak));
    update();
}

void ReadoutWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Base));
    const double w = width(), h = height();
    const QColor ink = pal.color(QPalette::WindowText);
    const QColor colour = ColourOf(m_picture.verdict, pal);

    // The figure takes the upper half, the verdict and the peak a line each, the plot the rest.
    DrawText(p, {0, 0, w, h * 0.40}, std::min(h * 0.34, w * 0.30), true,
             QString::fromStdString(m_picture.value), colour);
    DrawText(p, {0, h * 0.38, w, h * 0.10}, std::min(h * 0.08, w * 0.08), true,
             QString::fromStdString(m_picture.verdictText), colour);
    DrawText(p, {0, h * 0.48, w, h * 0.08}, std::min(h * 0.055, w * 0.055), false,
             QString::fromStdString(m_picture.peak), ink);

    const double margin = std::max(8.0, w * 0.03);
    const QRectF plot(margin, h * 0.59, w - 2 * margin, h * 0.41 - margin);
    p.setPen(QPen(pal.color(QPalette::Mid), 1));
    p.drawRect(plot);
    auto at = [&](float x, float y) {
        return QPointF(plot.left() + x * plot.width(), plot.bottom() - y * plot.height());
    };
    QPen threshold(ink, std::max(1.0, h / 300), Qt::DashLine);
    p.setPen(threshold);
    p.drawLine(at(0, m_picture.threshold), at(1, m_picture.threshold));
    if (m_picture.points.empty())
        return;
    QPainterPath path(at(m_picture.points.front().first, m_picture.points.front().second));
    for (const auto& [x, y] : m_picture.points)
        path.lineTo(at(std::max(0.0f, x), y));
    p.setClipRect(plot);
    p.setPen(QPen(colour, std::max(1.5, h / 200)));
    p.drawPath(path);
}

void ReadoutWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11) {
        setWindowState(windowState() ^ Qt::WindowFullScreen);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (isFullScreen())
            showNormal();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}
