#include "../support/app_harness.h"
#include "../support/recorded_tests.h"
#include "app/link_records.h"
#include "platform/transcript.h"
#include "res/resource.h"

namespace {

using E = LinkTestEnd;

// Written oldest first; the list shows them the other way round.
struct Row {
    LinkRecord record;
    std::size_t cut; // the file cut short here: a damaged record
    std::string shown;
};

const Row kRows[] = {
    {RecordOf("2026-12-08T09:15:02+0100", "COM1", 115200, E::Passed, {256, 250, 240}),
     std::string::npos, "08.12.2026 09:15:02 | COM1 | 115200 | bestanden | 97 %"},
    {RecordOf("2026-12-08T10:00:00+0100", "COM2", 57600, E::ManualThenCancelled, {200, 100}),
     std::string::npos,
     "08.12.2026 10:00:00 | COM2 | 57600 | von Hand weitergeführt und abgebrochen | 58 %"},
    {RecordOf("2026-12-09T07:30:59+0100", "COM1", 9600, E::Cancelled, {}), std::string::npos,
     "09.12.2026 07:30:59 | COM1 | 9600 | abgebrochen | –"},
    {RecordOf("2026-12-09T08:00:00+0100", "COM3", 115200, E::PortMissing, {}), std::string::npos,
     "09.12.2026 08:00:00 | COM3 | 115200 | Anschluss nicht verfügbar | –"},
    // Cut inside its second cycle: what was read stays, the result says what happened.
    {RecordOf("2026-12-10T08:30:00+0100", "COM4", 19200, E::Passed, {256, 128}), 200,
     "10.12.2026 08:30:00 | COM4 | 19200 | beschädigt | 100 %"},
};

std::string Joined(const ProtocolView::Row& row) {
    std::string text;
    for (const std::string& cell : row.cells)
        text += (text.empty() ? "" : " | ") + cell;
    return text + (row.damaged ? " *" : "");
}

class ProtocolTest : public ::testing::Test {
protected:
    AppHarness rig;

    void Open() {
        rig.Start();
        rig.host.UserSysCommand(IDM_PROTOCOL);
        ASSERT_TRUE(rig.host.WaitForLine("protocol open"));
    }
    std::vector<std::string> Shown() {
        return rig.OnUi([&] {
            std::vector<std::string> rows;
            for (const ProtocolView::Row& row : rig.host.Protocol()->rows)
                rows.push_back(Joined(row));
            return rows;
        });
    }
    void SaveCsv(std::size_t row) {
        rig.host.Sync([&] { rig.host.ProtocolActions()->SaveCsv(row); });
    }
    std::filesystem::path Out(const std::string& name) { return rig.records / "out" / name; }
};

} // namespace

TEST_F(ProtocolTest, TheWindowMenuListsEveryRecordNewestFirstAndADamagedOneAsSuch) {
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        WriteRecord(rig.records, static_cast<int>(i + 1), kRows[i].record, kRows[i].cut);
        expected.insert(expected.begin(),
                        kRows[i].shown + (kRows[i].cut != std::string::npos ? " *" : ""));
    }
    Open();
    EXPECT_EQ(Shown(), expected);
    // Without a PDF maker (no Qt here) the PDF button is not offered.
    EXPECT_EQ(rig.OnUi([&] { return rig.host.Protocol()->savePdf; }), "");
    rig.Close();
    EXPECT_EQ(rig.host.Lines("protocol close").size(), 1u) << "it goes with the dialog";
}

TEST_F(ProtocolTest, SiteAndTechnicianAreAskedOnceThenEverySaveCarriesThem) {
    // Behind a USB adapter the device list knows: the record names it.
    LinkRecord adapter = kRows[0].record;
    adapter.info.hardware = SerialDevice{
        "/dev/serial/by-id/usb-X", "/dev/ttyUSB0", "ftdi_sio", false, "0403", "6001", "A1B2",
        "FT232R USB UART"};
    WriteRecord(rig.records, 1, adapter);
    WriteRecord(rig.records, 2, kRows[1].record);
    std::filesystem::create_directories(Out(""));
    Open();

    // Cancelled at the second question: nothing is kept, nothing written.
    rig.host.QueueTextAnswer("Mast Nord");
    rig.host.QueueTextAnswer(std::nullopt);
    SaveCsv(1);
    EXPECT_EQ(rig.store->Read("Report", "Standort"), std::nullopt);
    EXPECT_TRUE(rig.host.Lines("choosesavefile").empty());

    rig.host.QueueTextAnswer("Mast Nord");
    rig.host.QueueTextAnswer("E. Kranich");
    rig.host.QueueFileChoice(Out("aelter").string()); // the ending is added
    SaveCsv(1);
    EXPECT_EQ(rig.host.Lines("asktext").size(), 4u);
    EXPECT_EQ(rig.host.Lines("choosesavefile"),
              std::vector<std::string>{
                  R"(choosesavefile "Als CSV speichern..." "Linktest-2026-12-08-091502.csv")"});
    const std::string csv = FileText(Out("aelter.csv"));
    EXPECT_EQ(csv.substr(0, csv.find("Dauer")), "Standort;Mast Nord\nTechniker;E. Kranich\n"
                                                "Beginn;2026-12-08T09:15:02+0100\n");
    EXPECT_NE(csv.find("Ergebnis;bestanden\n"), std::string::npos);
    EXPECT_NE(csv.find("Gerät;sim:power=on\nGerätepfad;/dev/serial/by-id/usb-X\nTreiber;ftdi_sio\n"
                       "USB-Kennung;0403:6001\nUSB-Seriennummer;A1B2\nProdukt;FT232R USB UART\n"),
              std::string::npos);
    EXPECT_EQ(rig.store->Read("Report", "Techniker"), "E. Kranich");

    // Known now: the next save asks nothing. One that cannot be written says so.
    rig.host.QueueFileChoice(Out("fehlt/neuer.csv").string());
    SaveCsv(0);
    EXPECT_EQ(rig.host.Lines("asktext").size(), 4u);
    EXPECT_EQ(rig.host.Lines("messagebox"),
              std::vector<std::string>{"messagebox " +
                                       transcript::Quote("Der Bericht konnte nicht nach „" +
                                                         Out("fehlt/neuer.csv").string() +
                                                         "“ geschrieben werden.")});
}

// The command line's report, from two records; the newest is the first.
TEST(ReportCommand, WritesTheAskedTestOrSaysInGermanWhyNot) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("qm-report-" + std::to_string(std::random_device()()));
    const LinkRecordStore none(folder / "leer"), two(folder / "records");
    WriteRecord(two.Folder(), 1, kRows[0].record);
    WriteRecord(two.Folder(), 2, kRows[2].record);
    const std::string out = (folder / "bericht.csv").string();
    const struct {
        std::vector<std::string> args;
        const LinkRecordStore& store;
        int code;
        std::string message;
        std::string written; // the file's line after Techniker
    } cases[] = {
        {{"--report", out}, two, 0, "", "Beginn;2026-12-09T07:30:59+0100"},
        {{"--report", "--test", "2", out}, two, 0, "", "Beginn;2026-12-08T09:15:02+0100"},
        {{"--report", "--test", "3", out}, two, 1, "Es sind nur 2 Linktests aufgezeichnet.", ""},
        {{"--report", out}, none, 1, "Es ist kein Linktest aufgezeichnet.", ""},
        {{"--report", "bericht.txt"},
         two,
         1,
         "Aufruf: --report [--test N] DATEI.pdf|DATEI.csv",
         ""},
        {{"--report", (folder / "x.pdf").string()},
         two,
         1,
         "Dieses Programm schreibt keine PDF-Berichte; bitte DATEI.csv angeben.",
         ""},
        {{"--report", (folder / "fehlt/x.csv").string()},
         two,
         1,
         "Der Bericht konnte nicht nach „" + (folder / "fehlt/x.csv").string() +
             "“ geschrieben werden.",
         ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(out);
        std::string message;
        EXPECT_EQ(WriteLinkReport(c.store, *ReportRequestOf(c.args), {"Mast", "Kranich"}, nullptr,
                                  message),
                  c.code)
            << c.args.back();
        EXPECT_EQ(message, c.message);
        const std::string text = FileText(out);
        EXPECT_EQ(text.substr(0, text.find("\nDauer")),
                  c.written.empty() ? "" : "Standort;Mast\nTechniker;Kranich\n" + c.written);
    }
    std::filesystem::remove_all(folder);
}
