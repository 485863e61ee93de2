#include "platform/win32/readout_window.h"

#include "platform/diagnostics.h"
#include "platform/text_win32.h"

#include <algorithm>
#include <vector>

#include "platform/windows_api.h"

namespace {

constexpr const wchar_t* kClass = L"QuillmereReadout";
const COLORREF kGood = RGB(0x1b, 0x7f, 0x3b);
const COLORREF kBad = RGB(0xc6, 0x28, 0x28);

HWND H(std::uintptr_t hwnd) {
    return reinterpret_cast<HWND>(hwnd);
}

HFONT Font(int height, bool bold) {
    return ::CreateFontW(-std::max(8, height), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                         FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Tahoma");
}

void Text(HDC dc, RECT box, int height, bool bold, const std::string& text, COLORREF colour) {
    std::wstring wide = WideFromUtf8(text);
    HFONT font = Font(height, bold);
    HGDIOBJ old = ::SelectObject(dc, font);
    // "100 %" in a narrow window: smaller rather than cut off.
    SIZE extent{};
    const int room = (box.right - box.left) * 94 / 100;
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    if (extent.cx > room) {
        ::SelectObject(dc, old);
        ::DeleteObject(font);
        font = Font(::MulDiv(height, room, extent.cx), bold);
        old = ::SelectObject(dc, font);
    }
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &box,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
}

void Draw(HDC dc, const RECT& rc, const ReadoutPicture& p) {
    const int w = rc.right, h = rc.bottom;
    ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
    ::SetBkMode(dc, TRANSPARENT);
    const COLORREF ink = ::GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF colour = p.verdict == ReadoutPicture::Verdict::Good  ? kGood
                            : p.verdict == ReadoutPicture::Verdict::Bad ? kBad
                                                                        : ink;
    Text(dc, {0, 0, w, h * 40 / 100}, std::min(h * 34 / 100, w * 30 / 100), true, p.value, colour);
    Text(dc, {0, h * 38 / 100, w, h * 48 / 100}, std::min(h * 8 / 100, w * 8 / 100), true,
         p.verdictText, colour);
    Text(dc, {0, h * 48 / 100, w, h * 56 / 100}, std::min(h * 55 / 1000, w * 55 / 1000), false,
         p.peak, ink);

    const int margin = std::max(8, w * 3 / 100);
    const RECT plot{margin, h * 59 / 100, w - margin, h - margin};
    ::FrameRect(dc, &plot, ::GetSysColorBrush(COLOR_BTNSHADOW));
    auto at = [&](float x, float y) {
        return POINT{plot.left + static_cast<LONG>(std::max(0.0f, x) * (plot.right - plot.left)),
                     plot.bottom - static_cast<LONG>(y * (plot.bottom - plot.top))};
    };
    HPEN dash = ::CreatePen(PS_DASH, 1, ink);
    HGDIOBJ old = ::SelectObject(dc, dash);
    const POINT t0 = at(0, p.threshold), t1 = at(1, p.threshold);
    ::MoveToEx(dc, t0.x, t0.y, nullptr);
    ::LineTo(dc, t1.x, t1.y);
    std::vector<POINT> line;
    for (const auto& [x, y] : p.points)
        line.push_back(at(x, y));
    HPEN pen = ::CreatePen(PS_SOLID, std::max(2, h / 200), colour);
    ::SelectObject(dc, pen);
    if (line.size() > 1)
        ::Polyline(dc, line.data(), static_cast<int>(line.size()));
    ::SelectObject(dc, old);
    ::DeleteObject(dash);
    ::DeleteObject(pen);
}

} // namespace

struct ReadoutWindow::Proc {
    static LRESULT CALLBACK Run(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<ReadoutWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (msg) {
        case WM_ERASEBKGND:
            return 1; // the paint covers everything
        case WM_SIZE:
            ::InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            RECT rc;
            ::GetClientRect(hwnd, &rc);
            HDC memory = ::CreateCompatibleDC(dc);
            HBITMAP bitmap = ::CreateCompatibleBitmap(dc, rc.right, rc.bottom);
            HGDIOBJ old = ::SelectObject(memory, bitmap);
            if (self)
                Draw(memory, rc, self->m_picture);
            ::BitBlt(dc, 0, 0, rc.right, rc.bottom, memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, old);
            ::DeleteObject(bitmap);
            ::DeleteDC(memory);
            ::EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_KEYDOWN:
            if (self && wParam == VK_F11) {
                self->ToggleFullScreen();
                return 0;
            }
            if (self && wParam == VK_ESCAPE) {
                if (self->m_fullScreen)
                    self->ToggleFullScreen();
                else
                    ::DestroyWindow(hwnd);
                return 0;
            }
            break;
        case WM_NCDESTROY:
            if (self)
                self->m_hwnd = 0;
            break;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

ReadoutWindow::ReadoutWindow(std::uintptr_t owner, ReadoutPicture picture)
    : m_picture(std::move(picture)) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &Proc::Run;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc); // fails harmlessly when already registered
    // The first size in the screen's own pixels: the program is DPI-aware.
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    HWND hwnd = ::CreateWindowExW(0, kClass, WideFromUtf8(m_picture.title).c_str(),
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  ::MulDiv(480, dpi, 96), ::MulDiv(420, dpi, 96), H(owner), nullptr,
                                  wc.hInstance, this);
    if (!hwnd) {
        DiagnoseFormat("Quillmere: CreateWindowExW (readout): %s",
                       SystemErrorText(::GetLastError()).c_str());
        return;
    }
    // The main dialog's icons, for the task bar and the caption.
    for (WPARAM kind : {ICON_BIG, ICON_SMALL})
        ::SendMessageW(hwnd, WM_SETICON, kind, ::SendMessageW(H(owner), WM_GETICON, kind, 0));
    m_hwnd = reinterpret_cast<std::uintptr_t>(hwnd);
}

ReadoutWindow::~ReadoutWindow() {
    if (m_hwnd)
        ::DestroyWindow(H(m_hwnd));
}

void ReadoutWindow::SetPicture(ReadoutPicture picture) {
    if (picture == m_picture)
        return;
    m_picture = std::move(picture);
    if (m_hwnd)
        ::InvalidateRect(H(m_hwnd), nullptr, FALSE);
}

void ReadoutWindow::Raise() {
    if (m_hwnd)
        ::SetForegroundWindow(H(m_hwnd));
}

void ReadoutWindow::ToggleFullScreen() {
    HWND hwnd = H(m_hwnd);
    if (!m_fullScreen) {
        RECT r;
        ::GetWindowRect(hwnd, &r);
        m_normal[0] = r.left, m_normal[1] = r.top, m_normal[2] = r.right, m_normal[3] = r.bottom;
        MONITORINFO mi{sizeof mi, {}, {}, 0};
        ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi);
        ::SetWindowLongPtrW(hwnd, GWL_STYLE, WS_POPUP | WS_VISIBLE);
        ::SetWindowPos(hwnd, HWND_TOP, mi.rcMonitor.left, mi.rcMonitor.top,
                       mi.rcMonitor.right - mi.rcMonitor.left,
                       mi.rcMonitor.bottom - mi.rcMonitor.top, SWP_FRAMECHANGED);
    } else {
        ::SetWindowLongPtrW(hwnd, GWL_STYLE, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        ::SetWindowPos(hwnd, nullptr, m_normal[0], m_normal[1], m_normal[2] - m_normal[0],
                       m_normal[3] - m_normal[1], SWP_FRAMECHANGED | SWP_NOZORDER);
    }
    m_fullScreen = !m_fullScreen;
}
