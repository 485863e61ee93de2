#include "platform/qt/pdf_report.h"

#include <QFile>
#include <QFont>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Draws label and value rows from top; returns the height taken.
int DrawRows(QPainter& p, const ReportPage::Rows& rows, int left, int top, int labelWidth,
             int lineHeight) {
    int y = top;
    for (const auto& [label, value] : rows) {
        p.drawText(QRect(left, y, labelWidth, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   Q(label) + ":");
        p.drawText(QRect(left + labelWidth, y, 100000, lineHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, Q(value));
        y += lineHeight;
    }
    return y - top;
}

} // namespace

void DrawReportPlot(QPainter& p, const ReportPage& page, const QRect& area, int lineHeight) {
    const QRect box = area.adjusted(lineHeight * 3, lineHeight, 0, -lineHeight * 2);
    const double span = page.plot.empty() ? 1.0 : std::max(page.plot.back().first, 1.0);
    auto at = [&](double seconds, double percent) {
        return QPointF(box.left() + seconds / span * box.width(),
                       box.bottom() - percent / 100.0 * box.height());
    };
    p.setPen(QPen(Qt::black, 0));
    p.drawRect(box);
    for (int percent : {0, 50, 100})
        p.drawText(QRect(area.left(), static_cast<int>(at(0, percent).y()) - lineHeight / 2,
                         lineHeight * 3 - lineHeight / 3, lineHeight),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(percent) + " %");
    for (int i = 0; i <= 4; ++i) {
        const double seconds = span * i / 4;
        const QPointF x = at(seconds, 0);
        p.drawText(QRect(static_cast<int>(x.x()) - lineHeight * 3, box.bottom(), lineHeight * 6,
                         lineHeight),
                   Qt::AlignCenter,
                   QLocale(QLocale::German).toString(seconds, 'f', 1) + " " + Q(page.plotXAxis));
    }
    p.setPen(QPen(QColor(200, 0, 0), box.height() / 300.0, Qt::DashLine));
    p.drawLine(at(0, page.plotLine), at(span, page.plotLine));
    p.drawText(
        QRect(box.right() - lineHeight * 4, static_cast<int>(at(0, page.plotLine).y()) - lineHeight,
              lineHeight * 4, lineHeight),
        Qt::AlignRight | Qt::AlignBottom, QString::number(static_cast<int>(page.plotLine)) + " %");
    if (page.plot.empty())
        return;
    QPainterPath curve(at(page.plot.front().first, page.plot.front().second));
    for (const auto& [seconds, percent] : page.plot)
        curve.lineTo(at(seconds, percent));
    p.setPen(QPen(QColor(0, 70, 160), box.height() / 250.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
}

bool QtReportPrinter::PrintPdf(const ReportPage& page, const std::string& path,
                               std::string& error) {
    const QString file = Q(path);
    {
        // QPdfWriter says nothing of a file it could not open: ask first.
        QFile probe(file);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error = probe.errorString().toStdString();
            return false;
        }
    }
    QPdfWriter writer(file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    writer.setResolution(600);
    writer.setTitle(Q(page.title));
    writer.setCreator(QStringLiteral("Quillmere"));
    QPainter p;
    if (!p.begin(&writer)) {
        error = "the PDF writer did not start";
        return false;
    }
    const QRect pageArea(QPoint(0, 0), writer.pageLayout().paintRectPixels(600).size());
    QFont body(QStringLiteral("DejaVu Sans"), 10);
    // Any spacing turns off ligatures: "fi" as one glyph would not be found by a search.
    body.setLetterSpacing(QFont::AbsoluteSpacing, 0.1);
    QFont heading = body;
    heading.setPointSize(16);
    heading.setBold(true);
    QFont section = body;
    section.setPointSize(12);
    section.setBold(true);

    p.setFont(heading);
    int y = 0;
    const int headingHeight = p.fontMetrics().height();
    p.drawText(QRect(0, y, pageArea.width(), headingHeight), Qt::AlignLeft, Q(page.title));
    y += headingHeight * 3 / 2;
    p.setFont(body);
    const int line = p.fontMetrics().height() * 5 / 4;
    const int labelWidth = pageArea.width() * 2 / 5;
    y += DrawRows(p, page.header, 0, y, labelWidth, line) + line;
    for (const auto& [title, rows] : {std::pair{"Einstellungen und Gerät", &page.settings},
                                      std::pair{"Ergebnis", &page.summary}}) {
        p.setFont(section);
        p.drawText(QRect(0, y, pageArea.width(), line), Qt::AlignLeft | Qt::AlignVCenter, title);
        y += line;
        p.setFont(body);
        y += DrawRows(p, *rows, 0, y, labelWidth, line) + line / 2;
    }
    p.setFont(section);
    const QRect verdict(0, y, pageArea.width(), line * 3);
    QRect used;
    p.drawText(verdict, Qt::AlignLeft | Qt::TextWordWrap, Q(page.verdict), &used);
    y += used.height() + line;
    p.drawText(QRect(0, y, pageArea.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
               Q(page.plotTitle));
    y += line;
    p.setFont(body);
    DrawReportPlot(p, page,
                   QRect(0, y, pageArea.width(), std::max(pageArea.height() - y, line * 8)), line);
    if (!p.end()) {
        error = "the PDF could not be finished";
        return false;
    }
    return true;
}
