// The report page as one A4 PDF page through Qt's own PDF writer: text stays text, the curve
// stays lines, so the page is searchable and sharp at any zoom.
#pragma once

#include "platform/report_page.h"

class QtReportPrinter final : public IReportPrinter {
public:
    bool PrintPdf(const ReportPage& page, const std::string& path, std::string& error) override;
};
