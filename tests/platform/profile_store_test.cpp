#include "platform/profile_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "qm-profile-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

std::string Slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST(ProfilePath, FollowsXdgConfigHomeThenHome) {
    ::setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
    EXPECT_EQ(ProfilePath("Talvenmark", "Quillmere"), "/x/cfg/Talvenmark/Quillmere.conf");
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored, as the XDG rules say
    ::setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(ProfilePath("Talvenmark", "Quillmere"),
              "/home/ann/.config/Talvenmark/Quillmere.conf");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(IniProfileStore, SavedValuesComeBackAfterARestart) {
    TempDir dir;
    const std::string file = (dir.path / "Talvenmark" / "Quillmere.conf").string();
    {
        IniProfileStore store(file);
        EXPECT_FALSE(store.Read("Settings", "COM Port"));
        store.Write("Settings", "COM Port", "2");
        store.Write("Settings", "Run Program", "/opt/my tool/run, now");
        EXPECT_EQ(*store.Read("Settings", "COM Port"), "2"); // visible before the flush
        ASSERT_TRUE(store.Flush());
    }
    IniProfileStore again(file);
    EXPECT_EQ(*again.Read("Settings", "COM Port"), "2");
    EXPECT_EQ(*again.Read("Settings", "Run Program"), "/opt/my tool/run, now");
}

TEST(IniProfileStore, NothingIsWrittenUntilFlush) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    IniProfileStore store(file.string());
    store.Write("Settings", "Baudrate", "1");
    EXPECT_FALSE(fs::exists(file));
}

TEST(IniProfileStore, AFlushKeepsGroupsEditedByHandMeanwhile) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file) << "[Settings]\nBaudrate=1\n";
    IniProfileStore store(file.string());
    EXPECT_EQ(*store.Read("Settings", "Baudrate"), "1");
    std::ofstream(file) << "[Settings]\nBaudrate=1\n[Ports]\nCOM1=sim:power=on,link=90\n";
    store.Write("Settings", "Baudrate", "2");
    ASSERT_TRUE(store.Flush());
    IniProfileStore again(file.string());
    EXPECT_EQ(*again.Read("Settings", "Baudrate"), "2");
    EXPECT_EQ(*again.Read("Ports", "COM1"), "sim:power=on,link=90");
}

TEST(IniProfileStore, AFailedFlushSaysSoAndLeavesNoTemporaryFiles) {
    TempDir dir;
    const fs::path blocker = dir.path / "not-a-folder";
    std::ofstream(blocker) << "x";
    IniProfileStore store((blocker / "Quillmere.conf").string());
    store.Write("Settings", "Baudrate", "2");
    EXPECT_FALSE(store.Flush());
    EXPECT_EQ(*store.Read("Settings", "Baudrate"), "2"); // still staged for the next try
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(IniProfileStore, UnreadableOrGarbageFilesGiveWhatCanBeRead) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file, std::ios::binary)
        << std::string("\0\xff\xfe[Settings\n\x01=\x02\n", 17) << "[Settings]\nCOM%20Port=3\n";
    IniProfileStore store(file.string());
    ASSERT_TRUE(store.Read("Settings", "COM Port"));
    EXPECT_EQ(*store.Read("Settings", "COM Port"), "3");
    IniProfileStore folder(dir.path.string()); // a folder where the file should be
    EXPECT_FALSE(folder.Read("Settings", "COM Port"));
}

TEST(IniProfileStore, ReplacesTheFileWholeKeepingItsMode) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file) << "[Settings]\nBaudrate=1\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    IniProfileStore store(file.string());
    store.Write("Settings", "Baudrate", "0");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(Slurp(file), "[Settings]\nBaudrate=0\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}
