// Link test records as the recorder leaves them, for the tests of what reads them back: a
// record from a line of facts, written under a name that sorts as the tests ran. No test
// framework in here: the Win32 host test, which has none, writes its records with it too.
#pragma once

#include "link/link_recorder.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// words: the matched words of each cycle, one every 100 ms.
inline LinkRecord RecordOf(const std::string& startedAt, const std::string& port, int baud,
                           LinkTestEnd end, const std::vector<int>& words) {
    LinkRecord r;
    r.info = {startedAt, port, "sim:power=on", baud, 3, LinkTestStart::ByHand};
    r.end = end;
    r.version = "1.0.0.1";
    r.host = "mast-nord";
    for (std::size_t i = 0; i < words.size(); ++i)
        r.cycles.push_back({static_cast<std::uint32_t>(100 * (i + 1)), words[i]});
    r.durationMs = static_cast<std::uint32_t>(100 * words.size());
    return r;
}

// The nth test's record in folder; cut names its text short after that many characters.
inline void WriteRecord(const std::filesystem::path& folder, int nth, const LinkRecord& record,
                        std::size_t cut = std::string::npos) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / ("linktest-" + std::string(14, '0') + std::to_string(nth) + ".linktest"),
                  std::ios::binary)
        << FormatLinkRecord(record).substr(0, cut);
}

inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What both protocol windows are shown: a good test, a cancelled weak one after it, and a newest
// one cut short so that it reads as damaged.
inline void WriteThreeTests(const std::filesystem::path& folder) {
    WriteRecord(folder, 1,
                RecordOf("2026-12-09T14:02:11+0100", "COM2", 115200, LinkTestEnd::Passed,
                         std::vector<int>(40, 250)));
    std::vector<int> weak;
    for (int i = 0; i < 60; ++i)
        weak.push_back(190 + (i * 37) % 60);
    WriteRecord(folder, 2,
                RecordOf("2026-12-10T08:30:00+0100", "COM1", 57600, LinkTestEnd::Cancelled, weak));
    WriteRecord(folder, 3,
                RecordOf("2026-12-10T09:12:45+0100", "COM1", 57600, LinkTestEnd::Passed, {256}),
                195);
}
