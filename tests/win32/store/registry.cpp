#include "registry.h"

#include "platform/text_win32.h"

#include <cstring>
#include <memory>

#include "platform/windows_api.h"

std::string ThisProgramPath() {
    wchar_t self[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    return Utf8FromWide(self);
}

RawValue ReadUserValue(const std::string& key, const std::string& name) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, WideFromUtf8(key).c_str(), 0, KEY_QUERY_VALUE,
                        &handle) != ERROR_SUCCESS)
        return {};
    std::unique_ptr<HKEY__, decltype(&::RegCloseKey)> closer(handle, &::RegCloseKey);
    DWORD type = 0, size = 0;
    const std::wstring wname = WideFromUtf8(name);
    if (::RegQueryValueExW(handle, wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(handle, wname.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return {};
    if (type == REG_DWORD) {
        DWORD value = 0;
        std::memcpy(&value, buffer.data(), sizeof value);
        return {type, std::to_string(value)};
    }
    buffer.resize(size / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0')
        buffer.pop_back();
    return {type, Utf8FromWide(buffer)};
}

void DeleteUserKey(const std::string& key) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, WideFromUtf8(key).c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, WideFromUtf8(key).c_str());
}

int RunReg(const std::string& arguments) {
    std::wstring line = L"reg.exe " + WideFromUtf8(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started))
        return -1;
    ::CloseHandle(started.hThread);
    ::WaitForSingleObject(started.hProcess, 30000);
    DWORD code = 0;
    ::GetExitCodeProcess(started.hProcess, &code);
    ::CloseHandle(started.hProcess);
    return static_cast<int>(code);
}
