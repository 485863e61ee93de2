// Started as a follow-up program: writes beside itself, in <own file name>.marker, its command
// line, its arguments one a line and how it was asked to show itself.
#include <cstdio>
#include <string>

#include <windows.h>

int main(int argc, char** argv) {
    char self[MAX_PATH * 2] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoA(&startup);
    std::string text = std::string("command ") + ::GetCommandLineA() + "\n";
    text += "show " + std::to_string((startup.dwFlags & STARTF_USESHOWWINDOW) != 0) + " " +
            std::to_string(startup.wShowWindow) + "\n";
    for (int i = 0; i < argc; ++i)
        text += std::string("arg ") + argv[i] + "\n";
    // Whole or not at all: the test reads it as soon as it appears.
    const std::string marker = std::string(self) + ".marker";
    const std::string partial = marker + ".part";
    FILE* f = std::fopen(partial.c_str(), "wb");
    if (!f)
        return 1;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return ::MoveFileExA(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
