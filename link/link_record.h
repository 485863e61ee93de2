// One link test as it is kept after its end: what it ran on, how it ended, every cycle. The
// file format is plain lines, "key value", one "cycle <ms> <words>" per cycle and "end" last,
// so that a record cut short shows as such; docs/link-records.md describes it.
#pragma once

#include "link/link_history.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

inline constexpr int kLinkRecordFormat = 1;

struct LinkSummary {
    std::size_t cycles = 0;
    int minPercent = 0, meanPercent = 0, maxPercent = 0;
    std::size_t badCycles = 0;
    std::size_t longestBadRun = 0;
};

struct LinkRecord {
    LinkTestInfo info;
    LinkTestEnd end = LinkTestEnd::Cancelled;
    std::uint32_t durationMs = 0;
    std::string version;
    std::string host;
    std::vector<LinkSample> cycles;
    bool damaged = false; // read back cut short or with lines that make no sense
};

LinkSummary Summarize(const std::vector<LinkSample>& cycles);
std::string LinkTestEndName(LinkTestEnd end);
// What the device list said of the port's device, as German label and value; none unknown.
std::vector<std::pair<std::string, std::string>> HardwareFacts(const LinkTestInfo& info);
// How the test ended, in the German of the reports: "bestanden", "abgebrochen", ...
std::string LinkTestEndInWords(LinkTestEnd end);
std::string FormatLinkRecord(const LinkRecord& record);
LinkRecord ParseLinkRecord(const std::string& text);
// One line per cycle after a block of the test's facts (led by those given, such as the site),
// separated by semicolons as German spreadsheets expect.
std::string FormatLinkRecordCsv(const LinkRecord& record,
                                const std::vector<std::pair<std::string, std::string>>& lead = {});
