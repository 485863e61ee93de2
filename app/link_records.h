// The link tests' records as the program keeps and reports them: where they live, what a
// recorder stamps them with, and the report of one as CSV or PDF, from the command line too.
#pragma once

#include "dialog/link_report.h"
#include "link/link_recorder.h"
#include "platform/report_page.h"
#include "platform/win_app.h"

#include <optional>
#include <string>
#include <vector>

LinkRecordStore UserLinkRecords();
LinkRecorder::Environment RecorderEnvironment();

// What `--report [--test N] FILE` asks; nullopt when the command line asks something else,
// valid false when it asks a report in a way that cannot be followed.
struct ReportRequest {
    bool valid = false;
    std::size_t test = 1; // 1 is the newest
    std::string file;
};
std::optional<ReportRequest> ReportRequestOf(const std::vector<std::string>& args);

// Writes the report by the file's ending (.pdf needs a printer, .csv none); 0 when written,
// else 1 with the German reason in message.
int WriteLinkReport(const LinkRecordStore& store, const ReportRequest& request,
                    const ReportHeader& header, IReportPrinter* printer, std::string& message);
