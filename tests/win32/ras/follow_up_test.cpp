// Starting the follow-up program with CreateProcessA, seen from the program that was started.
#include "dialup/follow_up.h"
#include "platform/text_win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/windows_api.h"

namespace fs = std::filesystem;

namespace {

fs::path ThisFolder() {
    wchar_t self[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    return fs::path(self).parent_path();
}

// A fresh folder under the user's temporary folder, removed with everything in it at the end.
// Wine reuses small process ids, and an earlier run may have left a folder it could not remove
// (its helper still running): a name that is taken is passed over.
class TempFolder {
public:
    TempFolder() {
        static int serial = 0;
        do
            m_path = fs::temp_directory_path() /
                     ("quillmere-follow-up-" + std::to_string(::GetCurrentProcessId()) + "-" +
                      std::to_string(++serial));
        while (!fs::create_directory(m_path));
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Puts a copy of the marker helper at this place under the folder; its full path in UTF-8.
    std::string Helper(const std::u8string& relative) const {
        const fs::path target = m_path / fs::path(relative);
        fs::create_directories(target.parent_path());
        fs::copy_file(ThisFolder() / "marker_helper.exe", target);
        return Utf8FromWide(target.wstring());
    }

private:
    fs::path m_path;
};

struct Marker {
    std::string command;
    std::string show;
    std::vector<std::string> args;
};

// What the helper at that path wrote; nothing when it did not run within a few seconds.
std::optional<Marker> AwaitMarker(const std::string& helper) {
    const fs::path path = fs::path(WideFromUtf8(helper + ".marker"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // The helper's rename holds the file open for deleting a moment after the name appears, and
    // an open without delete sharing fails meanwhile: a marker counts once it can be read.
    std::ifstream in;
    for (;;) {
        if (fs::exists(path)) {
            in.open(path, std::ios::binary);
            if (in)
                break;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Marker m;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("command ", 0) == 0)
            m.command = line.substr(8);
        else if (line.rfind("show ", 0) == 0)
            m.show = line.substr(5);
        else if (line.rfind("arg ", 0) == 0)
            m.args.push_back(line.substr(4));
    }
    return m;
}

bool Ran(const std::string& helper) {
    return fs::exists(fs::path(WideFromUtf8(helper + ".marker")));
}

TEST(FollowUpProgram, PassesTheCommandLineUnchangedAndShowsTheProgramAsItLikes) {
    TempFolder dir;
    const std::string helper = dir.Helper(u8"bin/helper.exe");
    const std::string line = "\"" + helper + "\" eins \"zwei drei\"  vier";
    ASSERT_TRUE(StartFollowUpProgram(line, false));
    const auto m = AwaitMarker(helper);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->command, line);
    EXPECT_EQ(m->args, (std::vector<std::string>{helper, "eins", "zwei drei", "vier"}));
    EXPECT_EQ(m->show, "0 0") << "no show state imposed";
}

TEST(FollowUpProgram, HiddenAsksTheProgramToHideItself) {
    TempFolder dir;
    const std::string helper = dir.Helper(u8"bin/helper.exe");
    ASSERT_TRUE(StartFollowUpProgram(helper + " x", true));
    const auto m = AwaitMarker(helper);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->show, "1 " + std::to_string(SW_HIDE));
    EXPECT_EQ(m->command, helper + " x");
}

TEST(FollowUpProgram, APathWithBlanksFromTheFileChooserStartsThatProgramNotTheFirstWord) {
    TempFolder dir;
    const std::string helper = dir.Helper(u8"Program Files/x/helper.exe");
    const std::string decoy = dir.Helper(u8"Program.exe");
    ASSERT_TRUE(StartFollowUpProgram(helper, false));
    const auto m = AwaitMarker(helper);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->args, std::vector<std::string>{helper});
    EXPECT_FALSE(Ran(decoy));
}

TEST(FollowUpProgram, ATextWithArgumentsIsNotMendedEvenWhereTheSystemReadsItOtherwise) {
    // The system takes the unquoted text for "...\Program.exe" with arguments: that is the
    // command the user wrote, and it passes as it is.
    TempFolder dir;
    const std::string helper = dir.Helper(u8"Program Files/x/helper.exe");
    const std::string decoy = dir.Helper(u8"Program.exe");
    ASSERT_TRUE(StartFollowUpProgram(helper + " eins", false));
    const auto m = AwaitMarker(decoy);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->command, helper + " eins");
    EXPECT_FALSE(Ran(helper));
}

TEST(FollowUpProgram, AProgramUnderAnUmlautPathIsNamedInTheAnsiCodePage) {
    if (Utf8FromAnsi(AnsiFromUtf8("Büro")) != "Büro")
        GTEST_SKIP() << "the ANSI code page has no ü";
    TempFolder dir;
    const std::string helper = dir.Helper(u8"Büro/helper.exe");
    ASSERT_TRUE(StartFollowUpProgram(helper + " Süd", false));
    const auto m = AwaitMarker(helper);
    ASSERT_TRUE(m);
    EXPECT_EQ(Utf8FromAnsi(m->command), helper + " Süd");
}

TEST(FollowUpProgram, AProgramThatCannotBeStartedIsReported) {
    TempFolder dir;
    const std::string helper = dir.Helper(u8"a/helper.exe");
    EXPECT_FALSE(StartFollowUpProgram(helper + ".fehlt.exe", false));
    EXPECT_FALSE(StartFollowUpProgram(helper + ".fehlt.exe eins", true));
    // The system would read only up to the NUL and start the helper.
    EXPECT_FALSE(StartFollowUpProgram(helper + std::string("\0.fehlt.exe", 11), false));
    // Nothing may start the helper within this while: the sleep is the check.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(Ran(helper));
}

} // namespace
