#include "platform/line_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct TempDir {
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "qm-log-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

} // namespace

// A simulator's log= path that is no plain file: opening it would wait for a reader, or act on
// a device.
TEST(LineLog, APathThatIsNoRegularFileIsRefusedWithoutWaiting) {
    struct Case {
        const char* what;
        std::function<fs::path(const fs::path&)> make;
    };
    const Case cases[] = {
        {"FIFO nobody reads",
         [](const fs::path& dir) {
             fs::path p = dir / "fifo";
             EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0);
             return p;
         }},
        {"character device", [](const fs::path&) { return fs::path("/dev/null"); }},
        {"link to a device",
         [](const fs::path& dir) {
             fs::create_symlink("/dev/zero", dir / "zero");
             return dir / "zero";
         }},
        {"folder", [](const fs::path& dir) { return dir; }},
    };
    for (const auto& c : cases) {
        TempDir dir;
        LineLog log;
        std::string error;
        EXPECT_FALSE(log.Open(c.make(dir.path).string(), error)) << c.what;
        EXPECT_FALSE(log.IsOpen()) << c.what;
        EXPECT_THAT(error, testing::HasSubstr("not a regular file")) << c.what;
    }
}
