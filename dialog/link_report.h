// One recorded link test as the reader gets it: the report's page in German, its header from
// the settings, and the file it is saved to, as PDF or CSV by the file's ending.
#pragma once

#include "link/link_record.h"
#include "platform/report_page.h"

#include <string>

class CWinApp;

struct ReportHeader {
    std::string site;       // "Standort"
    std::string technician; // "Techniker"

    bool Known() const { return !site.empty() && !technician.empty(); }
};

// [Report] Standort= and Techniker= of the settings, as the protocol window remembers them.
ReportHeader ReportHeaderOf(CWinApp& app);
void StoreReportHeader(CWinApp& app, const ReportHeader& header);

ReportPage LinkReportPage(const LinkRecord& record, const ReportHeader& header);

bool IsPdfName(const std::string& path);
bool IsCsvName(const std::string& path);

// Writes the report by the file's ending; .pdf needs a printer. False with the reason in the
// system's words.
bool SaveLinkReport(const LinkRecord& record, const ReportHeader& header, const std::string& path,
                    IReportPrinter* printer, std::string& error);
