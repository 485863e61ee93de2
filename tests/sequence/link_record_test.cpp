// Every way a link test ends leaves its record, written when it ends, in the records folder.
#include "app/link_records.h"
#include "res/resource.h"
#include "sequence_support.h"

#include <filesystem>

namespace {

class LinkRecords : public ::testing::Test {};

struct TestEndCase {
    const char* name;
    const char* port;    // COM1's entry
    const char* awaited; // the transcript line after which the user acts, or "" for none
    int clicks;          // on the test button once a cycle came in, or at once without cycles
    LinkTestEnd end;
    LinkTestStart start;
    int matches; // of every cycle; -1: no cycle
};

const TestEndCase kTestEnds[] = {
    {"passed", "power=on", "", 0, LinkTestEnd::Passed, LinkTestStart::Automatic, 256},
    {"manual then cancelled", "power=on,link=85",
     "text IDC_STATUS \"Schlechte Verbindung - Ausrichten erforderlich\"", 1,
     LinkTestEnd::ManualThenCancelled, LinkTestStart::Automatic, 217},
    {"port missing", "", "ready IDD_MAIN", 1, LinkTestEnd::PortMissing, LinkTestStart::ByHand, -1},
};

TEST_F(LinkRecords, EveryEndOfATestIsRecordedWithHowItBeganAndEnded) {
    for (const TestEndCase& c : kTestEnds) {
        SCOPED_TRACE(c.name);
        VirtualTime time;
        FakeDialup dialup;
        AppHarness h;
        time.For(h);
        dialup.Bind(h);
        const std::string port = *c.port ? UniqueSim(c.port) : "";
        h.store->Write("Ports", "COM1", port);
        h.Start();
        if (*c.awaited) {
            ASSERT_TRUE(h.host.WaitForLine(c.awaited));
        }
        // The dialog has taken a cycle before the user acts.
        if (c.matches >= 0) {
            ASSERT_TRUE(WaitUntil(
                [&] { return h.OnUi([&] { return !h.Dialog().History().Samples().empty(); }); }));
        }
        for (int i = 0; i < c.clicks; ++i)
            h.host.UserClick(IDC_TEST);
        const LinkRecordStore store(h.records);
        ASSERT_TRUE(WaitUntil([&] { return !store.List().empty(); }));
        h.Close();

        const std::vector<std::filesystem::path> files = store.List();
        ASSERT_EQ(files.size(), 1u);
        const LinkRecord record = ReadLinkRecord(files[0]);
        EXPECT_FALSE(record.damaged);
        EXPECT_EQ(record.end, c.end);
        EXPECT_EQ(record.info.start, c.start);
        EXPECT_EQ(record.info.port, "COM1");
        EXPECT_EQ(record.info.device, port);
        EXPECT_EQ(record.info.baudRate, 115200);
        EXPECT_FALSE(record.info.startedAt.empty());
        EXPECT_FALSE(record.version.empty());
        EXPECT_EQ(record.cycles.empty(), c.matches < 0);
        for (const LinkSample& cycle : record.cycles)
            EXPECT_EQ(cycle.matches, c.matches);
        if (!record.cycles.empty()) {
            EXPECT_GE(record.durationMs, record.cycles.back().elapsedMs);
        }
    }
}

} // namespace
