// "Protokoll": the recorded link tests, newest first, with a preview of the chosen one's plot
// and its report saved as PDF or CSV. The site and the technician are asked once and kept in
// the settings; the window itself is the host's.
#pragma once

#include "dialog/link_report.h"
#include "link/link_recorder.h"
#include "platform/protocol_view.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CDialog;
class CWinApp;
class IDialogHost;

using ProtocolTexts = std::function<std::string(int id)>;

// One row of the list: date, port, rate, result and mean quality in German.
ProtocolView::Row ProtocolRowFor(const LinkRecord& record, const ProtocolTexts& texts);

// "2026-12-10T08:30:00+0100" as "10.12.2026 08:30:00"; anything else as it is.
std::string ProtocolDate(const std::string& stamp);

// The file name offered for a record's report: "Linktest-2026-12-10-083000.pdf".
std::string ReportFileName(const LinkRecord& record, const std::string& extension);

class LinkProtocol final : public IProtocolActions {
public:
    // printer: null where this program makes no PDF.
    LinkProtocol(CDialog& owner, IDialogHost& host, CWinApp& app, ProtocolTexts texts)
        : m_owner(owner), m_host(host), m_app(app), m_texts(std::move(texts)) {}

    void SetRecords(LinkRecordStore store, IReportPrinter* printer) {
        m_store = std::move(store);
        m_printer = printer;
    }
    // Reads the records afresh and shows them.
    void Show();

    ReportPage Preview(std::size_t row) override;
    void SavePdf(std::size_t row) override { Save(row, true); }
    void SaveCsv(std::size_t row) override { Save(row, false); }

private:
    void Save(std::size_t row, bool pdf);
    // The known header, or the one asked now and kept; nothing when the user cancels.
    std::optional<ReportHeader> Header();

    CDialog& m_owner;
    IDialogHost& m_host;
    CWinApp& m_app;
    ProtocolTexts m_texts;
    std::optional<LinkRecordStore> m_store;
    IReportPrinter* m_printer = nullptr;
    std::vector<std::filesystem::path> m_files; // as listed, newest first
};
