#include "platform/win32/arguments.h"

#include "platform/text_win32.h"

#include <memory>

#include "platform/windows_api.h"

std::vector<std::string> ProgramArguments() {
    std::vector<std::string> args;
    int argc = 0;
    std::unique_ptr<LPWSTR, decltype(&::LocalFree)> argv(
        ::CommandLineToArgvW(::GetCommandLineW(), &argc), &::LocalFree);
    for (int i = 0; argv && i < argc; ++i)
        args.push_back(Utf8FromWide(argv.get()[i]));

    std::wstring module(32768, L'\0');
    module.resize(::GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size())));
    if (!module.empty()) {
        if (args.empty())
            args.emplace_back();
        args[0] = Utf8FromWide(module);
    }
    return args;
}

std::vector<const char*> ArgvOf(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    return argv;
}
