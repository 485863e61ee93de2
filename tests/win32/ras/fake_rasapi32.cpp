// A stand-in for the system's RASAPI32.DLL: a connection list the test sets through the extra
// Fake... exports, the system's answers to the enumeration (needed size, too-small buffer, record
// size check), and a log of every call. Built with FAKE_WITHOUT_HANGUP it lacks RasHangUpA.
#include <windows.h>

#include <ras.h>
#include <raserror.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The first published record: the system's own fields up to szDeviceName, at the 4-byte
// packing of its headers.
constexpr std::size_t kRecord = (offsetof(RASCONNA, szPhonebook) + 3) / 4 * 4;

struct Listed {
    std::uintptr_t handle;
    std::string name; // ANSI
    int fromCall;     // listed from this enumeration call on
};

std::mutex g_mutex; // the program calls from its UI thread, the test reads from its own
std::vector<Listed> g_listed;
std::string g_calls;
int g_enumCalls = 0;
bool g_hangUpRemoves = true;

void Log(const std::string& line) {
    g_calls += line + "\n";
}

} // namespace

extern "C" {

__declspec(dllexport) void FakeRasReset() {
    std::lock_guard lock(g_mutex);
    g_listed.clear();
    g_calls.clear();
    g_enumCalls = 0;
    g_hangUpRemoves = true;
}

__declspec(dllexport) void FakeRasList(std::uintptr_t handle, const char* ansiName, int fromCall) {
    std::lock_guard lock(g_mutex);
    g_listed.push_back({handle, ansiName, fromCall});
}

__declspec(dllexport) void FakeRasHangUpRemoves(int removes) {
    std::lock_guard lock(g_mutex);
    g_hangUpRemoves = removes != 0;
}

// The log so far, one call a line; copied out, as the program may be calling meanwhile.
__declspec(dllexport) std::size_t FakeRasCalls(char* out, std::size_t capacity) {
    std::lock_guard lock(g_mutex);
    if (out && capacity > g_calls.size())
        std::memcpy(out, g_calls.c_str(), g_calls.size() + 1);
    return g_calls.size();
}

__declspec(dllexport) DWORD WINAPI
    RasEnumConnectionsA(LPRASCONNA buffer, LPDWORD size, LPDWORD count) {
    std::lock_guard lock(g_mutex);
    ++g_enumCalls;
    if (!buffer || !size || !count) {
        Log("enum without buffer");
        return ERROR_INVALID_PARAMETER;
    }
    Log("enum size=" + std::to_string(*size) + " dwSize=" + std::to_string(buffer->dwSize));
    if (buffer->dwSize != kRecord)
        return ERROR_INVALID_SIZE;
    std::vector<const Listed*> active;
    for (const Listed& l : g_listed)
        if (l.fromCall <= g_enumCalls)
            active.push_back(&l);
    const DWORD needed = static_cast<DWORD>(active.size() * kRecord);
    if (*size < needed) {
        *size = needed;
        *count = 0;
        return ERROR_BUFFER_TOO_SMALL;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(buffer);
    for (std::size_t i = 0; i < active.size(); ++i) {
        unsigned char* record = bytes + i * kRecord;
        const DWORD dwSize = kRecord;
        const HRASCONN handle = reinterpret_cast<HRASCONN>(active[i]->handle);
        std::memcpy(record + offsetof(RASCONNA, dwSize), &dwSize, sizeof dwSize);
        std::memcpy(record + offsetof(RASCONNA, hrasconn), &handle, sizeof handle);
        char name[RAS_MaxEntryName + 1] = {};
        std::strncpy(name, active[i]->name.c_str(), RAS_MaxEntryName);
        std::memcpy(record + offsetof(RASCONNA, szEntryName), name, sizeof name);
    }
    *size = needed;
    *count = static_cast<DWORD>(active.size());
    return 0;
}

#ifndef FAKE_WITHOUT_HANGUP
__declspec(dllexport) DWORD WINAPI RasHangUpA(HRASCONN handle) {
    std::lock_guard lock(g_mutex);
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    Log("hangup " + std::to_string(value));
    if (g_hangUpRemoves)
        std::erase_if(g_listed, [&](const Listed& l) { return l.handle == value; });
    return 0;
}
#endif

} // extern "C"
