// The Qt tests run offscreen: no display, a private runtime folder, and a throw-away config
// folder so that nothing reaches the user's settings, nor a link test the user's records.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string MakePrivateDir(const char* pattern) {
    std::string path = (std::filesystem::temp_directory_path() / pattern).string();
    if (!mkdtemp(path.data())) // mode 0700, as Qt wants for XDG_RUNTIME_DIR
        std::abort();
    return path;
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string runtime = MakePrivateDir("qm-qt-runtime-XXXXXX");
    std::string config = MakePrivateDir("qm-qt-config-XXXXXX");
    std::string state = MakePrivateDir("qm-qt-state-XXXXXX");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::filesystem::remove_all(runtime);
    std::filesystem::remove_all(config);
    std::filesystem::remove_all(state);
    return result;
}
