// The alignment readout as a window of the system's own, drawn with GDI into a bitmap first so
// that a cycle's repaint does not flicker; F11 makes it fill the screen.
#pragma once

#include "platform/readout_picture.h"

#include <cstdint>

class ReadoutWindow {
public:
    ReadoutWindow(std::uintptr_t owner, ReadoutPicture picture);
    ~ReadoutWindow();
    ReadoutWindow(const ReadoutWindow&) = delete;
    ReadoutWindow& operator=(const ReadoutWindow&) = delete;

    // False once the user has closed it.
    bool Open() const { return m_hwnd != 0; }
    void SetPicture(ReadoutPicture picture);
    void Raise();

    // The window procedure's side; in readout_window.cpp.
    struct Proc;

private:
    void ToggleFullScreen();

    std::uintptr_t m_hwnd = 0;
    ReadoutPicture m_picture;
    bool m_fullScreen = false;
    long m_normal[4] = {}; // the window's rectangle before full screen
};
