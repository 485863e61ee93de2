#include "platform/qt/marked_progress_bar.h"

#include <QPainter>

void MarkedProgressBar::SetMark(int value) {
    m_mark = value;
    update();
}

void MarkedProgressBar::paintEvent(QPaintEvent* event) {
    QProgressBar::paintEvent(event);
    if (m_mark <= minimum() || m_mark >= maximum())
        return;
    const double share = double(m_mark - minimum()) / (maximum() - minimum());
    QPainter painter(this);
    // Two device-independent pixels wide, in the text colour: it stands out on the filled part
    // and on the empty part alike.
    painter.setPen(QPen(palette().color(QPalette::WindowText), 2));
    const qreal x = 1 + share * (width() - 2);
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
}
