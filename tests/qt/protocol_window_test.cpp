#include "../support/recorded_tests.h"
#include "platform/qt/protocol_window.h"
#include "qt_fixture.h"
#include "res/resource.h"

#include <QPushButton>
#include <QTreeWidget>

#include <random>

// A good test, a bad one after it and a damaged one last, in a folder of the test's own; the
// older good one is saved as CSV through the chooser's seam.
TEST_F(QtHostTest, TheProtocolFromTheWindowMenuSavesTheChosenTestAsCsv) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("qm-protocol-" + std::to_string(std::random_device()()));
    WriteThreeTests(folder);
    app.SetLinkRecords(LinkRecordStore(folder));
    std::vector<std::string> asked, offered;
    host.AnswerText([&](const std::string& prompt) {
        asked.push_back(prompt);
        return std::optional<std::string>(asked.size() == 1 ? "Mast Süd" : "E. Kranich");
    });
    host.AnswerSaveFile([&](const std::string& initialName) {
        offered.push_back(initialName);
        return std::optional<std::string>((folder / initialName).string());
    });

    RunProgram([&](CLinkControlDialog& dlg, DialogWindow&) {
        dlg.OnSysCommand(IDM_PROTOCOL, 0);
        ProtocolWindow* w = host.Protocol();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), "Protokoll der Linktests");
        auto* list = w->findChild<QTreeWidget*>("Linktests");
        ASSERT_EQ(list->topLevelItemCount(), 3);
        EXPECT_EQ(list->topLevelItem(0)->text(3), "beschädigt");
        EXPECT_EQ(list->topLevelItem(1)->text(4), "85 %");
        EXPECT_EQ(list->topLevelItem(2)->text(0), "09.12.2026 14:02:11");
        w->SelectRow(1);
        SaveScreenshot(*w, "protocol.png");

        w->SelectRow(2);
        auto* csv = w->findChild<QPushButton*>("IDS_PROTOCOL_SAVE_CSV");
        ASSERT_TRUE(csv && csv->isEnabled());
        csv->click();
        csv->click();
        // The menu's command brings the same window forward.
        dlg.OnSysCommand(IDM_PROTOCOL, 0);
        EXPECT_EQ(host.Protocol(), w);
    });
    EXPECT_EQ(host.Protocol(), nullptr) << "the window outlived the dialog";
    EXPECT_EQ(asked.size(), 2u) << "Standort and Techniker are asked once";
    EXPECT_EQ(offered, std::vector<std::string>(2, "Linktest-2026-12-09-140211.csv"));
    const std::string text = FileText(folder / offered[0]);
    EXPECT_NE(text.find("Standort;Mast Süd\nTechniker;E. Kranich\n"), std::string::npos);
    EXPECT_NE(text.find("Anschluss;COM2\n"), std::string::npos);
    EXPECT_NE(text.find("\n4000;250;97\n"), std::string::npos);
    EXPECT_EQ(store->Read("Report", "Standort"), "Mast Süd");
    std::filesystem::remove_all(folder);
}
