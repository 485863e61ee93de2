// The program's hang-up start ("/d") against a real NetworkManager (tests/dialup/real_nm.h): the
// connection the settings name goes down, whoever brought it up, and the start ends with 0.
#include "tests/dialup/real_nm.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

TEST(RealNetworkManagerHangUpStart, TakesDownTheConnectionTheSettingsName) {
    const std::string unavailable = RealNetworkManager::Unavailable();
    if (!unavailable.empty())
        GTEST_SKIP() << unavailable;
    RealNetworkManager nm;
    const std::string failed = nm.Start();
    ASSERT_EQ(failed, "") << nm.Logs();
    ASSERT_TRUE(nm.AddProfile("Optolink Dach"));

    TempDir home;
    std::filesystem::create_directories(home / "config/Talvenmark");
    std::filesystem::create_directories(home / "run");
    std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
    SetEnv("XDG_CONFIG_HOME", home / "config");
    SetEnv("XDG_RUNTIME_DIR", home / "run");
    SetEnv("QUILLMERE_LOCK_DIR", home.Path());
    // Hanging up needs no display.
    UnsetEnv("DISPLAY");
    UnsetEnv("WAYLAND_DISPLAY");
    UnsetEnv("QT_QPA_PLATFORM");

    const struct {
        const char* linkName;
        bool down;
    } cases[] = {
        {"Optolink Dach", true},
        {"OPTOLINK DACH", true}, // letter case of A to Z aside
        {"Optolink", false},     // a prefix names nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.linkName);
        ASSERT_EQ(nm.Nmcli({"connection", "up", "Optolink Dach"}).exitCode, 0);
        std::ofstream(home / "config/Talvenmark/Quillmere.conf")
            << "[Settings]\nRAS%20Link%20Name=" << c.linkName
            << "\n[Dialup]\nService=networkmanager\n";
        const CommandResult r = RunCommand({QUILLMERE_BINARY, "/d"}, 15000);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(nm.State("Optolink Dach"), c.down ? "" : "activated") << r.output;
    }
}

} // namespace
