// Counting checks, and waiting for windows while the UI thread keeps running.
#pragma once

#include "platform/dialog_types.h"

#include <functional>
#include <string>

#include "platform/windows_api.h"

void Check(bool ok, const std::string& what);
void CheckText(const std::wstring& actual, const std::wstring& expected, const std::string& what);
void CheckInt(long long actual, long long expected, const std::string& what);
int Failures();
int Passed();

std::string Narrow(const std::wstring& text);
std::wstring TextOf(HWND hwnd);
std::wstring ClassOf(HWND hwnd);

// A visible top-level window of this thread with that title, nullptr when there is none.
HWND FindOwnWindow(const std::wstring& title);
// Runs fn from the UI thread's message loop, whichever loop that is, once ready() holds; a
// failed check named what after timeoutMs.
void When(std::function<bool()> ready, std::function<void()> fn, const std::string& what,
          unsigned timeoutMs = 10000);
// Runs fn(window) from the UI thread's message loop, whichever loop that is (a modal dialog's,
// a message box's), once the window with that title has opened; a failed check after timeoutMs.
void WhenWindowOpens(const std::wstring& title, std::function<void(HWND)> fn,
                     unsigned timeoutMs = 10000);
// Runs the UI thread's messages, as a dialog's loop does for dlg, until done() or the time is up.
bool PumpUntil(HWND dlg, const std::function<bool()>& done, unsigned timeoutMs = 10000);
// Lets a person or a script look: with QM_HOST_TEST_PAUSE=ms set, prints "shot NAME" and keeps
// the windows running that long.
void PauseForScreenshot(HWND dlg, const char* name);

// Registry values below HKEY_CURRENT_USER\Software\Talvenmark\<app>\<section>.
void DeleteAppKey(const std::wstring& app);
void SetRegString(const std::wstring& app, const std::wstring& section, const std::wstring& name,
                  const std::wstring& value);
bool ReadRegDword(const std::wstring& app, const std::wstring& section, const std::wstring& name,
                  DWORD& value);
bool ReadRegString(const std::wstring& app, const std::wstring& section, const std::wstring& name,
                   std::wstring& value);
