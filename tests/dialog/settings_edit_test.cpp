#include "../support/app_harness.h"
#include "../support/wait_until.h"
#include "dialup/follow_up.h"
#include "res/resource.h"

namespace {
bool Dirty(AppHarness& h) {
    return h.OnUi([&] { return h.Dialog().State().dirty; });
}
} // namespace

TEST(SettingsEdit, SelectingTheStoredIndexAgainLeavesTheDialogClean) {
    AppHarness h;
    h.Start();
    h.host.UserSelect(IDC_BAUDRATE, 3);
    h.host.UserSelect(IDC_COM_PORT, 0);
    h.host.UserSelect(IDC_SENSITIVITY, 3);
    EXPECT_FALSE(Dirty(h));
    EXPECT_FALSE(h.host.Enabled(IDC_SAVE));
}

TEST(SettingsEdit, AnyEditMarksDirtyEvenWhenUndoneAgain) {
    struct Case {
        const char* what;
        std::function<void(HeadlessHost&)> edit;
    };
    std::vector<Case> cases{
        {"combo there and back",
         [](HeadlessHost& host) {
             host.UserSelect(IDC_BAUDRATE, 1);
             host.UserSelect(IDC_BAUDRATE, 3);
         }},
        {"typing and deleting",
         [](HeadlessHost& host) {
             host.UserType(IDC_RAS_LINK_NAME, "x");
             host.UserType(IDC_RAS_LINK_NAME, "");
         }},
        {"run program typed", [](HeadlessHost& host) { host.UserType(IDC_RUN_PROGRAM, "ls"); }},
        {"check box on and off",
         [](HeadlessHost& host) {
             host.UserClick(IDC_RUN_INVISIBLE);
             host.UserClick(IDC_RUN_INVISIBLE);
         }},
        {"sensitivity", [](HeadlessHost& host) { host.UserSelect(IDC_SENSITIVITY, 0); }},
        {"port", [](HeadlessHost& host) { host.UserSelect(IDC_COM_PORT, 3); }},
    };
    for (const auto& c : cases) {
        AppHarness h;
        h.Start();
        c.edit(h.host);
        EXPECT_TRUE(Dirty(h)) << c.what;
        EXPECT_TRUE(h.host.Enabled(IDC_SAVE)) << c.what;
    }
}

TEST(SettingsEdit, EditsTakeEffectInTheFieldsAtOnceAsTyped) {
    AppHarness h;
    h.Start();
    h.host.UserSelect(IDC_COM_PORT, 2);
    h.host.UserSelect(IDC_BAUDRATE, 0);
    h.host.UserType(IDC_RAS_LINK_NAME, "  Dach West ");
    h.host.UserClick(IDC_RUN_INVISIBLE);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().ComPort(); }), 2);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().Baudrate(); }), 0);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RasLinkName(); }), "  Dach West ");
    EXPECT_EQ(h.OnUi([&] { return static_cast<int>(h.Dialog().RunInvisible()); }), 1);
}

TEST(SettingsSave, WritesAllSixEntriesInOrderWithTheirKindsThenIsClean) {
    AppHarness h;
    h.Set("Run Invisible", "5"); // never clicked: written back as loaded
    h.Set("COM Port", "1");
    h.Start();
    h.host.UserType(IDC_RAS_LINK_NAME, "Mast");
    h.host.UserClick(IDC_SAVE);
    ASSERT_TRUE(h.host.WaitForLine("enable IDC_SAVE 0"));
    h.Close();
    std::vector<std::string> writes(h.Memory().writes.end() - 6, h.Memory().writes.end());
    std::vector<std::string> expected{
        "Settings/COM Port=1",         "Settings/Baudrate=3",   "Settings/Sensitivity=3",
        "Settings/RAS Link Name=Mast", "Settings/Run Program=", "Settings/Run Invisible=5",
    };
    EXPECT_EQ(writes, expected);
    EXPECT_EQ(h.Memory().flushes, 1);
}

TEST(SettingsSave, AClickedCheckBoxIsStoredAsOneAndSaveStaysDisabledUntilTheNextEdit) {
    AppHarness h;
    h.Set("Run Invisible", "5");
    h.Start();
    h.host.UserClick(IDC_RUN_INVISIBLE); // 5 shows checked; a click unchecks
    h.host.UserClick(IDC_RUN_INVISIBLE);
    h.host.UserClick(IDC_SAVE);
    h.host.UserClick(IDC_SAVE); // disabled now: lost
    ASSERT_TRUE(h.host.WaitForLine("user click IDC_SAVE ignored"));
    EXPECT_FALSE(h.host.Enabled(IDC_SAVE));
    h.host.UserType(IDC_RUN_PROGRAM, "x");
    EXPECT_TRUE(h.host.Enabled(IDC_SAVE));
    h.Close();
    EXPECT_EQ(*h.Memory().saved.Find("Settings", "Run Invisible"), "1");
    EXPECT_EQ(h.Memory().flushes, 1);
}

TEST(SettingsSave, ASaveThatDoesNotReachTheFileKeepsTheEditsAndSaysSo) {
    AppHarness h;
    h.Start();
    h.host.UserType(IDC_RAS_LINK_NAME, "Mast");
    h.OnUi([&] { return h.Memory().failFlush = true; });
    h.host.UserClick(IDC_SAVE);
    ASSERT_TRUE(h.host.WaitForLine(
        "text IDC_STATUS \"FEHLER: Einstellungen konnten nicht gespeichert werden\""));
    EXPECT_TRUE(Dirty(h));
    EXPECT_TRUE(h.host.Enabled(IDC_SAVE));
    // Once the disk takes it again, the next save succeeds and the message goes.
    h.OnUi([&] { return h.Memory().failFlush = false; });
    h.host.UserClick(IDC_SAVE);
    ASSERT_TRUE(h.host.WaitForLine("enable IDC_SAVE 0"));
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    EXPECT_FALSE(Dirty(h));
}

TEST(SettingsBrowse, AChosenPathReplacesTheWholeCommandLineAndStartsThatFile) {
    AppHarness h;
    h.Set("Run Program", "/usr/bin/old --flag");
    h.Start();
    const std::string chosen = "/opt/Mein Programm/it's";
    h.host.QueueFileChoice(chosen);
    h.host.UserClick(IDC_BROWSE);
    ASSERT_TRUE(h.host.WaitForLine("choosefile \"Programm wählen\" " +
                                   HeadlessHost::Quote(FileOfCommandLine("/usr/bin/old --flag"))));
    ASSERT_TRUE(WaitUntil([&] { return Dirty(h); }));
    const std::string text = h.host.Text(IDC_RUN_PROGRAM);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RunProgram(); }), text);
    // Blanks and quotes of the chosen path must not split it when it is started.
    EXPECT_EQ(FileOfCommandLine(text), chosen) << text;
}

TEST(SettingsBrowse, ACancelledChooserChangesNothing) {
    AppHarness h;
    h.Set("Run Program", "/usr/bin/old");
    h.Start();
    h.host.UserClick(IDC_BROWSE); // no answer queued: the user cancels
    ASSERT_TRUE(h.host.WaitForLine("choosefile \"Programm wählen\" \"/usr/bin/old\""));
    EXPECT_EQ(h.host.Text(IDC_RUN_PROGRAM), "/usr/bin/old");
    EXPECT_FALSE(Dirty(h));
}

TEST(SettingsSave, ClosingTheDialogSavesNothing) {
    AppHarness h;
    h.Start();
    h.host.UserType(IDC_RAS_LINK_NAME, "Mast");
    h.host.UserPressEscape();
    ASSERT_TRUE(h.host.WaitForLine("end IDD_MAIN 2"));
    h.Close();
    EXPECT_EQ(h.Memory().flushes, 0);
}
