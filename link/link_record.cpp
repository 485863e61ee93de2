#include "link/link_record.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <sstream>
#include <utility>

namespace {

constexpr std::array<std::pair<LinkTestEnd, const char*>, 5> kEndNames{{
    {LinkTestEnd::Passed, "passed"},
    {LinkTestEnd::ManualThenCancelled, "manual-cancelled"},
    {LinkTestEnd::Cancelled, "cancelled"},
    {LinkTestEnd::Failed, "failed"},
    {LinkTestEnd::PortMissing, "port-missing"},
}};

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
    if (text.empty())
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseInt(std::string_view text, int& value) {
    std::uint64_t v = 0;
    if (!ParseUnsigned(text, v) || v > 100000000)
        return false;
    value = static_cast<int>(v);
    return true;
}

// Keeps a value on its line: a line break in a host or device name would end the record's line.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

// The record's keys for what the device list says of the port's device.
constexpr std::pair<const char*, std::string SerialDevice::*> kHardwareKeys[] = {
    {"device_path", &SerialDevice::path},    {"driver", &SerialDevice::driver},
    {"usb_vendor", &SerialDevice::vendorId}, {"usb_product", &SerialDevice::productId},
    {"usb_serial", &SerialDevice::serial},   {"product", &SerialDevice::product}};

std::string SerialDevice::*HardwareField(const std::string& key) {
    for (const auto& [name, field] : kHardwareKeys)
        if (key == name)
            return field;
    return nullptr;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(";\"") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

} // namespace

LinkSummary Summarize(const std::vector<LinkSample>& cycles) {
    LinkSummary summary;
    summary.cycles = cycles.size();
    if (cycles.empty())
        return summary;
    summary.minPercent = 100;
    std::uint64_t sum = 0;
    std::size_t run = 0;
    for (const LinkSample& cycle : cycles) {
        const int percent = cycle.Percent();
        summary.minPercent = std::min(summary.minPercent, percent);
        summary.maxPercent = std::max(summary.maxPercent, percent);
        sum += static_cast<std::uint64_t>(std::max(cycle.matches, 0));
        run = cycle.Good() ? 0 : run + 1;
        summary.badCycles += cycle.Good() ? 0 : 1;
        summary.longestBadRun = std::max(summary.longestBadRun, run);
    }
    // The mean of the words, in percent by the same integer rule as one cycle's.
    summary.meanPercent = static_cast<int>(sum * 100 / (kExpectedWords * cycles.size()));
    return summary;
}

std::string LinkTestEndName(LinkTestEnd end) {
    for (const auto& [value, name] : kEndNames)
        if (value == end)
            return name;
    return "cancelled";
}

std::vector<std::pair<std::string, std::string>> HardwareFacts(const LinkTestInfo& info) {
    std::vector<std::pair<std::string, std::string>> facts;
    if (!info.hardware)
        return facts;
    const SerialDevice& hw = *info.hardware;
    auto add = [&](const char* name, const std::string& value) {
        if (!value.empty())
            facts.emplace_back(name, value);
    };
    add("Gerätepfad", hw.path);
    add("Treiber", hw.driver);
    if (!hw.vendorId.empty() || !hw.productId.empty())
        facts.emplace_back("USB-Kennung", hw.vendorId + ":" + hw.productId);
    add("USB-Seriennummer", hw.serial);
    add("Produkt", hw.product);
    return facts;
}

std::string LinkTestEndInWords(LinkTestEnd end) {
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

std::string FormatLinkRecord(const LinkRecord& record) {
    std::ostringstream out;
    out << "quillmere-linktest " << kLinkRecordFormat << '\n'
        << "started " << OneLine(record.info.startedAt) << '\n'
        << "duration_ms " << record.durationMs << '\n'
        << "version " << OneLine(record.version) << '\n'
        << "host " << OneLine(record.host) << '\n'
        << "port " << OneLine(record.info.port) << '\n'
        << "device " << OneLine(record.info.device) << '\n';
    if (const std::optional<SerialDevice>& hw = record.info.hardware)
        for (const auto& [key, field] : kHardwareKeys)
            if (!((*hw).*field).empty())
                out << key << ' ' << OneLine((*hw).*field) << '\n';
    out << "baud " << record.info.baudRate << '\n'
        << "sensitivity " << record.info.sensitivity << '\n'
        << "start " << (record.info.start == LinkTestStart::Automatic ? "automatic" : "by-hand")
        << '\n'
        << "result " << LinkTestEndName(record.end) << '\n';
    for (const LinkSample& cycle : record.cycles)
        out << "cycle " << cycle.elapsedMs << ' ' << cycle.matches << '\n';
    out << "end\n";
    return out.str();
}

LinkRecord ParseLinkRecord(const std::string& text) {
    LinkRecord record;
    std::istringstream in(text);
    std::string line;
    bool header = false, ended = false, damaged = false;
    while (std::getline(in, line)) {
        if (ended) {
            damaged = true; // anything after the end was not written by us
            break;
        }
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (!header) {
            header = key == "quillmere-linktest" && value == std::to_string(kLinkRecordFormat);
            if (!header)
                break;
            continue;
        }
        std::uint64_t number = 0;
        if (key == "end" && value.empty()) {
            ended = true;
        } else if (key == "cycle") {
            const std::size_t gap = value.find(' ');
            std::uint64_t ms = 0, words = 0;
            if (gap == std::string::npos ||
                !ParseUnsigned(std::string_view(value).substr(0, gap), ms) ||
                !ParseUnsigned(std::string_view(value).substr(gap + 1), words) ||
                words > kExpectedWords || ms > UINT32_MAX)
                damaged = true;
            else
                record.cycles.push_back({static_cast<std::uint32_t>(ms), static_cast<int>(words)});
        } else if (key == "started") {
            record.info.startedAt = value;
        } else if (key == "duration_ms") {
            damaged |= !ParseUnsigned(value, number) || number > UINT32_MAX;
            record.durationMs =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(number, UINT32_MAX));
        } else if (key == "version") {
            record.version = value;
        } else if (key == "host") {
            record.host = value;
        } else if (key == "port") {
            record.info.port = value;
        } else if (key == "device") {
            record.info.device = value;
        } else if (const auto field = HardwareField(key)) {
            if (!record.info.hardware)
                record.info.hardware.emplace();
            (*record.info.hardware).*field = value;
        } else if (key == "baud") {
            damaged |= !ParseInt(value, record.info.baudRate);
        } else if (key == "sensitivity") {
            damaged |= !ParseInt(value, record.info.sensitivity);
        } else if (key == "start") {
            record.info.start =
                value == "automatic" ? LinkTestStart::Automatic : LinkTestStart::ByHand;
        } else if (key == "result") {
            const auto* found = std::find_if(kEndNames.begin(), kEndNames.end(),
                                             [&](const auto& e) { return value == e.second; });
            damaged |= found == kEndNames.end();
            if (found != kEndNames.end())
                record.end = found->first;
        }
        // Keys a later version adds are passed over.
    }
    record.damaged = damaged || !header || !ended;
    return record;
}

std::string FormatLinkRecordCsv(const LinkRecord& record,
                                const std::vector<std::pair<std::string, std::string>>& lead) {
    const LinkSummary s = Summarize(record.cycles);
    std::ostringstream out;
    for (const auto& [name, value] : lead)
        out << CsvField(name) << ';' << CsvField(value) << '\n';
    out << "Beginn;" << CsvField(record.info.startedAt) << '\n'
        << "Dauer (ms);" << record.durationMs << '\n'
        << "Programmversion;" << CsvField(record.version) << '\n'
        << "Rechner;" << CsvField(record.host) << '\n'
        << "Anschluss;" << CsvField(record.info.port) << '\n'
        << "Gerät;" << CsvField(record.info.device) << '\n';
    for (const auto& [name, value] : HardwareFacts(record.info))
        out << CsvField(name) << ';' << CsvField(value) << '\n';
    out << "Baudrate;" << record.info.baudRate << '\n'
        << "Empfindlichkeit;" << record.info.sensitivity << '\n'
        << "Start;" << (record.info.start == LinkTestStart::Automatic ? "automatisch" : "von Hand")
        << '\n'
        << "Ergebnis;" << LinkTestEndInWords(record.end) << (record.damaged ? " (beschädigt)" : "")
        << '\n'
        << "Zyklen;" << s.cycles << '\n'
        << "Minimum (%);" << s.minPercent << '\n'
        << "Mittel (%);" << s.meanPercent << '\n'
        << "Maximum (%);" << s.maxPercent << '\n'
        << "Schlechte Zyklen;" << s.badCycles << '\n'
        << "Längste Folge schlechter Zyklen;" << s.longestBadRun << '\n'
        << '\n'
        << "Zeit (ms);Wörter;Qualität (%)\n";
    for (const LinkSample& cycle : record.cycles)
        out << cycle.elapsedMs << ';' << cycle.matches << ';' << cycle.Percent() << '\n';
    return out.str();
}
