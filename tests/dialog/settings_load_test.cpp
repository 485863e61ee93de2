#include "../support/app_harness.h"
#include "platform/web_readout.h"
#include "res/resource.h"

using namespace std::string_literals;

TEST(SettingsLoad, WithNothingStoredTheDialogShowsTheDefaultsAndIsClean) {
    AppHarness h;
    h.Start();
    EXPECT_EQ(h.host.Text(IDC_COM_PORT), "COM1");
    EXPECT_EQ(h.host.Text(IDC_BAUDRATE), "115200");
    EXPECT_EQ(h.host.Text(IDC_SENSITIVITY), "4 - optimal");
    EXPECT_EQ(h.host.Text(IDC_RAS_LINK_NAME), "");
    EXPECT_EQ(h.host.Text(IDC_RUN_PROGRAM), "");
    EXPECT_EQ(h.host.Check(IDC_RUN_INVISIBLE), 0u);
    EXPECT_FALSE(h.host.Enabled(IDC_SAVE));
    EXPECT_FALSE(h.OnUi([&] { return h.Dialog().State().dirty; }));
    // No dial-up service bound: the connection button starts disabled.
    EXPECT_FALSE(h.host.Enabled(IDC_CONNECT));
    EXPECT_TRUE(h.host.Enabled(IDC_CONFIGURE));
}

TEST(SettingsLoad, InitialisationRunsInItsOrder) {
    AppHarness h;
    h.Set("RAS Link Name", "Dach");
    h.Start();
    std::vector<std::string> expected{
        "open IDD_MAIN",
        "menu separator",
        "menu 48 \"Aus&richtton\\tStrg+T\"",
        "menu 64 \"Ausrichta&nzeige...\"",
        "menu 80 \"&Protokoll...\"",
        "menu 96 \"Auf dem &Telefon anzeigen...\"",
        "menu 16 \"Inf&o über Quillmere...\"",
        "icon 128 big",
        "icon 128 small",
        "select IDC_COM_PORT 0",
        "select IDC_BAUDRATE 3",
        "select IDC_SENSITIVITY 3",
        "text IDC_RAS_LINK_NAME \"Dach\"",
        "enable IDC_SAVE 1", // the edit's change notification marks the dialog dirty...
        "text IDC_RUN_PROGRAM \"\"",
        "enable IDC_SAVE 0", // ...and the load makes it clean again afterwards
        "range IDC_LINK_QUALITY 0 256",
        "enable IDC_CONNECT 0",
        "ready IDD_MAIN",
    };
    if (!MakeWebReadoutService()) // the Windows program has no readout on a phone
        std::erase(expected, "menu 96 \"Auf dem &Telefon anzeigen...\"");
    EXPECT_EQ(h.host.Transcript(), expected);
}

TEST(SettingsLoad, StoredValuesSelectTheirIndexNotTheirSortPosition) {
    AppHarness h;
    h.Set("COM Port", "2");
    h.Set("Baudrate", "0");
    h.Set("Sensitivity", "6");
    h.Set("RAS Link Name", "Mast Nord");
    h.Set("Run Program", "/usr/bin/xterm -e top");
    h.Set("Run Invisible", "1");
    h.Start();
    EXPECT_EQ(h.host.Text(IDC_COM_PORT), "COM3");
    EXPECT_EQ(h.host.Text(IDC_BAUDRATE), "19200");
    EXPECT_EQ(h.host.Text(IDC_SENSITIVITY), "7 - bei Störungen");
    EXPECT_EQ(h.host.Text(IDC_RAS_LINK_NAME), "Mast Nord");
    EXPECT_EQ(h.host.Text(IDC_RUN_PROGRAM), "/usr/bin/xterm -e top");
    EXPECT_EQ(h.host.Check(IDC_RUN_INVISIBLE), 1u);
    EXPECT_FALSE(h.host.Enabled(IDC_SAVE));
}

TEST(SettingsLoad, OutOfRangeValuesAreKeptAsStoredAndShowNoSelection) {
    AppHarness h;
    h.Set("COM Port", "7");
    h.Set("Baudrate", "-1");
    h.Set("Sensitivity", "2147483647");
    h.Start();
    EXPECT_EQ(h.host.CurSel(IDC_COM_PORT), -1);
    EXPECT_EQ(h.host.CurSel(IDC_BAUDRATE), -1);
    EXPECT_EQ(h.host.CurSel(IDC_SENSITIVITY), -1);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().ComPort(); }), 7);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().Baudrate(); }), -1);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().Sensitivity(); }), 2147483647);
}

TEST(SettingsLoad, WrongKindsAndHugeNumbersFallBackToTheDefaults) {
    AppHarness h;
    h.Set("COM Port", "zwei");
    h.Set("Baudrate", "99999999999");
    h.Set("Sensitivity", "");
    h.Set("Run Invisible", "ja");
    h.Start();
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().ComPort(); }), 0);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().Baudrate(); }), 3);
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().Sensitivity(); }), 3);
    EXPECT_EQ(h.host.Check(IDC_RUN_INVISIBLE), 0u);
    h.Close();
    EXPECT_EQ(h.Memory().flushes, 0) << "nothing is written until Speichern";
}

TEST(SettingsLoad, OnlyTheLowByteOfRunInvisibleCounts) {
    {
        AppHarness h;
        h.Set("Run Invisible", "256");
        h.Start();
        EXPECT_EQ(h.host.Check(IDC_RUN_INVISIBLE), 0u);
        EXPECT_EQ(h.OnUi([&] { return static_cast<int>(h.Dialog().RunInvisible()); }), 0);
    }
    {
        AppHarness h;
        h.Set("Run Invisible", "-255"); // low byte 1
        h.Start();
        EXPECT_EQ(h.host.Check(IDC_RUN_INVISIBLE), 1u);
    }
}
