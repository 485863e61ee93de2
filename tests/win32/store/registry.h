// The registry as the tests see it, past the program's store.
#pragma once

#include <string>

constexpr unsigned long kRegSz = 1;
constexpr unsigned long kRegDword = 4;

struct RawValue {
    unsigned long type = 0;
    std::string data; // a DWORD in decimal, a text in UTF-8
    bool operator==(const RawValue&) const = default;
};

std::string ThisProgramPath();
// A value under HKEY_CURRENT_USER; type 0 when it is not there.
RawValue ReadUserValue(const std::string& key, const std::string& name);
void DeleteUserKey(const std::string& key);
// Runs reg.exe with these arguments and waits; its exit code, -1 when it did not start.
int RunReg(const std::string& arguments);
