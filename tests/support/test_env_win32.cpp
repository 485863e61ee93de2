#include "tests/support/test_env.h"

#include "platform/text_win32.h"

#include <cstdlib>
#include <filesystem>
#include <io.h>
#include <random>
#include <system_error>

#include "platform/windows_api.h"

std::string MakeTempDir(const std::string& prefix) {
    // No mkdtemp here: a random name, taken only if the folder did not exist yet.
    std::random_device seed;
    std::mt19937 random(seed() ^ ::GetCurrentProcessId());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            base / (prefix + std::to_string(random() % 1000000000u));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error))
            return candidate.string();
    }
    return {};
}

void SetEnv(const std::string& name, const std::string& value) {
    // The C library keeps a copy of the environment: _putenv_s changes both it and the
    // system's, which CreateProcess hands on.
    ::_putenv_s(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
    ::_putenv_s(name.c_str(), "");
}

void WriteToStandardError(const std::string& text) {
    [[maybe_unused]] int n = ::_write(2, text.data(), static_cast<unsigned>(text.size()));
}

std::string NoSuchFolderText() {
    return SystemErrorText(ERROR_PATH_NOT_FOUND);
}

int ProcessId() {
    return static_cast<int>(::GetCurrentProcessId());
}

std::string TouchCommand(const std::string& path) {
    return "cmd.exe /c type nul > \"" + path + "\"";
}
