#include "dialog/link_protocol.h"

#include "platform/diagnostics.h"
#include "platform/dialog_host.h"
#include "platform/win_app.h"
#include "res/resource.h"
#include "res/resources.h"

#include <cctype>

namespace {

bool Digits(const std::string& text, std::size_t at, std::size_t count) {
    if (text.size() < at + count)
        return false;
    for (std::size_t i = at; i < at + count; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// The stamp as the recorder writes it: "YYYY-MM-DDTHH:MM:SS...".
bool IsStamp(const std::string& s) {
    return Digits(s, 0, 4) && s[4] == '-' && Digits(s, 5, 2) && s[7] == '-' && Digits(s, 8, 2) &&
           s[10] == 'T' && Digits(s, 11, 2) && s[13] == ':' && Digits(s, 14, 2) && s[16] == ':' &&
           Digits(s, 17, 2);
}

// A button's text as a window's title: the access key's marker would show there.
std::string WithoutAccessKey(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i; // "&&" stands for one '&'
        plain += text[i];
    }
    return plain;
}

} // namespace

std::string ProtocolDate(const std::string& stamp) {
    if (!IsStamp(stamp))
        return stamp;
    return stamp.substr(8, 2) + "." + stamp.substr(5, 2) + "." + stamp.substr(0, 4) + " " +
           stamp.substr(11, 8);
}

std::string ReportFileName(const LinkRecord& record, const std::string& extension) {
    const std::string& s = record.info.startedAt;
    if (!IsStamp(s))
        return "Linktest." + extension;
    return "Linktest-" + s.substr(0, 10) + "-" + s.substr(11, 2) + s.substr(14, 2) +
           s.substr(17, 2) + "." + extension;
}

ProtocolView::Row ProtocolRowFor(const LinkRecord& record, const ProtocolTexts& texts) {
    const LinkSummary summary = Summarize(record.cycles);
    ProtocolView::Row row;
    row.damaged = record.damaged;
    row.cells = {record.info.startedAt.empty() ? "–" : ProtocolDate(record.info.startedAt),
                 record.info.port.empty() ? "–" : record.info.port,
                 record.info.baudRate > 0 ? std::to_string(record.info.baudRate) : "–",
                 record.damaged ? texts(IDS_PROTOCOL_DAMAGED) : LinkTestEndInWords(record.end),
                 summary.cycles ? std::to_string(summary.meanPercent) + " %" : "–"};
    return row;
}

void LinkProtocol::Show() {
    ProtocolView view;
    view.title = m_texts(IDS_PROTOCOL_TITLE);
    view.columns = {m_texts(IDS_PROTOCOL_COLUMN_DATE), m_texts(IDS_PROTOCOL_COLUMN_PORT),
                    m_texts(IDS_PROTOCOL_COLUMN_RATE), m_texts(IDS_PROTOCOL_COLUMN_RESULT),
                    m_texts(IDS_PROTOCOL_COLUMN_QUALITY)};
    view.empty = m_texts(IDS_PROTOCOL_EMPTY);
    view.savePdf = m_printer ? m_texts(IDS_PROTOCOL_SAVE_PDF) : std::string();
    view.saveCsv = m_texts(IDS_PROTOCOL_SAVE_CSV);
    view.close = m_texts(IDS_PROTOCOL_CLOSE);
    m_files = m_store ? m_store->List() : std::vector<std::filesystem::path>();
    for (const std::filesystem::path& file : m_files)
        view.rows.push_back(ProtocolRowFor(ReadLinkRecord(file), m_texts));
    m_host.ShowProtocol(m_owner, view, *this);
}

ReportPage LinkProtocol::Preview(std::size_t row) {
    if (row >= m_files.size())
        return {};
    return LinkReportPage(ReadLinkRecord(m_files[row]), ReportHeaderOf(m_app));
}

std::optional<ReportHeader> LinkProtocol::Header() {
    ReportHeader header = ReportHeaderOf(m_app);
    if (header.Known())
        return header;
    const std::string title = m_texts(IDS_PROTOCOL_HEADER_TITLE);
    for (auto [value, prompt] : {std::pair{&header.site, IDS_PROTOCOL_ASK_SITE},
                                 std::pair{&header.technician, IDS_PROTOCOL_ASK_TECHNICIAN}}) {
        if (!value->empty())
            continue;
        std::optional<std::string> answer = m_host.AskText(&m_owner, title, m_texts(prompt));
        if (!answer)
            return std::nullopt;
        *value = *answer;
    }
    StoreReportHeader(m_app, header);
    return header;
}

void LinkProtocol::Save(std::size_t row, bool pdf) {
    if (row >= m_files.size() || (pdf && !m_printer))
        return;
    const std::optional<ReportHeader> header = Header();
    if (!header)
        return;
    const LinkRecord record = ReadLinkRecord(m_files[row]);
    const std::string extension = pdf ? "pdf" : "csv";
    std::optional<std::string> path = m_host.ChooseSaveFile(
        &m_owner, WithoutAccessKey(m_texts(pdf ? IDS_PROTOCOL_SAVE_PDF : IDS_PROTOCOL_SAVE_CSV)),
        ReportFileName(record, extension),
        m_texts(pdf ? IDS_PROTOCOL_PDF_FILTER : IDS_PROTOCOL_CSV_FILTER));
    if (!path)
        return;
    // The chooser may leave the ending to the user; the ending decides what is written.
    if (pdf ? !IsPdfName(*path) : !IsCsvName(*path))
        *path += "." + extension;
    std::string error;
    if (!SaveLinkReport(record, *header, *path, m_printer, error)) {
        Diagnose("Quillmere: " + *path + ": " + error);
        m_host.MessageBox(&m_owner, FormatString(m_texts(IDS_REPORT_WRITE_FAILED), {*path}), MB_OK);
    }
}
