#include "platform/profile_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pwd.h>
#include <sched.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

// A value that is not absolute counts as unset (the XDG rules say so for XDG_CONFIG_HOME); never
// is the folder the program was started in taken instead.
TEST(ProfilePath, FollowsXdgConfigHomeThenHomeThenTheAccountsHome) {
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const std::string accountHome = account->pw_dir;
    const struct {
        const char* xdg;
        const char* home;
        std::string base;
    } cases[] = {
        {"/x/cfg", "/home/ann", "/x/cfg"},
        {"relative", "/home/ann", "/home/ann/.config"},
        {nullptr, nullptr, accountHome + "/.config"},
        {"", "relative", accountHome + "/.config"},
    };
    for (const auto& c : cases) {
        for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", c.xdg}, {"HOME", c.home}})
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
        EXPECT_EQ(ProfilePath("Talvenmark", "Quillmere"), c.base + "/Talvenmark/Quillmere.conf")
            << (c.xdg ? c.xdg : "-") << " " << (c.home ? c.home : "-");
    }
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", accountHome.c_str(), 1);
}

// An account the password database does not know (a user namespace maps this process to one):
// no settings file at all.
TEST(ProfilePath, IsEmptyWithoutAnyHome) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string map = "54321 " + std::to_string(::getuid()) + " 1";
        const int fd = ::unshare(CLONE_NEWUSER) == 0 ? ::open("/proc/self/uid_map", O_WRONLY) : -1;
        if (fd < 0 || ::write(fd, map.data(), map.size()) != static_cast<ssize_t>(map.size()))
            ::_exit(77);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("HOME");
        ::_exit(ProfilePath("Talvenmark", "Quillmere").empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no user namespace to be had here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
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

TEST(IniProfileStore, AnErasedEntryIsGoneAtOnceAndFromTheFileWithTheFlushOnly) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file) << "[Ports]\nCOM1=/dev/ttyUSB0\nCOM2=/dev/ttyUSB1\n";
    IniProfileStore store(file.string());
    store.Write("Ports", "COM3", "/dev/ttyACM0"); // staged, then taken back
    store.Erase("Ports", "COM3");
    store.Erase("Ports", "COM1");
    EXPECT_FALSE(store.Read("Ports", "COM1"));
    EXPECT_EQ(Slurp(file), "[Ports]\nCOM1=/dev/ttyUSB0\nCOM2=/dev/ttyUSB1\n");
    ASSERT_TRUE(store.Flush());
    IniProfileStore again(file.string());
    EXPECT_FALSE(again.Read("Ports", "COM1"));
    EXPECT_FALSE(again.Read("Ports", "COM3"));
    EXPECT_EQ(*again.Read("Ports", "COM2"), "/dev/ttyUSB1");
    store.Write("Ports", "COM1", "/dev/ttyS1"); // written again after the erase: it stays
    store.Erase("Ports", "COM2");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(Slurp(file), "[Ports]\nCOM1=/dev/ttyS1\n");
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

    // Without a home folder there is no settings file: nothing lands in the current folder.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path);
    IniProfileStore nowhere("");
    nowhere.Write("Settings", "Baudrate", "2");
    EXPECT_FALSE(nowhere.Flush());
    fs::current_path(cwd);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(IniProfileStore, UnreadableOrGarbageFilesGiveWhatCanBeRead) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file, std::ios::binary)
        << std::string("\0\xff\xfe[Settings\n\x01=\x02\n", 17) << "[Settings]\nCOM%20Port=3\n";
    IniProfileStore store(file.string());
    ASSERT_TRUE(store.Read("Settings", "COM Port"));
    EXPECT_EQ(*store.Read("Settings", "COM Port"), "3");
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

TEST(IniProfileStore, AFileOfAnySizeIsReadAndSavedWhole) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    const std::string note(3 << 20, 'n'); // written by hand, past any buffer
    std::ofstream(file) << "[Notes]\nLong=" << note << "\n[Ports]\nCOM1=/dev/ttyUSB1\n";
    IniProfileStore store(file.string());
    ASSERT_TRUE(store.Read("Ports", "COM1"));
    store.Write("Settings", "Baudrate", "2");
    ASSERT_TRUE(store.Flush());
    IniProfileStore again(file.string());
    EXPECT_EQ(*again.Read("Notes", "Long"), note);
    EXPECT_EQ(*again.Read("Ports", "COM1"), "/dev/ttyUSB1");
    EXPECT_EQ(*again.Read("Settings", "Baudrate"), "2");
}

TEST(IniProfileStore, AFileFromAnotherSystemKeepsItsMarkAndLineEnds) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file, std::ios::binary) << "\xEF\xBB\xBF[Ports]\r\nCOM1=/dev/ttyUSB1\r\n";
    IniProfileStore store(file.string());
    EXPECT_EQ(*store.Read("Ports", "COM1"), "/dev/ttyUSB1");
    store.Write("Settings", "Baudrate", "2");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(Slurp(file),
              "\xEF\xBB\xBF[Ports]\r\nCOM1=/dev/ttyUSB1\r\n\r\n[Settings]\r\nBaudrate=2\r\n");
}

TEST(IniProfileStore, ALinkedFileIsSavedAtItsTargetAndStaysALink) {
    struct Case {
        const char* what;
        std::string target; // as the link holds it, from the link's folder
        bool existing;
    };
    const Case cases[] = {
        {"absolute", "", true}, // filled in with the folder's path
        {"relative", "../dotfiles/q.conf", true},
        {"target not yet there", "../dotfiles/q.conf", false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        fs::create_directories(dir.path / "config");
        fs::create_directories(dir.path / "dotfiles");
        const fs::path target = dir.path / "dotfiles" / "q.conf";
        const fs::path link = dir.path / "config" / "q.conf";
        if (c.existing)
            std::ofstream(target) << "[Ports]\nCOM1=/dev/ttyUSB1\n";
        fs::create_symlink(c.target.empty() ? target : fs::path(c.target), link);
        IniProfileStore store(link.string());
        store.Write("Settings", "Baudrate", "2");
        ASSERT_TRUE(store.Flush()) << c.what;
        EXPECT_TRUE(fs::is_symlink(link)) << c.what;
        EXPECT_EQ(Slurp(target), c.existing
                                     ? "[Ports]\nCOM1=/dev/ttyUSB1\n\n[Settings]\nBaudrate=2\n"
                                     : "[Settings]\nBaudrate=2\n")
            << c.what;
        int inFolder = 0; // no temporary file left beside the target
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path / "dotfiles"))
            ++inFolder;
        EXPECT_EQ(inFolder, 1) << c.what;
    }
}

TEST(IniProfileStore, ASettingsPathThatIsNoRegularFileIsRefusedWithoutWaiting) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"FIFO nobody writes to",
         [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }},
        {"link to a device", [](const fs::path& p) { fs::create_symlink("/dev/null", p); }},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path file = dir.path / "q.conf";
        c.make(file);
        testing::internal::CaptureStderr();
        IniProfileStore store(file.string());
        EXPECT_FALSE(store.Read("Settings", "Baudrate")) << c.what;
        store.Write("Settings", "Baudrate", "2");
        EXPECT_FALSE(store.Flush()) << c.what; // replacing it would lose what it is
        EXPECT_THAT(testing::internal::GetCapturedStderr(),
                    testing::HasSubstr("not a regular file"))
            << c.what;
        EXPECT_FALSE(fs::is_regular_file(file)) << c.what;
    }
}

// Two copies of the program save at once: the second comes while the first has read the file
// and not yet replaced it. It waits only so long for the first, says why it failed, and its
// next try keeps what the first saved.
TEST(IniProfileStore, ASaveDuringAnotherWaitsForItOnlySoLongAndNeitherIsLost) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file) << "[Ports]\nCOM1=/dev/ttyUSB0\nCOM3=/dev/ttyACM0\n";
    IniProfileStore second(file.string(), std::chrono::milliseconds(100));
    second.Write("Ports", "COM2", "/dev/ttyUSB1");
    bool secondSaved = true;
    IniProfileStore first(file.string(), std::chrono::seconds(3), [&] {
        testing::internal::CaptureStderr();
        secondSaved = second.Flush();
        EXPECT_THAT(testing::internal::GetCapturedStderr(),
                    testing::HasSubstr("another save of it holds the lock"));
    });
    first.Write("Settings", "Baudrate", "2");
    first.Erase("Ports", "COM3");
    ASSERT_TRUE(first.Flush());
    EXPECT_FALSE(secondSaved);
    ASSERT_TRUE(second.Flush());
    EXPECT_EQ(Slurp(file),
              "[Ports]\nCOM1=/dev/ttyUSB0\nCOM2=/dev/ttyUSB1\n\n[Settings]\nBaudrate=2\n");
}

// The Anschlüsse dialog takes its writes back when they could not be saved: the main dialog's
// next save must not put the old rows back over what another copy saved meanwhile.
TEST(IniProfileStore, AWriteTakenBackLeavesWhatAnotherCopySavedMeanwhile) {
    TempDir dir;
    const fs::path file = dir.path / "q.conf";
    std::ofstream(file) << "[Ports]\nCOM2=/dev/ttyUSB7\n";
    IniProfileStore first(file.string());
    first.Write("Ports", "COM1", "/dev/ttyUSB0");
    first.Write("Ports", "COM2", "/dev/ttyACM3");
    first.TakeBack("Ports", "COM1", std::nullopt);
    first.TakeBack("Ports", "COM2", "/dev/ttyUSB7");
    EXPECT_EQ(first.Read("Ports", "COM2"), "/dev/ttyUSB7");
    IniProfileStore second(file.string());
    second.Write("Ports", "COM1", "/dev/ttyUSB1");
    ASSERT_TRUE(second.Flush());
    first.Write("Settings", "Baudrate", "2");
    ASSERT_TRUE(first.Flush());
    EXPECT_EQ(Slurp(file),
              "[Ports]\nCOM2=/dev/ttyUSB7\nCOM1=/dev/ttyUSB1\n\n[Settings]\nBaudrate=2\n");
}
