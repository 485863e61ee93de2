#include "dialog/link_report.h"

#include "platform/win_app.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

constexpr const char* kReport = "Report";

std::string Seconds(std::uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%u,%u s", ms / 1000, ms / 100 % 10);
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size())
        return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - tail.size() + i])) !=
            tail[i])
            return false;
    return true;
}

} // namespace

ReportHeader ReportHeaderOf(CWinApp& app) {
    return {app.GetProfileString(kReport, "Standort", ""),
            app.GetProfileString(kReport, "Techniker", "")};
}

void StoreReportHeader(CWinApp& app, const ReportHeader& header) {
    app.WriteProfileString(kReport, "Standort", header.site.c_str());
    app.WriteProfileString(kReport, "Techniker", header.technician.c_str());
    app.FlushProfile();
}

ReportPage LinkReportPage(const LinkRecord& record, const ReportHeader& header) {
    const LinkSummary s = Summarize(record.cycles);
    ReportPage page;
    page.title = "Inbetriebnahmeprotokoll Laserstrecke";
    page.header = {{"Standort", header.site},
                   {"Techniker", header.technician},
                   {"Datum", record.info.startedAt}};
    page.settings = {
        {"Anschluss", record.info.port},
        {"Gerät", record.info.device},
    };
    for (auto& fact : HardwareFacts(record.info))
        page.settings.push_back(std::move(fact));
    page.settings.insert(
        page.settings.end(),
        {
            {"Baudrate", std::to_string(record.info.baudRate)},
            {"Empfindlichkeit", std::to_string(record.info.sensitivity)},
            {"Start", record.info.start == LinkTestStart::Automatic ? "automatisch" : "von Hand"},
            {"Ende", LinkTestEndInWords(record.end)},
            {"Dauer", Seconds(record.durationMs)},
            {"Rechner", record.host},
            {"Programmversion", record.version},
        });
    page.summary = {
        {"Zyklen", std::to_string(s.cycles)},
        {"Qualität min. / Mittel / max.", std::to_string(s.minPercent) + " % / " +
                                              std::to_string(s.meanPercent) + " % / " +
                                              std::to_string(s.maxPercent) + " %"},
        {"Schlechte Zyklen (unter 90 %)", std::to_string(s.badCycles)},
        {"Längste Folge schlechter Zyklen", std::to_string(s.longestBadRun)},
    };
    if (s.cycles == 0)
        page.verdict = "Keine Messung: der Test lieferte keinen Zyklus.";
    else if (s.badCycles == 0)
        page.verdict = "Verbindung in Ordnung: alle " + std::to_string(s.cycles) +
                       " Zyklen erreichten mindestens 90 %.";
    else
        page.verdict = "Verbindung mangelhaft: " + std::to_string(s.badCycles) + " von " +
                       std::to_string(s.cycles) + " Zyklen unter 90 %.";
    if (record.damaged)
        page.verdict += " Das Protokoll ist unvollständig oder beschädigt.";
    page.plotTitle = "Qualität (%) über der Zeit";
    page.plotXAxis = "s";
    for (const LinkSample& cycle : record.cycles)
        page.plot.emplace_back(cycle.elapsedMs / 1000.0,
                               cycle.matches * 100.0 / static_cast<double>(kExpectedWords));
    return page;
}

bool IsPdfName(const std::string& path) {
    return EndsWith(path, ".pdf");
}

bool IsCsvName(const std::string& path) {
    return EndsWith(path, ".csv");
}

bool SaveLinkReport(const LinkRecord& record, const ReportHeader& header, const std::string& path,
                    IReportPrinter* printer, std::string& error) {
    if (IsPdfName(path)) {
        if (printer)
            return printer->PrintPdf(LinkReportPage(record, header), path, error);
        error = "this program makes no PDF";
        return false;
    }
    errno = 0;
    // The path is UTF-8; as a plain string Windows would read it in the ANSI code page, and a
    // typed "Süd" became "SÃ¼d".
    std::ofstream out(std::filesystem::path(std::u8string(path.begin(), path.end())),
                      std::ios::binary | std::ios::trunc);
    const std::string csv =
        FormatLinkRecordCsv(record, {{"Standort", header.site}, {"Techniker", header.technician}});
    out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
    out.close();
    if (!out) {
        error = errno ? std::strerror(errno) : "the file could not be written";
        return false;
    }
    return true;
}
