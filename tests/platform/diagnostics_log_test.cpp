#include "platform/diagnostics_win32.h"

#include "platform/diagnostics.h"
#include "tests/support/test_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kBound = 1000; // a hundred lines

std::string Line(char writer, int n) {
    char line[16];
    std::snprintf(line, sizeof line, "%c%08d\n", writer, n); // 10 bytes
    return line;
}

std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line + "\n");
    return lines;
}

} // namespace

// Two threads fill the log past its bound at once: the first hundred lines become the .1 file,
// the rest start a new one, and every line arrives whole, once. Past the bound again, the new
// full file replaces the older one.
TEST(DiagnosticsLog, KeepsOneFullFileBesideTheCurrentOne) {
    const fs::path dir = MakeTempDir("qm-diagnostics-");
    ASSERT_FALSE(dir.empty());
    const fs::path log = dir / "Quillmere.log";
    const fs::path older = dir / "Quillmere.log.1";
    const auto write = [&log](char writer, int count) {
        for (int n = 0; n < count; ++n)
            AppendToBoundedLog(log, Line(writer, n), kBound);
    };
    {
        std::jthread a(write, 'a', 75);
        std::jthread b(write, 'b', 75);
    }
    std::vector<std::string> all = Lines(older);
    EXPECT_EQ(all.size(), 100u);
    EXPECT_EQ(Lines(log).size(), 50u);
    for (const std::string& line : Lines(log))
        all.push_back(line);
    std::vector<std::string> expected;
    for (int n = 0; n < 75; ++n)
        expected.insert(expected.end(), {Line('a', n), Line('b', n)});
    EXPECT_THAT(all, testing::UnorderedElementsAreArray(expected));

    write('c', 60); // fills the current file again, then starts a new one with the 51st line
    EXPECT_EQ(Lines(older).size(), 100u);
    EXPECT_EQ(Lines(older).back(), Line('c', 49));
    EXPECT_EQ(Lines(log).size(), 10u);
    EXPECT_EQ(Lines(log).front(), Line('c', 50));
    fs::remove_all(dir);
}

// The program's own log is where the documentation sends the user, each line saying which
// process wrote it.
TEST(DiagnosticsLog, ADiagnosticGoesToTheLocalApplicationDataFolder) {
    const fs::path dir = MakeTempDir("qm-appdata-");
    ASSERT_FALSE(dir.empty());
    const char* before = std::getenv("LOCALAPPDATA");
    const std::string saved = before ? before : "";
    SetEnv("LOCALAPPDATA", dir.string());
    Diagnose("Quillmere: COM3 () is not available: no device is mapped to this port");
    SetEnv("LOCALAPPDATA", saved);
    const std::vector<std::string> lines = Lines(dir / "Talvenmark/Quillmere/Quillmere.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], testing::EndsWith(" [" + std::to_string(ProcessId()) +
                                            "] Quillmere: COM3 () is not available: no device "
                                            "is mapped to this port\n"));
    fs::remove_all(dir);
}
