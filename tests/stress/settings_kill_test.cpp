// A save killed at a random moment: the settings file afterwards holds the old settings or the
// new ones, byte for byte, never a mixture or a truncated file; saved through a link too.
//
//   settings_kill_test [--seed=N] [--cycles=N]   N kills (default 200)
#include "platform/ini_file.h"
#include "platform/profile_store.h"
#include "stress_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

StressArgs g_args;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Settings that differ throughout, and long enough that a save takes a while to write.
IniDocument Settings(char fill) {
    IniDocument doc;
    doc.Set("Settings", "RAS Link Name", std::string(1, fill) + " Optolink Dach");
    doc.Set("Settings", "Baudrate", std::string(1, fill));
    for (int i = 0; i < 200; ++i)
        doc.Set("Notes", "Line" + std::to_string(i), std::string(200, fill));
    return doc;
}

// Anything in the folder but the settings, their lock file and the link's folder is a save's new
// file.
bool TemporaryFileBeside(const std::string& dir, const std::string& path) {
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path() != path && e.path() != path + ".lock" && e.path().filename() != "linked")
            return true;
    return false;
}

} // namespace

TEST(SettingsKill, ASaveKilledAnywhereLeavesTheOldFileOrTheNewOne) {
    std::mt19937_64 random(g_args.seed);
    const long kills = g_args.cycles > 0 ? g_args.cycles : 200;
    char dirPattern[] = "/tmp/qm-kill-XXXXXX";
    ASSERT_NE(::mkdtemp(dirPattern), nullptr);
    const std::string dir = dirPattern;
    const std::string path = dir + "/Quillmere.conf";
    // Every other saver goes through a link, as with settings kept in a dotfile repository.
    const std::string linkDir = dir + "/linked";
    const std::string link = linkDir + "/Quillmere.conf";
    std::filesystem::create_directory(linkDir);
    std::filesystem::create_symlink("../Quillmere.conf", link);
    const IniDocument a = Settings('a');
    const IniDocument b = Settings('b');
    const std::string textA = FormatIni(a);
    const std::string textB = FormatIni(b);
    {
        IniProfileStore first(path);
        for (const auto& s : a.sections)
            for (const auto& e : s.entries)
                first.Write(s.name, e.key, e.value);
        ASSERT_TRUE(first.Flush());
    }
    ASSERT_EQ(ReadFile(path), textA);

    long sawA = 0, sawB = 0, insideASave = 0;
    for (long round = 0; round < kills; ++round) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves a and b in turn, as fast as it can, until it is killed; a byte down the
            // pipe after each save.
            ::close(pipeFds[0]);
            IniProfileStore store(round % 2 ? link : path);
            for (unsigned n = 1;; ++n) {
                for (const auto& s : (n % 2 ? b : a).sections)
                    for (const auto& e : s.entries)
                        store.Write(s.name, e.key, e.value);
                if (!store.Flush() || ::write(pipeFds[1], "s", 1) != 1)
                    std::_Exit(2);
            }
        }
        ::close(pipeFds[1]);
        // Two saves timed, then the kill anywhere in the next two: wherever the machine's speed
        // (or a sanitizer) puts the saving.
        char byte;
        ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1);
        const auto first = std::chrono::steady_clock::now();
        ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1);
        const auto save = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - first)
                              .count();
        std::this_thread::sleep_for(
            std::chrono::microseconds(random() % static_cast<std::uint64_t>(2 * save + 1)));
        // Every other round aims at the moment the new file is on disk, however short that is
        // next to building the settings (a sanitizer makes it a sliver): the saver is stopped
        // at short random intervals until one finds the new file, and killed there.
        if (round % 2)
            for (int aim = 0; aim < 5000; ++aim) {
                ASSERT_EQ(::kill(child, SIGSTOP), 0);
                int stopped = 0;
                ASSERT_EQ(::waitpid(child, &stopped, WUNTRACED), child);
                ASSERT_TRUE(WIFSTOPPED(stopped))
                    << "round " << round << ": the saver failed by itself";
                if (TemporaryFileBeside(dir, path))
                    break;
                ASSERT_EQ(::kill(child, SIGCONT), 0);
                std::this_thread::sleep_for(std::chrono::microseconds(
                    random() % static_cast<std::uint64_t>(save / 10 + 1)));
            }
        ::kill(child, SIGKILL);
        ::close(pipeFds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round << ": the saver failed by itself";
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == textA || now == textB)
            << "round " << round << ": the file holds " << now.size() << " bytes, neither the "
            << textA.size() << " of the old settings nor the new ones";
        ASSERT_TRUE(std::filesystem::is_symlink(link)) << "round " << round;
        (now == textA ? sawA : sawB)++;
        // The killed save's temporary file may be left beside the settings; it never replaces
        // them. Cleared so that the folder does not fill up over the run.
        const bool leftover = TemporaryFileBeside(dir, path);
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (e.path() != path && e.path() != path + ".lock" && e.path() != linkDir)
                std::filesystem::remove(e.path());
        insideASave += leftover;
    }
    std::filesystem::remove_all(dir);
    std::printf("%ld saves killed (%ld of them while the new file was being written): the file "
                "held the one settings %ld times, the other %ld times\n",
                kills, insideASave, sawA, sawB);
    // Both outcomes seen: the kills did land in different places of the saving.
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
    EXPECT_GT(insideASave, 0) << "no kill landed inside a save";
}

int main(int argc, char** argv) {
    g_args = TakeStressArgs(argc, argv, "settings_kill_test");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
