#include "link/link_recorder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

LinkRecord Sample() {
    LinkRecord r;
    r.info = {"2026-12-10T08:30:00+0100", "COM1", "/dev/ttyUSB0", 115200, 3, LinkTestStart::ByHand};
    r.end = LinkTestEnd::ManualThenCancelled;
    r.durationMs = 600;
    r.version = "1.0.0.1";
    r.host = "mast\nzwei"; // a line break must not end the record's line
    r.cycles = {{90, 256}, {180, 230}, {270, 230}, {360, 231}, {450, 100}, {540, 256}};
    return r;
}

struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("qm-rec-" + std::to_string(::getpid()));
    TempFolder() { fs::remove_all(path); }
    ~TempFolder() { fs::remove_all(path); }
};

TEST(LinkRecord, SummaryAndRoundTripKeepEveryFigure) {
    const LinkRecord written = Sample();
    const LinkSummary s = Summarize(written.cycles);
    EXPECT_EQ(s.cycles, 6u);
    EXPECT_EQ(s.minPercent, 39);
    EXPECT_EQ(s.maxPercent, 100);
    EXPECT_EQ(s.meanPercent, (256 + 230 + 230 + 231 + 100 + 256) * 100 / (256 * 6));
    EXPECT_EQ(s.badCycles, 3u);
    EXPECT_EQ(s.longestBadRun, 2u);

    const LinkRecord read = ParseLinkRecord(FormatLinkRecord(written));
    EXPECT_FALSE(read.damaged);
    EXPECT_EQ(read.host, "mast zwei");
    EXPECT_EQ(read.info.device, written.info.device);
    EXPECT_EQ(read.info.baudRate, 115200);
    EXPECT_EQ(read.end, LinkTestEnd::ManualThenCancelled);
    EXPECT_EQ(read.durationMs, 600u);
    ASSERT_EQ(read.cycles.size(), 6u);
    EXPECT_EQ(read.cycles[4].elapsedMs, 450u);
    EXPECT_EQ(read.cycles[4].matches, 100);
    const std::string csv = FormatLinkRecordCsv(read);
    EXPECT_NE(csv.find("Mittel (%);" + std::to_string(s.meanPercent) + "\n"), std::string::npos);
    EXPECT_NE(csv.find("\n450;100;39\n"), std::string::npos);
}

TEST(LinkRecord, ADamagedOrCutRecordReadsAsDamagedWithWhatItHolds) {
    const std::string whole = FormatLinkRecord(Sample());
    const struct {
        std::string text;
        std::size_t cycles;
    } cases[] = {
        {whole.substr(0, whole.find("cycle 360")), 3},
        {whole.substr(0, whole.size() - 4) + "cycle 630 99999\nend\n", 6},
        {whole + "cycle 1 1\n", 6},
        {"quillmere-linktest 9\n" + whole.substr(whole.find('\n') + 1), 0},
        {"", 0},
        {std::string("\0\xff\n\n", 4), 0},
    };
    for (const auto& c : cases) {
        const LinkRecord r = ParseLinkRecord(c.text);
        EXPECT_TRUE(r.damaged) << c.text;
        EXPECT_EQ(r.cycles.size(), c.cycles) << c.text;
    }
}

TEST(LinkRecorder, AWriteThatFailsIsReportedAndLeavesNoPartOfTheFile) {
    TempFolder folder;
    std::vector<std::string> reports;
    LinkRecorder::Environment env{"1.0", "mast", [] { return "2026-12-10T08:30:00+0100"; },
                                  [] { return "linktest-1"; },
                                  [&](const std::string& text) { reports.push_back(text); }};
    LinkHistory history;
    LinkRecorder recorder(LinkRecordStore(folder.path), env);
    history.Start({"", "COM1", "sim:", 115200, 3, LinkTestStart::ByHand}, 1000);
    recorder.TestStarted(history);
    for (std::uint32_t ms = 90; ms <= 90 * 2000; ms += 90) {
        history.Add({ms, 256});
        recorder.Cycle(history);
    }
    history.End(LinkTestEnd::Cancelled, 1000 + 90 * 2000 + 40);

    // A file may not grow past a few bytes: the disk is full for it.
    struct sigaction ignore {
    }, before{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &before);
    rlimit limit{}, old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    limit = old;
    limit.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    recorder.TestEnded(history);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &before, nullptr);

    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("linktest-1"), std::string::npos) << reports[0];
    EXPECT_TRUE(fs::is_empty(folder.path)) << "neither the record nor its temporary file";

    recorder.TestEnded(history); // room again
    const std::vector<fs::path> files = LinkRecordStore(folder.path).List();
    ASSERT_EQ(files.size(), 1u);
    const LinkRecord r = ReadLinkRecord(files[0]);
    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(r.cycles.size(), 2000u);
    EXPECT_EQ(r.durationMs, 90u * 2000 + 40);
    EXPECT_EQ(r.info.startedAt, "2026-12-10T08:30:00+0100");
}

TEST(LinkRecordStore, KeepsTheNewestWithinItsCount) {
    TempFolder folder;
    const LinkRecordStore store(folder.path);
    std::string error;
    for (std::size_t i = 0; i <= LinkRecordStore::kMaxFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "linktest-%05zu", i);
        ASSERT_TRUE(store.Save(name, Sample(), error)) << error;
    }
    const std::vector<fs::path> files = store.List();
    ASSERT_EQ(files.size(), LinkRecordStore::kMaxFiles);
    EXPECT_EQ(files.front().stem(), "linktest-00200");
    EXPECT_EQ(files.back().stem(), "linktest-00001");
}

} // namespace
