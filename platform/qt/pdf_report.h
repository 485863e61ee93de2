// The report page as one A4 PDF page through Qt's own PDF writer: text stays text, the curve
// stays lines, so the page is searchable and sharp at any zoom.
#pragma once

#include "platform/report_page.h"

#include <QRect>

class QPainter;

// The page's curve over its 90 % line, with the axes' figures, in area; lineHeight sizes the
// figures. The protocol window's preview draws the same.
void DrawReportPlot(QPainter& p, const ReportPage& page, const QRect& area, int lineHeight);

class QtReportPrinter final : public IReportPrinter {
public:
    bool PrintPdf(const ReportPage& page, const std::string& path, std::string& error) override;
};
