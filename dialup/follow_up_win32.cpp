#include "dialup/follow_up.h"

#include "platform/diagnostics.h"
#include "platform/text_win32.h"

#include <memory>

#include "platform/windows_api.h"

namespace {

static_assert(sizeof(STARTUPINFOA) == (sizeof(void*) == 4 ? 68 : 104));

// INVALID_FILE_ATTRIBUTES, which spells the system's DWORD.
constexpr DWORD kNoFile = static_cast<DWORD>(-1);

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// A path with blanks picked in the file chooser lands in the text unquoted; the system would try
// "C:\Program.exe" before "C:\Program Files\...". Such a text, when it names a file as a whole,
// is passed quoted; any other text passes as it is.
std::string CommandLineFor(const std::string& text) {
    const std::string ansi = AnsiFromUtf8(text);
    if (text.empty() || text.front() == '"' || text.find_first_of(" \t") == std::string::npos)
        return ansi;
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(text).c_str());
    if (attributes == kNoFile || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ansi;
    return '"' + ansi + '"';
}

} // namespace

std::string CommandLineForFile(const std::string& path) {
    return path;
}

std::string FileOfCommandLine(const std::string& commandLine) {
    return commandLine;
}

bool StartFollowUpProgram(const std::string& commandLine, bool hidden) {
    // The system would read the text only up to a NUL and start something other than it says.
    if (commandLine.find('\0') != std::string::npos) {
        Diagnose("Quillmere: the command line holds a NUL; nothing started");
        return false;
    }
    std::string line = CommandLineFor(commandLine);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
        DiagnoseFormat("Quillmere: cannot start '%s': %s", commandLine.c_str(),
                       SystemErrorText(::GetLastError()).c_str());
        return false;
    }
    // Nothing waits for the program; its handles are not needed.
    OwnedHandle process(started.hProcess);
    OwnedHandle thread(started.hThread);
    return true;
}
