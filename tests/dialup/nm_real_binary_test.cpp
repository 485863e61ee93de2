// The program against a real NetworkManager (tests/dialup/real_nm.h): the automatic sequence
// ends in a real activation, and the hang-up start ("/d") takes the connection the settings name
// down, whoever brought it up.
#include "tests/dialup/real_nm.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A private settings folder for the program, with the profile "Optolink Dach" on the service.
class RealNetworkManagerBinary : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string unavailable = RealNetworkManager::Unavailable();
        if (!unavailable.empty())
            GTEST_SKIP() << unavailable;
        const std::string failed = nm.Start();
        ASSERT_EQ(failed, "") << nm.Logs();
        ASSERT_TRUE(nm.AddProfile("Optolink Dach"));
        std::filesystem::create_directories(home / "config/Talvenmark");
        std::filesystem::create_directories(home / "run");
        std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
        SetEnv("XDG_CONFIG_HOME", home / "config");
        SetEnv("XDG_STATE_HOME", home / "state");
        SetEnv("XDG_RUNTIME_DIR", home / "run");
        SetEnv("QUILLMERE_LOCK_DIR", home.Path());
        UnsetEnv("DISPLAY");
        UnsetEnv("WAYLAND_DISPLAY");
    }
    void WriteSettings(const std::string& text) {
        std::ofstream(home / "config/Talvenmark/Quillmere.conf") << text;
    }

    RealNetworkManager nm;
    TempDir home;
};

TEST_F(RealNetworkManagerBinary, TheAutomaticSequenceEndsInARealActivation) {
    WriteSettings("[Settings]\nRAS%20Link%20Name=Optolink Dach\nRun%20Program=" +
                  TouchCommand(home / "follow-up-ran") +
                  "\n[Ports]\nCOM1=sim:power=on\n[Dialup]\nService=networkmanager\n");
    SetEnv("QT_QPA_PLATFORM", "offscreen");
    const CommandResult r = RunCommand({QUILLMERE_BINARY}, 40000);
    UnsetEnv("QT_QPA_PLATFORM");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(nm.State("Optolink Dach"), "activated") << r.output;
    EXPECT_TRUE(std::filesystem::exists(home / "follow-up-ran"));
}

TEST_F(RealNetworkManagerBinary, TheHangUpStartTakesDownTheConnectionTheSettingsName) {
    // Hanging up needs no display.
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
        WriteSettings(std::string("[Settings]\nRAS%20Link%20Name=") + c.linkName +
                      "\n[Dialup]\nService=networkmanager\n");
        const CommandResult r = RunCommand({QUILLMERE_BINARY, "/d"}, 15000);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(nm.State("Optolink Dach"), c.down ? "" : "activated") << r.output;
    }
}

} // namespace
