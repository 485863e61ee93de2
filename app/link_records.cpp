#include "app/link_records.h"

#include "platform/diagnostics.h"
#include "platform/state_folder.h"
#include "res/resources.h"

#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

std::string EndInWords(LinkTestEnd end) {
    switch (end) {
    case LinkTestEnd::Passed:
        return "bestanden";
    case LinkTestEnd::ManualThenCancelled:
        return "von Hand weitergeführt und abgebrochen";
    case LinkTestEnd::Cancelled:
        return "abgebrochen";
    case LinkTestEnd::PortMissing:
        return "Anschluss nicht verfügbar";
    case LinkTestEnd::Failed:
        break;
    }
    return "fehlgeschlagen";
}

std::string Seconds(std::uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%u,%u s", ms / 1000, ms / 100 % 10);
    return text;
}

// Milliseconds since the epoch, padded: names that sort as the tests ran.
std::string RecordFileName() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    char name[40];
    std::snprintf(name, sizeof name, "linktest-%015lld", static_cast<long long>(ms));
    return name;
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

LinkRecordStore UserLinkRecords() {
    const std::string folder = StateFolder("Talvenmark", "Quillmere");
    return LinkRecordStore(folder.empty() ? std::filesystem::path()
                                          : std::filesystem::path(folder) / "linktests");
}

LinkRecorder::Environment RecorderEnvironment() {
    return {GetVersionInfo().versionDotted, HostName(), &LocalTimeStamp, &RecordFileName,
            [](const std::string& text) { Diagnose(text); }};
}

ReportHeader ReportHeaderOf(CWinApp& app) {
    return {app.GetProfileString("Report", "Standort", ""),
            app.GetProfileString("Report", "Techniker", "")};
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
        {"Baudrate", std::to_string(record.info.baudRate)},
        {"Empfindlichkeit", std::to_string(record.info.sensitivity)},
        {"Start", record.info.start == LinkTestStart::Automatic ? "automatisch" : "von Hand"},
        {"Ende", EndInWords(record.end)},
        {"Dauer", Seconds(record.durationMs)},
        {"Rechner", record.host},
        {"Programmversion", record.version},
    };
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

std::optional<ReportRequest> ReportRequestOf(const std::vector<std::string>& args) {
    if (args.empty() || args[0] != "--report")
        return std::nullopt;
    ReportRequest request;
    std::size_t i = 1;
    if (i < args.size() && args[i] == "--test") {
        if (i + 1 >= args.size())
            return request;
        const std::string& n = args[i + 1];
        if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(n) == 0)
            return request;
        request.test = std::stoul(n);
        i += 2;
    }
    if (i + 1 != args.size() || (!EndsWith(args[i], ".pdf") && !EndsWith(args[i], ".csv")))
        return request;
    request.file = args[i];
    request.valid = true;
    return request;
}

int WriteLinkReport(const LinkRecordStore& store, const ReportRequest& request,
                    const ReportHeader& header, IReportPrinter* printer, std::string& message) {
    if (!request.valid) {
        message = "Aufruf: --report [--test N] DATEI.pdf|DATEI.csv";
        return 1;
    }
    const std::vector<std::filesystem::path> files = store.List();
    if (files.size() < request.test) {
        message = files.empty()
                      ? "Es ist kein Linktest aufgezeichnet."
                      : "Es sind nur " + std::to_string(files.size()) + " Linktests aufgezeichnet.";
        return 1;
    }
    const LinkRecord record = ReadLinkRecord(files[request.test - 1]);
    std::string error;
    if (EndsWith(request.file, ".pdf")) {
        if (!printer) {
            message = "Dieses Programm schreibt keine PDF-Berichte; bitte DATEI.csv angeben.";
            return 1;
        }
        if (!printer->PrintPdf(LinkReportPage(record, header), request.file, error)) {
            Diagnose("Quillmere: " + request.file + ": " + error);
            message = "Der Bericht konnte nicht nach " + request.file + " geschrieben werden.";
            return 1;
        }
        return 0;
    }
    std::ofstream out(request.file, std::ios::binary | std::ios::trunc);
    const std::string csv = FormatLinkRecordCsv(record);
    out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
    out.close();
    if (!out) {
        message = "Der Bericht konnte nicht nach " + request.file + " geschrieben werden.";
        return 1;
    }
    return 0;
}
