#include "tests/support/test_env.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

std::string MakeTempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

void SetEnv(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) {
    ::unsetenv(name.c_str());
}

void WriteToStandardError(const std::string& text) {
    [[maybe_unused]] ssize_t n = ::write(2, text.data(), text.size());
}

std::string NoSuchFolderText() {
    return std::strerror(ENOENT);
}

int ProcessId() {
    return static_cast<int>(::getpid());
}

std::string TouchCommand(const std::string& path) {
    return "touch '" + path + "'";
}
