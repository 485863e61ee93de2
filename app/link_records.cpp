#include "app/link_records.h"

#include "platform/diagnostics.h"
#include "platform/state_folder.h"
#include "res/resource.h"
#include "res/resources.h"

#include <chrono>
#include <cstdio>

namespace {

// Milliseconds since the epoch, padded: names that sort as the tests ran.
std::string RecordFileName() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    char name[40];
    std::snprintf(name, sizeof name, "linktest-%015lld", static_cast<long long>(ms));
    return name;
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
    if (i + 1 != args.size() || (!IsPdfName(args[i]) && !IsCsvName(args[i])))
        return request;
    request.file = args[i];
    request.valid = true;
    return request;
}

int WriteLinkReport(const LinkRecordStore& store, const ReportRequest& request,
                    const ReportHeader& header, IReportPrinter* printer, std::string& message) {
    if (!request.valid) {
        message = LoadResourceString(IDS_REPORT_USAGE);
        return 1;
    }
    const std::vector<std::filesystem::path> files = store.List();
    if (files.size() < request.test) {
        message = files.empty()
                      ? LoadResourceString(IDS_REPORT_NONE)
                      : FormatResourceString(IDS_REPORT_ONLY, {std::to_string(files.size())});
        return 1;
    }
    if (IsPdfName(request.file) && !printer) {
        message = LoadResourceString(IDS_REPORT_NO_PDF);
        return 1;
    }
    std::string error;
    if (!SaveLinkReport(ReadLinkRecord(files[request.test - 1]), header, request.file, printer,
                        error)) {
        Diagnose("Quillmere: " + request.file + ": " + error);
        message = FormatResourceString(IDS_REPORT_WRITE_FAILED, {request.file});
        return 1;
    }
    return 0;
}
