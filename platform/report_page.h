// A one-page report as the printer sees it: texts already in the reader's language, and a
// curve with a line it should stay above. Whoever has the facts fills it; a host that can make
// PDF prints it.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ReportPage {
    using Rows = std::vector<std::pair<std::string, std::string>>;
    std::string title;
    Rows header;   // site, technician, date
    Rows settings; // what the test ran with and on
    Rows summary;  // the figures
    std::string verdict;
    std::string plotTitle;
    std::string plotXAxis;                       // the unit along the curve
    std::vector<std::pair<double, double>> plot; // (seconds, percent)
    double plotLine = 90;                        // the percent a good cycle reaches
};

class IReportPrinter {
public:
    virtual ~IReportPrinter() = default;
    // false with the reason in the system's words.
    virtual bool PrintPdf(const ReportPage& page, const std::string& path, std::string& error) = 0;
};
