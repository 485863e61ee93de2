// Quillmere.exe started as a user or a script starts it: a copy under a name of its own, so that
// its settings are its own too.
#include "platform/text_win32.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "checks.h"

namespace {

const std::wstring kApp = L"QuillmereHostTest";

class Process {
public:
    Process(const std::wstring& exe, const std::wstring& args) {
        std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        m_started = ::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &si, &m_pi);
    }
    ~Process() {
        if (!m_started)
            return;
        if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_pi.hProcess, 99);
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return m_started; }
    // The exit code, or -1 when it is still running after timeoutMs.
    long long Wait(unsigned timeoutMs) {
        if (!m_started || ::WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(m_pi.hProcess, &code);
        return code;
    }
    // Its visible top-level window with that title, waiting up to timeoutMs for it.
    HWND WaitForWindow(const std::wstring& title, unsigned timeoutMs) {
        struct Search {
            DWORD pid;
            const std::wstring* title;
            HWND found;
        } search{m_pi.dwProcessId, &title, nullptr};
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (!search.found && ::GetTickCount64() < deadline) {
            ::EnumWindows(
                [](HWND hwnd, LPARAM lParam) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(lParam);
                    DWORD pid = 0;
                    ::GetWindowThreadProcessId(hwnd, &pid);
                    if (pid == s->pid && ::IsWindowVisible(hwnd) && TextOf(hwnd) == *s->title)
                        s->found = hwnd;
                    return !s->found;
                },
                reinterpret_cast<LPARAM>(&search));
            if (!search.found)
                ::Sleep(50);
        }
        return search.found;
    }

private:
    BOOL m_started = FALSE;
    PROCESS_INFORMATION m_pi{};
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

void CheckQuillmereStarts(const std::wstring& exe) {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::filesystem::path dir = std::filesystem::path(temp) / L"quillmere-host-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::filesystem::path copy = dir / (kApp + L".exe");
    Check(::CopyFileW(exe.c_str(), copy.c_str(), FALSE), "copy of Quillmere.exe");
    const std::wstring dialLog = (dir / L"dial.log").wstring();
    const std::wstring portLog = (dir / L"port.log").wstring();

    // "/d": hangs up the named connection and ends with 0, without showing the dialog.
    DeleteAppKey(kApp);
    SetRegString(kApp, L"Dialup", L"Service", L"sim:active=Mast,log=" + dialLog);
    SetRegString(kApp, L"Settings", L"RAS Link Name", L"Mast");
    {
        Process hangUp(copy, L"/d");
        Check(hangUp.Started(), "\"/d\" start");
        CheckInt(hangUp.Wait(30000), 0, "\"/d\" exit code");
        Check(Contains(ReadFile(dialLog), "hangup Mast"), "\"/d\" hung up: " + ReadFile(dialLog));
    }

    // A normal start whose port is not there: the dialog opens; the close box ends it with 0.
    DeleteAppKey(kApp);
    SetRegString(kApp, L"Ports", L"COM1", L"sim:power=yes");
    {
        Process manual(copy, L"");
        HWND dlg = manual.WaitForWindow(L"Quillmere", 30000);
        Check(dlg != nullptr, "main dialog of a normal start");
        if (dlg) {
            CheckText(ClassOf(dlg), L"#32770", "a system dialog");
            ::PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        CheckInt(manual.Wait(15000), 0, "exit code after the close box");
    }

    // The automatic sequence against the simulators: configure, test the link, dial, exit 0.
    DeleteAppKey(kApp);
    std::filesystem::remove(dialLog);
    SetRegString(kApp, L"Ports", L"COM1", L"sim:log=" + portLog);
    SetRegString(kApp, L"Dialup", L"Service", L"sim:entries=Mast,log=" + dialLog);
    SetRegString(kApp, L"Settings", L"RAS Link Name", L"Mast");
    {
        Process automatic(copy, L"");
        CheckInt(automatic.Wait(60000), 0, "exit code of the automatic sequence");
        const std::string port = ReadFile(portLog);
        Check(Contains(port, "cts on") && Contains(port, "speed 9600") &&
                  Contains(port, "speed 115200"),
              "transceiver configured and tested: " + port.substr(0, 200));
        Check(Contains(ReadFile(dialLog), "dial Mast ok"), "dialled: " + ReadFile(dialLog));
    }
    DeleteAppKey(kApp);
    std::filesystem::remove_all(dir);
}
