#include "platform/win32/win32_host.h"

#include "platform/diagnostics.h"
#include "platform/dialog.h"
#include "platform/text_win32.h"
#include "platform/win32/dialog_resource.h"
#include "platform/win32/protocol_window.h"
#include "platform/win32/readout_window.h"
#include "platform/win32/wave_out_tone.h"

#include <algorithm>
#include <map>
#include <type_traits>
#include <utility>

#include "platform/windows_api.h"

namespace {

constexpr UINT kRunQueued = WM_APP + 1;
constexpr const wchar_t* kWindowProperty = L"Quillmere.Window";

struct IconDeleter {
    void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

HINSTANCE Module() {
    return ::GetModuleHandleW(nullptr);
}

void ReportFailure(const char* what) {
    DiagnoseFormat("Quillmere: %s: %s", what, SystemErrorText(::GetLastError()).c_str());
}

std::wstring WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

// Where the framework puts a dialog that names no position: over its owner, or in the middle of
// the screen's work area, and never off it.
void Centre(HWND hwnd, HWND owner) {
    RECT dialog{};
    ::GetWindowRect(hwnd, &dialog);
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT centre = area;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &centre);
    const int width = dialog.right - dialog.left, height = dialog.bottom - dialog.top;
    int x = (centre.left + centre.right - width) / 2;
    int y = (centre.top + centre.bottom - height) / 2;
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
    ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A progress bar that draws its mark (the threshold line) over what it paints itself.
constexpr UINT_PTR kMarkSubclass = 1;
// A static control does not own the bitmap it shows: its last one goes with the control.
constexpr UINT_PTR kImageSubclass = 2;
LRESULT CALLBACK OwnedImageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, OwnedImageProc, kImageSubclass);
        if (auto image =
                reinterpret_cast<HBITMAP>(::SendMessageW(hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0)))
            ::DeleteObject(image);
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}
LRESULT CALLBACK MarkedBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                               DWORD_PTR mark) {
    if (msg == WM_NCDESTROY)
        ::RemoveWindowSubclass(hwnd, MarkedBarProc, kMarkSubclass);
    const LRESULT result = ::DefSubclassProc(hwnd, msg, wp, lp);
    if (msg != WM_PAINT)
        return result;
    PBRANGE range{};
    ::SendMessageW(hwnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    const int value = static_cast<int>(mark);
    if (value <= range.iLow || value >= range.iHigh)
        return result;
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    HDC dc = ::GetDC(hwnd);
    const int width = std::max(1, ::GetDeviceCaps(dc, LOGPIXELSX) / 48); // 2 at 96 dpi
    const int x =
        rc.left + 1 + MulDiv(value - range.iLow, rc.right - rc.left - 2, range.iHigh - range.iLow);
    HPEN pen = ::CreatePen(PS_SOLID, width, ::GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ old = ::SelectObject(dc, pen);
    ::MoveToEx(dc, x, rc.top, nullptr);
    ::LineTo(dc, x, rc.bottom);
    ::SelectObject(dc, old);
    ::DeleteObject(pen);
    ::ReleaseDC(hwnd, dc);
    return result;
}

// A progress bar's class asks for no double-clicks: two clicks within the system's time are one.
constexpr UINT_PTR kClickSubclass = 2;
constexpr const wchar_t* kLastClick = L"Quillmere.LastClick";
LRESULT CALLBACK DoubleClickProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                 DWORD_PTR command) {
    if (msg == WM_NCDESTROY) {
        ::RemovePropW(hwnd, kLastClick);
        ::RemoveWindowSubclass(hwnd, DoubleClickProc, kClickSubclass);
    } else if (msg == WM_LBUTTONDOWN) {
        const auto now = static_cast<DWORD>(::GetMessageTime());
        const auto last =
            static_cast<DWORD>(reinterpret_cast<UINT_PTR>(::GetPropW(hwnd, kLastClick)));
        if (last && now - last <= ::GetDoubleClickTime()) {
            ::RemovePropW(hwnd, kLastClick);
            ::PostMessageW(::GetAncestor(hwnd, GA_ROOT), WM_SYSCOMMAND, command, 0);
        } else {
            ::SetPropW(hwnd, kLastClick, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(now | 1)));
        }
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

} // namespace

// --- the queue: a message-only window on the UI thread ---------------------------------------

struct Win32Host::Queue {
    Queue() : threadId(::GetCurrentThreadId()) {
        static const wchar_t* const kClass = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &Queue::Proc;
            wc.hInstance = Module();
            wc.lpszClassName = L"QuillmereUiQueue";
            if (!::RegisterClassW(&wc))
                ReportFailure("RegisterClassW");
            return L"QuillmereUiQueue";
        }();
        hwnd = ::CreateWindowExW(0, kClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Module(),
                                 nullptr);
        if (!hwnd)
            ReportFailure("CreateWindowExW (UI queue)");
        else
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Queue() {
        if (hwnd)
            ::DestroyWindow(hwnd);
    }
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    void Post(std::function<void()> fn) {
        {
            std::lock_guard lock(mutex);
            items.push_back(std::move(fn));
        }
        // One message per item; each takes the oldest item, so the order is the posting order
        // whichever loop (a dialog's, a message box's) delivers the message.
        if (!::PostMessageW(hwnd, kRunQueued, 0, 0))
            ReportFailure("PostMessageW (UI queue)");
    }

    void RunOne() {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex);
            if (items.empty())
                return;
            fn = std::move(items.front());
            items.pop_front();
        }
        fn();
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == kRunQueued) {
            if (auto* q = reinterpret_cast<Queue*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
                q->RunOne();
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    const DWORD threadId;
    HWND hwnd = nullptr;
    std::mutex mutex;
    std::deque<std::function<void()>> items;
};

// --- one open dialog -----------------------------------------------------------------------

struct Win32Host::Window {
    CDialog* dlg = nullptr;
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    HWND tooltip = nullptr; // owned by the dialog: it goes with it
    std::map<std::pair<int, bool>, IconHandle> icons;
    HICON bigIcon = nullptr;
    bool ended = false;
    int result = 0;
    // Painting, while OnPaint runs inside WM_PAINT.
    bool painting = false;
    bool defaultPaint = false;
    HDC dc = nullptr;
    PAINTSTRUCT ps{};

    HICON Icon(int id, bool big) {
        auto& slot = icons[{id, big}];
        if (!slot) {
            const int cx = ::GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
            const int cy = ::GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON);
            slot.reset(static_cast<HICON>(
                ::LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, 0)));
            if (!slot)
                ReportFailure("LoadImageW (icon)");
        }
        return slot.get();
    }

    HWND Item(int id) const { return hwnd ? ::GetDlgItem(hwnd, id) : nullptr; }

    // Ctrl+letter -> window-menu command. The dialog manager's own loop knows no accelerators:
    // a message filter of the thread sees the keys first.
    std::map<WPARAM, unsigned> shortcuts;
    struct Unhook {
        void operator()(HHOOK hook) const { ::UnhookWindowsHookEx(hook); }
    };
    std::unique_ptr<std::remove_pointer_t<HHOOK>, Unhook> shortcutHook;

    // Finds the window by a property, not DWLP_USER: the system's own dialogs use that.
    static LRESULT CALLBACK ShortcutFilter(int code, WPARAM wParam, LPARAM lParam) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (code == MSGF_DIALOGBOX && msg->message == WM_KEYDOWN && ::GetKeyState(VK_CONTROL) < 0) {
            HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
            if (auto* w = static_cast<Window*>(::GetPropW(root, kWindowProperty))) {
                const auto it = w->shortcuts.find(msg->wParam);
                if (it != w->shortcuts.end()) {
                    ::PostMessageW(root, WM_SYSCOMMAND, it->second, 0);
                    return TRUE;
                }
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    void BeginPaintOnce() {
        if (dc)
            return;
        dc = ::BeginPaint(hwnd, &ps);
        ::SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    }

    INT_PTR OnInitDialog() {
        for (const ControlTemplate& c : dlg->Template().controls) {
            if (c.kind != ControlKind::DropDownList && c.kind != ControlKind::DropDown)
                continue;
            for (const std::string& item : c.items)
                ::SendDlgItemMessageW(hwnd, c.id, CB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(WideFromUtf8(item).c_str()));
        }
        Centre(hwnd, owner);
        return dlg->OnInitDialog() ? TRUE : FALSE;
    }

    INT_PTR OnPaint() {
        painting = true;
        defaultPaint = false;
        dlg->OnPaint();
        painting = false;
        if (dc) {
            ::EndPaint(hwnd, &ps);
            dc = nullptr;
            return TRUE;
        }
        if (defaultPaint)
            return FALSE; // the dialog manager paints it
        PAINTSTRUCT nothing{};
        ::BeginPaint(hwnd, &nothing);
        ::EndPaint(hwnd, &nothing);
        return TRUE;
    }

    INT_PTR OnSysCommand(WPARAM command, LPARAM lParam) {
        const auto id = static_cast<UINT>(command);
        dlg->OnSysCommand(id, lParam);
        // The dialog has done what it does with its own commands and with closing; for the
        // system's other commands (move, the keyboard menu, ...) that was passing them on.
        const UINT masked = id & 0xFFF0;
        return masked < 0xF000 || masked == SC_CLOSE;
    }

    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_INITDIALOG) {
            auto* w = reinterpret_cast<Window*>(lParam);
            ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            ::SetPropW(hwnd, kWindowProperty, w);
            w->hwnd = hwnd;
            return w->OnInitDialog();
        }
        auto* w = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!w)
            return FALSE;
        switch (msg) {
        case WM_COMMAND:
            return w->dlg->OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
        case WM_SYSCOMMAND:
            return w->OnSysCommand(wParam, lParam);
        case WM_PAINT:
            return w->OnPaint();
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(w->bigIcon);
        case WM_HELP:
            w->dlg->OnHelp();
            return TRUE;
        case WM_NCDESTROY:
            ::RemovePropW(hwnd, kWindowProperty);
            return FALSE;
        }
        return FALSE;
    }
};

// --- host ----------------------------------------------------------------------------------

Win32Host::Win32Host(std::string appName, const IResourceProvider& resources)
    : m_appName(std::move(appName)), m_resources(resources), m_queue(std::make_unique<Queue>()) {}
Win32Host::~Win32Host() = default;

void Win32Host::Post(std::function<void()> fn) {
    m_queue->Post(std::move(fn));
}

bool Win32Host::IsUiThread() const {
    return ::GetCurrentThreadId() == m_queue->threadId;
}

Win32Host::Window* Win32Host::Find(const CDialog& dlg) const {
    for (Window* w : m_windows)
        if (w->dlg == &dlg && w->hwnd)
            return w;
    return nullptr;
}

std::uintptr_t Win32Host::WindowOf(const CDialog& dlg) const {
    Window* w = Find(dlg);
    return w ? reinterpret_cast<std::uintptr_t>(w->hwnd) : 0;
}

// A dialog without a parent is owned by the window the user is working in: the topmost one.
std::uintptr_t Win32Host::OwnerFor(CDialog* dlg) const {
    if (dlg)
        if (std::uintptr_t hwnd = WindowOf(*dlg))
            return hwnd;
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it)
        if ((*it)->hwnd)
            return reinterpret_cast<std::uintptr_t>((*it)->hwnd);
    return 0;
}

int Win32Host::RunModal(CDialog& dlg) {
    auto window = std::make_unique<Window>();
    window->dlg = &dlg;
    window->owner = reinterpret_cast<HWND>(OwnerFor(dlg.Parent()));
    const std::vector<std::uint16_t> resource = BuildDialogResource(dlg.Template(), m_resources);

    // On the modal stack however the run ends.
    struct StackEntry {
        std::vector<Window*>& stack;
        Window* w;
        ~StackEntry() { std::erase(stack, w); }
    } entry{m_windows, window.get()};
    m_windows.push_back(window.get());

    const INT_PTR rc = ::DialogBoxIndirectParamW(
        Module(), reinterpret_cast<LPCDLGTEMPLATEW>(resource.data()), window->owner, &Window::Proc,
        reinterpret_cast<LPARAM>(window.get()));
    if (rc == -1 && !window->ended) {
        ReportFailure("DialogBoxIndirectParamW");
        return -1;
    }
    return window->result;
}

void Win32Host::EndModal(CDialog& dlg, int result) {
    Window* w = Find(dlg);
    if (!w)
        return;
    w->ended = true;
    w->result = result;
    ::EndDialog(w->hwnd, result);
}

// --- control operations ------------------------------------------------------------------

void Win32Host::EnableItem(CDialog& dlg, int id, bool enable) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    if (!item)
        return;
    // A disabled control keeps no focus: the keyboard would have nowhere to go.
    if (!enable && ::GetFocus() == item)
        ::SendMessageW(w->hwnd, WM_NEXTDLGCTL, 0, FALSE);
    ::EnableWindow(item, enable);
}

bool Win32Host::IsItemEnabled(CDialog& dlg, int id) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    return item && ::IsWindowEnabled(item);
}

void Win32Host::SetItemText(CDialog& dlg, int id, const std::string& text) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    if (!item)
        return;
    const std::wstring wide = WideFromUtf8(text);
    const ControlTemplate* c = dlg.Template().Find(id);
    if (c && c->kind == ControlKind::DropDownList) {
        // A drop-down list shows only its items: the text selects the item that has it.
        const auto index = ::SendMessageW(item, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(wide.c_str()));
        ::SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        return;
    }
    ::SetWindowTextW(item, wide.c_str()); // an edit box raises EN_CHANGE
}

std::string Win32Host::GetItemText(CDialog& dlg, int id) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    return item ? Utf8FromWide(WindowText(item)) : std::string();
}

void Win32Host::SetCheck(CDialog& dlg, int id, unsigned state) {
    if (Window* w = Find(dlg))
        ::SendDlgItemMessageW(w->hwnd, id, BM_SETCHECK, state, 0);
}

unsigned Win32Host::GetCheck(CDialog& dlg, int id) {
    Window* w = Find(dlg);
    return w ? static_cast<UINT>(::SendDlgItemMessageW(w->hwnd, id, BM_GETCHECK, 0, 0)) : 0;
}

void Win32Host::SetCurSel(CDialog& dlg, int id, int index) {
    if (Window* w = Find(dlg))
        ::SendDlgItemMessageW(w->hwnd, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32Host::GetCurSel(CDialog& dlg, int id) {
    Window* w = Find(dlg);
    return w ? static_cast<int>(::SendDlgItemMessageW(w->hwnd, id, CB_GETCURSEL, 0, 0)) : -1;
}

void Win32Host::ResetContent(CDialog& dlg, int id) {
    if (Window* w = Find(dlg))
        ::SendDlgItemMessageW(w->hwnd, id, CB_RESETCONTENT, 0, 0);
}

void Win32Host::AddString(CDialog& dlg, int id, const std::string& text) {
    if (Window* w = Find(dlg))
        ::SendDlgItemMessageW(w->hwnd, id, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}

void Win32Host::SetRange(CDialog& dlg, int id, int lower, int upper) {
    if (Window* w = Find(dlg))
        ::SendDlgItemMessageW(w->hwnd, id, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void Win32Host::SetPos(CDialog& dlg, int id, int pos) {
    if (Window* w = Find(dlg))
        ::SendDlgItemMessageW(w->hwnd, id, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32Host::SetMark(CDialog& dlg, int id, int pos) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    if (!item)
        return;
    if (!::SetWindowSubclass(item, MarkedBarProc, kMarkSubclass, static_cast<DWORD_PTR>(pos)))
        ReportFailure("SetWindowSubclass (progress mark)");
    ::InvalidateRect(item, nullptr, TRUE);
}

// A monochrome bitmap in the static control, whole pixels a module; the picture it gives back
// is deleted here, the last one when the control goes.
void Win32Host::SetImage(CDialog& dlg, int id, const MonoImage& image) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    if (!item || image.size == 0)
        return;
    constexpr int kQuiet = 4;
    const int modules = image.size + 2 * kQuiet;
    RECT rc{};
    ::GetClientRect(item, &rc);
    const int scale = std::max<int>(1, std::min(rc.right, rc.bottom) / modules);
    const int side = modules * scale;
    const int stride = (side + 15) / 16 * 2; // rows of whole words
    std::vector<BYTE> bits(std::size_t(stride) * std::size_t(side), 0xFF);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int mx = x / scale - kQuiet, my = y / scale - kQuiet;
            if (mx >= 0 && my >= 0 && mx < image.size && my < image.size && image.Dark(mx, my))
                bits[std::size_t(y) * std::size_t(stride) + std::size_t(x / 8)] &=
                    BYTE(~(0x80 >> (x % 8)));
        }
    HBITMAP bitmap = ::CreateBitmap(side, side, 1, 1, bits.data());
    if (!bitmap) {
        ReportFailure("CreateBitmap (image)");
        return;
    }
    const LONG_PTR style = ::GetWindowLongPtrW(item, GWL_STYLE);
    ::SetWindowLongPtrW(item, GWL_STYLE,
                        (style & ~LONG_PTR(SS_TYPEMASK)) | SS_BITMAP | SS_CENTERIMAGE);
    if (auto old = reinterpret_cast<HBITMAP>(
            ::SendMessageW(item, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap))))
        ::DeleteObject(old);
    ::SetWindowSubclass(item, OwnedImageProc, kImageSubclass, 0);
}

int Win32Host::GetPos(CDialog& dlg, int id) {
    Window* w = Find(dlg);
    return w ? static_cast<int>(::SendDlgItemMessageW(w->hwnd, id, PBM_GETPOS, 0, 0)) : 0;
}

void Win32Host::SetToolTip(CDialog& dlg, int id, const std::string& text) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    if (!item)
        return;
    if (!w->tooltip) {
        w->tooltip =
            ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, w->hwnd, nullptr, Module(), nullptr);
        if (!w->tooltip) {
            ReportFailure("CreateWindowExW (tooltip)");
            return;
        }
        ::SendMessageW(w->tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    // The tool is the control's rectangle on the dialog: a static text lets the mouse through
    // to the dialog, so the tooltip watches the dialog.
    std::wstring wide = WideFromUtf8(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = w->hwnd;
    tool.uId = static_cast<UINT_PTR>(id);
    ::SendMessageW(w->tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (wide.empty())
        return;
    ::GetWindowRect(item, &tool.rect);
    ::MapWindowPoints(nullptr, w->hwnd, reinterpret_cast<POINT*>(&tool.rect), 2);
    tool.lpszText = wide.data();
    if (!::SendMessageW(w->tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)))
        Diagnose("Quillmere: TTM_ADDTOOLW failed");
}

// --- window furniture ----------------------------------------------------------------------

bool Win32Host::HasSystemMenu(CDialog& dlg) {
    Window* w = Find(dlg);
    return w && ::GetSystemMenu(w->hwnd, FALSE) != nullptr;
}

void Win32Host::AppendSystemMenuSeparator(CDialog& dlg) {
    if (Window* w = Find(dlg))
        if (HMENU menu = ::GetSystemMenu(w->hwnd, FALSE))
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

void Win32Host::AppendSystemMenuItem(CDialog& dlg, unsigned command, const std::string& text) {
    if (Window* w = Find(dlg))
        if (HMENU menu = ::GetSystemMenu(w->hwnd, FALSE))
            ::AppendMenuW(menu, MF_STRING, command, WideFromUtf8(text).c_str());
}

void Win32Host::SetSystemMenuItemState(CDialog& dlg, unsigned command, bool checked, bool enabled,
                                       const std::string&) {
    // The system's menu shows no tooltips: the dialog gives the reason on the diagnostics.
    if (Window* w = Find(dlg))
        if (HMENU menu = ::GetSystemMenu(w->hwnd, FALSE)) {
            ::CheckMenuItem(menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
            ::EnableMenuItem(menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        }
}

void Win32Host::AddShortcut(CDialog& dlg, char ctrlLetter, unsigned command) {
    Window* w = Find(dlg);
    if (!w)
        return;
    w->shortcuts[static_cast<WPARAM>(ctrlLetter)] = command; // 'A'..'Z' are their virtual keys
    if (!w->shortcutHook) {
        w->shortcutHook.reset(::SetWindowsHookExW(WH_MSGFILTER, &Window::ShortcutFilter, nullptr,
                                                  ::GetCurrentThreadId()));
        if (!w->shortcutHook)
            ReportFailure("SetWindowsHookExW (shortcut)");
    }
}

std::string Win32Host::ToneUnavailable() {
    return Tone().Unavailable();
}

void Win32Host::SetTone(int hz, bool pulsed) {
    Tone().Set(hz, pulsed);
}

void Win32Host::ShowReadout(CDialog& owner, const ReadoutPicture& picture) {
    if (!IsReadoutShown())
        m_readout = std::make_unique<ReadoutWindow>(WindowOf(owner), picture);
    m_readout->SetPicture(picture);
    m_readout->Raise();
}

bool Win32Host::IsReadoutShown() {
    return m_readout && m_readout->Open();
}

void Win32Host::UpdateReadout(const ReadoutPicture& picture) {
    if (m_readout)
        m_readout->SetPicture(picture);
}

void Win32Host::CloseReadout() {
    m_readout.reset();
}

void Win32Host::ShowProtocol(CDialog& owner, const ProtocolView& view, IProtocolActions& actions) {
    if (!IsProtocolShown())
        m_protocol = std::make_unique<ProtocolWindow>(WindowOf(owner), actions);
    m_protocol->SetView(view);
    m_protocol->Raise();
}

bool Win32Host::IsProtocolShown() {
    return m_protocol && m_protocol->Open();
}

void Win32Host::CloseProtocol() {
    m_protocol.reset();
}

std::uintptr_t Win32Host::SaveOwnerFor(CDialog* dlg) const {
    return m_protocol && m_protocol->Open() ? m_protocol->Handle() : OwnerFor(dlg);
}

void Win32Host::SetDoubleClickCommand(CDialog& dlg, int id, unsigned command) {
    Window* w = Find(dlg);
    HWND item = w ? w->Item(id) : nullptr;
    if (item && !::SetWindowSubclass(item, DoubleClickProc, kClickSubclass, command))
        ReportFailure("SetWindowSubclass (double-click)");
}

WaveOutTone& Win32Host::Tone() {
    if (!m_tone)
        m_tone = std::make_unique<WaveOutTone>();
    return *m_tone;
}

void Win32Host::SetIcon(CDialog& dlg, int iconId, bool big) {
    Window* w = Find(dlg);
    if (!w)
        return;
    HICON icon = w->Icon(iconId, big);
    if (big)
        w->bigIcon = icon;
    ::SendMessageW(w->hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                   reinterpret_cast<LPARAM>(icon));
}

bool Win32Host::IsIconic(CDialog& dlg) {
    Window* w = Find(dlg);
    return w && ::IsIconic(w->hwnd);
}

CSize Win32Host::ClientSize(CDialog& dlg) {
    Window* w = Find(dlg);
    RECT rect{};
    if (!w || !::GetClientRect(w->hwnd, &rect))
        return {};
    return {rect.right - rect.left, rect.bottom - rect.top};
}

CSize Win32Host::IconSize() {
    return {::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)};
}

void Win32Host::DrawIcon(CDialog& dlg, int x, int y, int iconId) {
    Window* w = Find(dlg);
    if (!w || !w->painting)
        return;
    w->BeginPaintOnce();
    ::DrawIcon(w->dc, x, y, w->Icon(iconId, true));
}

void Win32Host::DefaultPaint(CDialog& dlg) {
    Window* w = Find(dlg);
    if (w && w->painting && !w->dc)
        w->defaultPaint = true;
}

// --- message box and file chooser ----------------------------------------------------------

int Win32Host::MessageBox(CDialog* owner, const std::string& text, unsigned type) {
    const std::wstring caption = WideFromUtf8(m_appName);
    return ::MessageBoxW(reinterpret_cast<HWND>(OwnerFor(owner)), WideFromUtf8(text).c_str(),
                         caption.c_str(), type);
}

std::optional<std::string> Win32Host::ChooseFile(CDialog* owner, const std::string& title,
                                                 const std::string& initialName) {
    const std::wstring wideTitle = WideFromUtf8(title);
    std::wstring initial = WideFromUtf8(initialName);
    std::replace(initial.begin(), initial.end(), L'/', L'\\');
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::wstring file(32768, L'\0');
        if (attempt == 0 && initial.size() < file.size())
            std::copy(initial.begin(), initial.end(), file.begin());
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = reinterpret_cast<HWND>(OwnerFor(owner));
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        ofn.lpstrTitle = wideTitle.c_str();
        // A name that does not exist yet may be typed in.
        ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
        if (::GetOpenFileNameW(&ofn))
            return Utf8FromWide(file.c_str());
        const DWORD error = ::CommDlgExtendedError();
        // The stored command line need not be a file name; then the chooser starts empty.
        if (error == FNERR_INVALIDFILENAME && attempt == 0)
            continue;
        if (error)
            DiagnoseFormat("Quillmere: GetOpenFileNameW failed: error 0x%lx",
                           static_cast<unsigned long>(error));
        return std::nullopt;
    }
    return std::nullopt;
}

// filter: "CSV-Dateien (*.csv)"; the pattern is what the brackets hold.
std::optional<std::string> Win32Host::ChooseSaveFile(CDialog* owner, const std::string& title,
                                                     const std::string& initialName,
                                                     const std::string& filter) {
    const std::wstring wideTitle = WideFromUtf8(title);
    const std::size_t open = filter.rfind('('), close = filter.rfind(')');
    const std::string pattern = open != std::string::npos && close > open
                                    ? filter.substr(open + 1, close - open - 1)
                                    : std::string("*.*");
    std::wstring filters = WideFromUtf8(filter) + L'\0' + WideFromUtf8(pattern) + L'\0';
    const std::wstring extension =
        WideFromUtf8(pattern.size() > 2 && pattern.starts_with("*.") ? pattern.substr(2) : "");
    std::wstring file(32768, L'\0');
    const std::wstring initial = WideFromUtf8(initialName);
    std::copy_n(initial.begin(), std::min(initial.size(), file.size() - 1), file.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = reinterpret_cast<HWND>(SaveOwnerFor(owner));
    ofn.lpstrFilter = filters.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = wideTitle.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // Without NOCHANGEDIR Windows makes the chosen folder the program's current one: it stays in
    // use while the program runs, and a follow-up given by a relative path would move with it.
    ofn.Flags =
        OFN_HIDEREADONLY | OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (::GetSaveFileNameW(&ofn))
        return Utf8FromWide(file.c_str());
    if (const DWORD error = ::CommDlgExtendedError())
        DiagnoseFormat("Quillmere: GetSaveFileNameW failed: error 0x%lx",
                       static_cast<unsigned long>(error));
    return std::nullopt;
}

std::optional<std::string> Win32Host::AskText(CDialog* owner, const std::string& title,
                                              const std::string& prompt) {
    std::string answer;
    if (!AskTextWin32(SaveOwnerFor(owner), title, prompt, answer))
        return std::nullopt;
    return answer;
}
