#include "checks.h"

#include "platform/text_win32.h"

#include <cstdio>
#include <cstdlib>
#include <deque>

namespace {

int g_failures = 0;
int g_passed = 0;

struct Watch {
    std::function<bool()> ready;
    std::function<void()> fn;
    ULONGLONG deadline;
    std::string what;
};
std::deque<Watch> g_watches;
UINT_PTR g_timer = 0;

void CALLBACK OnWatchTimer(HWND, UINT, UINT_PTR, DWORD) {
    // fn may open a nested loop that runs this timer again: take the watch out first.
    for (size_t i = 0; i < g_watches.size(); ++i) {
        if (g_watches[i].ready()) {
            Watch w = std::move(g_watches[i]);
            g_watches.erase(g_watches.begin() + static_cast<long>(i));
            w.fn();
            return;
        }
        if (::GetTickCount64() > g_watches[i].deadline) {
            Check(false, g_watches[i].what);
            g_watches.erase(g_watches.begin() + static_cast<long>(i));
            return;
        }
    }
}

std::wstring KeyPath(const std::wstring& app, const std::wstring& section) {
    std::wstring path = L"Software\\Talvenmark\\" + app;
    return section.empty() ? path : path + L"\\" + section;
}

} // namespace

void Check(bool ok, const std::string& what) {
    if (ok) {
        ++g_passed;
        return;
    }
    ++g_failures;
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
}

void CheckText(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
    Check(actual == expected,
          what + ": \"" + Narrow(actual) + "\", expected \"" + Narrow(expected) + "\"");
}

void CheckInt(long long actual, long long expected, const std::string& what) {
    Check(actual == expected,
          what + ": " + std::to_string(actual) + ", expected " + std::to_string(expected));
}

int Failures() {
    return g_failures;
}
int Passed() {
    return g_passed;
}

std::string Narrow(const std::wstring& text) {
    return Utf8FromWide(text);
}

std::wstring TextOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(hwnd, buffer, 1024);
    return buffer;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buffer[256] = {};
    ::GetClassNameW(hwnd, buffer, 256);
    return buffer;
}

HWND FindOwnWindow(const std::wstring& title) {
    struct Search {
        const std::wstring* title;
        HWND found;
    } search{&title, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            if (::IsWindowVisible(hwnd) && TextOf(hwnd) == *s->title) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void When(std::function<bool()> ready, std::function<void()> fn, const std::string& what,
          unsigned timeoutMs) {
    if (!g_timer)
        g_timer = ::SetTimer(nullptr, 0, 30, &OnWatchTimer);
    g_watches.push_back({std::move(ready), std::move(fn), ::GetTickCount64() + timeoutMs, what});
}

void WhenWindowOpens(const std::wstring& title, std::function<void(HWND)> fn, unsigned timeoutMs) {
    When([title] { return FindOwnWindow(title) != nullptr; },
         [title, fn] { fn(FindOwnWindow(title)); }, "window \"" + Narrow(title) + "\" opens",
         timeoutMs);
}

bool PumpUntil(HWND dlg, const std::function<bool()>& done, unsigned timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() > deadline)
            return false;
        MSG msg;
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        if (!dlg || !::IsDialogMessageW(dlg, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

void PauseForScreenshot(HWND dlg, const char* name) {
    const char* pause = std::getenv("QM_HOST_TEST_PAUSE");
    if (!pause || !*pause)
        return;
    std::printf("shot %s\n", name);
    std::fflush(stdout);
    const ULONGLONG end = ::GetTickCount64() + std::strtoul(pause, nullptr, 10);
    PumpUntil(
        dlg, [&] { return ::GetTickCount64() > end; }, 60000);
}

void DeleteAppKey(const std::wstring& app) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, KeyPath(app, L"").c_str());
}

void SetRegString(const std::wstring& app, const std::wstring& section, const std::wstring& name,
                  const std::wstring& value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(app, section).c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        Check(false, "registry key for " + Narrow(section) + " can be made");
        return;
    }
    ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

bool ReadRegDword(const std::wstring& app, const std::wstring& section, const std::wstring& name,
                  DWORD& value) {
    DWORD size = sizeof value;
    return ::RegGetValueW(HKEY_CURRENT_USER, KeyPath(app, section).c_str(), name.c_str(),
                          RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS;
}

bool ReadRegString(const std::wstring& app, const std::wstring& section, const std::wstring& name,
                   std::wstring& value) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_CURRENT_USER, KeyPath(app, section).c_str(), name.c_str(),
                       RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}
