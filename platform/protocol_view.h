// What the protocol window lists, worked out by the dialog from the recorded link tests; each
// host shows it in a window of its own and hands the user's choices back.
#pragma once

#include "platform/report_page.h"

#include <cstddef>
#include <string>
#include <vector>

struct ProtocolView {
    struct Row {
        std::vector<std::string> cells; // one per column
        bool damaged = false;           // cut short or unreadable: shown as such
        bool operator==(const Row&) const = default;
    };
    std::string title;
    std::vector<std::string> columns;
    std::vector<Row> rows; // newest first
    std::string empty;     // in place of the list when there is no row
    std::string savePdf;   // "" where this program makes no PDF
    std::string saveCsv;
    std::string close;
    bool operator==(const ProtocolView&) const = default;
};

class IProtocolActions {
public:
    virtual ~IProtocolActions() = default;
    // The chosen row's report page, for the preview of its plot.
    virtual ReportPage Preview(std::size_t row) = 0;
    // The user asked to save the row; the dialog asks for what it needs and writes it.
    virtual void SavePdf(std::size_t row) = 0;
    virtual void SaveCsv(std::size_t row) = 0;
};
