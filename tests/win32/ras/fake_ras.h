// The test's side of the stand-in RASAPI32.DLL and RASDLG.DLL: their extra exports, reached in
// the modules the program loaded.
#pragma once

#include "platform/text_win32.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// 412 bytes on 32-bit Windows; the handle grows by 4 on 64-bit, at 4-byte packing.
constexpr unsigned kRasConnSize = sizeof(void*) == 4 ? 412 : 416;
constexpr unsigned kRasDialDlgSize = sizeof(void*) == 4 ? 36 : 48;

// Whether the library of that name is loaded, and whether it is the stand-in.
bool IsLoaded(const char* library);
bool IsStandIn(const char* library);
// Loads it as the program does.
bool Load(const char* library);

class FakeRas {
public:
    // False when the modules loaded are not the stand-ins (the system's, or none).
    bool Attach();
    bool HasDialog() const { return m_dlgReset && m_dlgCalls; }

    void Reset(int dialResult = 1) {
        m_reset();
        if (HasDialog())
            m_dlgReset(dialResult);
    }
    // Listed from the fromCall-th enumeration on (1: from the first).
    void List(std::uintptr_t handle, const std::string& utf8Name, int fromCall = 1) {
        m_list(handle, AnsiFromUtf8(utf8Name).c_str(), fromCall);
    }
    void HangUpLeavesListed() { m_removes(0); }
    Lines Calls() const { return Split(Copy(m_calls)); }
    Lines DialCalls() const { return Split(Copy(m_dlgCalls)); }

private:
    static std::string Copy(std::size_t (*fn)(char*, std::size_t)) {
        for (;;) { // the program may log meanwhile: until the copy fits
            std::string text(fn(nullptr, 0) + 256, '\0');
            const std::size_t n = fn(text.data(), text.size());
            if (n < text.size())
                return text.substr(0, n);
        }
    }
    static Lines Split(const std::string& text) {
        Lines lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    void (*m_reset)() = nullptr;
    void (*m_list)(std::uintptr_t, const char*, int) = nullptr;
    void (*m_removes)(int) = nullptr;
    std::size_t (*m_calls)(char*, std::size_t) = nullptr;
    void (*m_dlgReset)(int) = nullptr;
    std::size_t (*m_dlgCalls)(char*, std::size_t) = nullptr;
};

inline std::string EnumCall(unsigned size) {
    return "enum size=" + std::to_string(size) + " dwSize=" + std::to_string(kRasConnSize);
}
