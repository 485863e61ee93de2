// A stand-in for the system's RASDLG.DLL: RasDialDlgA answers what the test chose and records
// what it was given, field by field, in the system's own record layout.
#include <windows.h>

#include <rasdlg.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
std::string g_calls;
BOOL g_result = TRUE;

std::string Text(const char* s) {
    return s ? "'" + std::string(s) + "'" : "null";
}

} // namespace

extern "C" {

__declspec(dllexport) void FakeRasDlgReset(int result) {
    std::lock_guard lock(g_mutex);
    g_calls.clear();
    g_result = result;
}

__declspec(dllexport) std::size_t FakeRasDlgCalls(char* out, std::size_t capacity) {
    std::lock_guard lock(g_mutex);
    if (out && capacity > g_calls.size())
        std::memcpy(out, g_calls.c_str(), g_calls.size() + 1);
    return g_calls.size();
}

__declspec(dllexport) BOOL WINAPI
    RasDialDlgA(LPSTR phonebook, LPSTR entry, LPSTR phoneNumber, LPRASDIALDLG info) {
    std::lock_guard lock(g_mutex);
    if (!info) {
        g_calls += "dial without record\n";
        return FALSE;
    }
    g_calls += "dial phonebook=" + Text(phonebook) + " entry=" + Text(entry) +
               " phone=" + Text(phoneNumber) + " dwSize=" + std::to_string(info->dwSize) +
               " owner=" + std::to_string(reinterpret_cast<std::uintptr_t>(info->hwndOwner)) +
               " flags=" + std::to_string(info->dwFlags) +
               " subentry=" + std::to_string(info->dwSubEntry) +
               " reserved=" + std::to_string(info->reserved) + "," +
               std::to_string(info->reserved2) + "\n";
    // The system checks the record's size before anything else.
    if (info->dwSize != sizeof(RASDIALDLG))
        return FALSE;
    return g_result;
}

} // extern "C"
