#include "../support/app_harness.h"
#include "res/resource.h"
#include "res/resources.h"

TEST(AboutBox, EveryCommandWhoseHighBitsAreTheAboutItemOpensIt) {
    AppHarness h;
    h.Start();
    for (unsigned cmd : {0x10u, 0x11u, 0x1Fu}) {
        h.host.ClearTranscript();
        h.host.UserSysCommand(cmd);
        ASSERT_TRUE(h.host.WaitForLine("ready IDD_ABOUT")) << cmd;
        h.host.UserClick(IDOK);
        ASSERT_TRUE(h.host.WaitForLine("end IDD_ABOUT 1")) << cmd;
    }
    h.host.ClearTranscript();
    h.host.UserSysCommand(0x20);
    h.host.UserClick(IDC_SAVE); // a marker: handled after the command
    ASSERT_TRUE(h.host.WaitForLine("user click IDC_SAVE ignored"));
    EXPECT_TRUE(h.host.Lines("open IDD_ABOUT").empty());
}

TEST(AboutBox, WhileItIsOpenTheMainDialogTakesNoInput) {
    AppHarness h;
    h.Start();
    h.host.UserSysCommand(IDM_ABOUT);
    ASSERT_TRUE(h.host.WaitForLine("ready IDD_ABOUT"));
    h.host.UserType(IDC_RAS_LINK_NAME, "x"); // goes to the About box, which has no such control
    h.host.UserPressEscape();
    ASSERT_TRUE(h.host.WaitForLine("end IDD_ABOUT 2"));
    EXPECT_EQ(h.host.Text(IDC_RAS_LINK_NAME), "");
    EXPECT_EQ(h.host.ModalDepth(), 1);
}

TEST(AboutBox, AnEmptyMenuStringAddsNeitherSeparatorNorItem) {
    AppHarness h;
    h.app.SetStringLoader([](int) { return std::string(); });
    h.Start();
    EXPECT_TRUE(h.host.Lines("menu").empty());
}

TEST(AboutBox, SystemCloseStillClosesTheDialog) {
    AppHarness h;
    h.Start();
    h.host.UserSysCommand(SC_CLOSE);
    ASSERT_TRUE(h.host.WaitForLine("end IDD_MAIN 2"));
}

TEST(MinimizedIcon, IsCentredRoundingTowardZero) {
    EXPECT_EQ(IconOrigin({100, 50}, {32, 32}).cx, 34);
    EXPECT_EQ(IconOrigin({100, 50}, {32, 32}).cy, 9);
    EXPECT_EQ(IconOrigin({0, 0}, {32, 32}).cx, -15);
    EXPECT_EQ(IconOrigin({0, 0}, {32, 32}).cy, -15);
}

TEST(MinimizedIcon, IsDrawnOnlyWhileMinimized) {
    AppHarness h;
    h.Start();
    h.host.UserMinimize(false, {300, 200});
    h.host.UserMinimize(true, {100, 50});
    ASSERT_TRUE(h.host.WaitForLine("user minimize"));
    h.host.Sync([] {});
    EXPECT_EQ(h.host.Lines("drawicon"), std::vector<std::string>{"drawicon 128 34 9"});
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().OnQueryDragIcon(); }), IDI_MAIN);
}

TEST(Help, F1ShowsTheAboutBox) {
    AppHarness h;
    h.Start();
    h.host.UserHelp();
    ASSERT_TRUE(h.host.WaitForLine("ready IDD_ABOUT"));
}

TEST(Resources, TemplatesHoldTheirControlsInTabOrder) {
    const DialogTemplate& main = LoadDialogTemplate(IDD_MAIN);
    std::vector<int> ids;
    for (const auto& c : main.controls)
        if (c.id != -1)
            ids.push_back(c.id);
    std::vector<int> expected{IDC_COM_PORT,    IDC_BAUDRATE, IDC_SENSITIVITY,   IDC_RAS_LINK_NAME,
                              IDC_RUN_PROGRAM, IDC_BROWSE,   IDC_RUN_INVISIBLE, IDC_SAVE,
                              IDC_CONFIGURE,   IDC_TEST,     IDC_CONNECT,       IDC_LINK_QUALITY,
                              IDC_STATUS};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(main.Find(IDC_BAUDRATE)->items,
              (std::vector<std::string>{"19200", "38400", "57600", "115200"}));
    EXPECT_FALSE(main.Find(IDC_BAUDRATE)->style & kSorted);
    const IconResource* icon = LoadIconResource(IDI_MAIN);
    ASSERT_NE(icon, nullptr);
    for (const IconImage& img : {icon->large, icon->small})
        for (int y = 0; y < img.size; ++y)
            EXPECT_EQ(std::string(img.rows[y]).size(), static_cast<size_t>(img.size));
    EXPECT_NE(LoadIconResource(IDI_SECOND), nullptr);
}

TEST(Resources, EveryIconControlNamesAnIconTheHostsCanFind) {
    const IResourceProvider& resources = ProgramResources();
    int iconControls = 0;
    for (int id : {IDD_MAIN, IDD_ABOUT, IDD_DIAL})
        for (const ControlTemplate& c : LoadDialogTemplate(id).controls)
            if (c.kind == ControlKind::StaticIcon) {
                ++iconControls;
                const int icon = resources.IconId(c.text);
                EXPECT_NE(resources.Icon(icon), nullptr) << c.text;
            }
    EXPECT_GT(iconControls, 0);
    EXPECT_EQ(resources.IconId("IDI_NONE"), 0);
    EXPECT_EQ(resources.Icon(0), nullptr);
}
