// The settings in the registry: where they live, how integers and texts are kept, and values
// written by another program (reg.exe) read back by the program.
#include "../../support/app_harness.h"
#include "platform/profile_store.h"
#include "platform/text_win32.h"
#include "platform/win_app.h"
#include "res/resource.h"

#include "registry.h"

#include <gtest/gtest.h>

namespace {

// The application named after this test program, as the program is named after its exe.
struct ProgramNamedAfterItsExe {
    CWinApp app;
    std::string key;
    ProgramNamedAfterItsExe() {
        const std::string self = ThisProgramPath();
        const char* argv[] = {self.c_str()};
        app.SetStartup(1, argv);
        key = "Software\\Talvenmark\\" + app.m_pszAppName;
        DeleteUserKey(key);
        app.SetRegistryKey("Talvenmark");
    }
    ~ProgramNamedAfterItsExe() { DeleteUserKey(key); }
};

TEST(RegistryStore, SettingsLiveUnderTheCompanyAndTheExeBaseName) {
    ProgramNamedAfterItsExe p;
    EXPECT_EQ(p.app.m_pszAppName, "store_tests");
    EXPECT_EQ(p.app.Profile().Location(), "HKEY_CURRENT_USER\\Software\\Talvenmark\\store_tests");
    p.app.WriteProfileInt("Settings", "COM Port", 2);
    p.app.WriteProfileString("Settings", "RAS Link Name", "Dach West");
    EXPECT_EQ(ReadUserValue(p.key + "\\Settings", "COM Port"), (RawValue{kRegDword, "2"}));
    EXPECT_EQ(ReadUserValue(p.key + "\\Settings", "RAS Link Name"),
              (RawValue{kRegSz, "Dach West"}));
}

TEST(RegistryStore, IntegersAndTextsComeBackAsWritten) {
    ProgramNamedAfterItsExe p;
    const std::vector<int> numbers{0, 3, -1, 2147483647, -2147483647 - 1};
    for (int n : numbers) {
        p.app.WriteProfileInt("Settings", "Baudrate", n);
        EXPECT_EQ(static_cast<int>(p.app.GetProfileInt("Settings", "Baudrate", 99)), n);
    }
    const std::vector<std::string> texts{"", "Überland Süd", "C:\\Program Files\\x\\a b.exe /q",
                                         std::string(3000, 'y')};
    for (const std::string& t : texts) {
        p.app.WriteProfileString("Settings", "Run Program", t);
        EXPECT_EQ(p.app.GetProfileString("Settings", "Run Program", "fehlt"), t);
    }
    EXPECT_TRUE(p.app.FlushProfile());
    // Another store of the same program sees them: they are in the registry, not in memory.
    const auto again = OpenUserProfileStore("Talvenmark", "store_tests");
    EXPECT_EQ(again->Read("Settings", "Run Program"), texts.back());
    EXPECT_EQ(again->Read("Settings", "Baudrate"), "-2147483648");
    EXPECT_EQ(again->Read("Settings", "Sensitivity"), std::nullopt);
    EXPECT_EQ(p.app.GetProfileInt("Settings", "Sensitivity", 3), 3u);
}

TEST(RegistryStore, AnErasedValueIsGoneAndErasingNothingIsNoFailure) {
    ProgramNamedAfterItsExe p;
    p.app.WriteProfileString("Ports", "COM1", "COM7:");
    p.app.WriteProfileString("Ports", "COM2", "COM8:");
    p.app.Profile().Erase("Ports", "COM1");
    p.app.Profile().Erase("Ports", "COM3");     // never there
    p.app.Profile().Erase("Elsewhere", "COM1"); // nor its key
    EXPECT_TRUE(p.app.FlushProfile());
    const auto again = OpenUserProfileStore("Talvenmark", "store_tests");
    EXPECT_EQ(again->Read("Ports", "COM1"), std::nullopt);
    EXPECT_EQ(again->Read("Ports", "COM2"), "COM8:");
}

TEST(RegistryStore, ValuesWrittenByRegAreReadBack) {
    ProgramNamedAfterItsExe p;
    const std::string settings = "HKCU\\" + p.key + "\\Settings";
    ASSERT_EQ(RunReg("add \"" + settings + "\" /v \"Run Invisible\" /t REG_DWORD /d 256 /f"), 0);
    ASSERT_EQ(RunReg("add \"" + settings + "\" /v \"RAS Link Name\" /t REG_SZ /d \"Büro Nord\" /f"),
              0);
    ASSERT_EQ(RunReg("add \"" + settings + "\" /v Sensitivity /t REG_SZ /d \" 5 \" /f"), 0);
    const unsigned invisible = p.app.GetProfileInt("Settings", "Run Invisible", 0);
    EXPECT_EQ(invisible, 256u);
    EXPECT_EQ(static_cast<std::uint8_t>(invisible), 0) << "only the low byte counts";
    EXPECT_EQ(p.app.GetProfileString("Settings", "RAS Link Name"), "Büro Nord");
    EXPECT_EQ(p.app.GetProfileInt("Settings", "Sensitivity", 3), 5u) << "a number kept as text";
}

// The program's own start on these values: the dialog shows them.
TEST(RegistryStore, TheDialogOpensWithTheValuesRegWrote) {
    const std::string app = "store_tests-dialog";
    const std::string key = "Software\\Talvenmark\\" + app;
    DeleteUserKey(key);
    const std::string settings = "HKCU\\" + key + "\\Settings";
    ASSERT_EQ(RunReg("add \"" + settings + "\" /v \"Run Invisible\" /t REG_DWORD /d 256 /f"), 0);
    ASSERT_EQ(RunReg("add \"" + settings + "\" /v Baudrate /t REG_DWORD /d 0 /f"), 0);
    ASSERT_EQ(RunReg("add \"" + settings + "\" /v \"RAS Link Name\" /t REG_SZ /d \"Süd\" /f"), 0);
    {
        AppHarness h;
        h.store = OpenUserProfileStore("Talvenmark", app);
        for (const char* com : {"COM1", "COM2", "COM3", "COM4"})
            h.store->Write("Ports", com, ""); // no port is opened
        h.store->Write("Dialup", "Service", "none");
        h.Start();
        EXPECT_EQ(h.host.Check(IDC_RUN_INVISIBLE), 0u);
        EXPECT_EQ(h.host.CurSel(IDC_BAUDRATE), 0);
        EXPECT_EQ(h.host.Text(IDC_RAS_LINK_NAME), "Süd");
    }
    ASSERT_EQ(RunReg("add \"" + settings + "\" /v \"Run Invisible\" /t REG_DWORD /d 257 /f"), 0);
    {
        AppHarness h;
        h.store = OpenUserProfileStore("Talvenmark", app);
        h.Start();
        EXPECT_EQ(h.host.Check(IDC_RUN_INVISIBLE), 1u);
    }
    DeleteUserKey(key);
}

} // namespace
