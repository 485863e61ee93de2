// The recorded link tests as a window of the system's own: a list view and the button that
// saves the chosen test as CSV. There is no plot preview here, and no PDF.
#pragma once

#include "platform/protocol_view.h"

#include <cstdint>

class ProtocolWindow {
public:
    ProtocolWindow(std::uintptr_t owner, IProtocolActions& actions);
    ~ProtocolWindow();
    ProtocolWindow(const ProtocolWindow&) = delete;
    ProtocolWindow& operator=(const ProtocolWindow&) = delete;

    // False once the user has closed it.
    bool Open() const { return m_hwnd != 0; }
    std::uintptr_t Handle() const { return m_hwnd; }
    void SetView(const ProtocolView& view);
    void Raise();

    // The window procedure's side; in protocol_window.cpp.
    struct Proc;

private:
    void Layout();
    int Selected() const;

    IProtocolActions& m_actions;
    std::uintptr_t m_hwnd = 0;
    std::uintptr_t m_list = 0;
    std::uintptr_t m_saveCsv = 0;
    std::uintptr_t m_close = 0;
};

// One line of text asked in a small modal dialog over owner; false when cancelled.
bool AskTextWin32(std::uintptr_t owner, const std::string& title, const std::string& prompt,
                  std::string& answer);
