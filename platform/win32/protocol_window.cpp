#include "platform/win32/protocol_window.h"

#include "platform/diagnostics.h"
#include "platform/text_win32.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/windows_api.h"

#include <commctrl.h>

namespace {

constexpr const wchar_t* kClass = L"QuillmereProtocol";
constexpr int kListId = 100, kSaveCsvId = 101, kCloseId = 102;

HWND H(std::uintptr_t hwnd) {
    return reinterpret_cast<HWND>(hwnd);
}

std::uintptr_t U(HWND hwnd) {
    return reinterpret_cast<std::uintptr_t>(hwnd);
}

int Scaled(HWND hwnd, int pixels) {
    HDC dc = ::GetDC(hwnd);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc)
        ::ReleaseDC(hwnd, dc);
    return ::MulDiv(pixels, dpi, 96);
}

// The window is modeless under the main dialog's modal loop, which gives only its own dialog the
// dialog keys: each child passes Escape and Tab to the window itself.
LRESULT CALLBACK KeysProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_GETDLGCODE && lp) {
        const auto* key = reinterpret_cast<const MSG*>(lp);
        if (key->message == WM_KEYDOWN && (key->wParam == VK_ESCAPE || key->wParam == VK_TAB))
            return DLGC_WANTMESSAGE;
    }
    if (msg == WM_KEYDOWN && wp == VK_ESCAPE) {
        ::PostMessageW(::GetParent(hwnd), WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    if (msg == WM_KEYDOWN && wp == VK_TAB) {
        const bool back = ::GetKeyState(VK_SHIFT) < 0;
        ::SetFocus(::GetNextDlgTabItem(::GetParent(hwnd), hwnd, back));
        return 0;
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

HWND Child(HWND parent, const wchar_t* cls, DWORD style, int id) {
    HWND hwnd = ::CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0,
                                  0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   TRUE);
    ::SetWindowSubclass(hwnd, KeysProc, 1, 0);
    return hwnd;
}

} // namespace

struct ProtocolWindow::Proc {
    static LRESULT CALLBACK Run(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<ProtocolWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (msg) {
        case WM_SIZE:
            if (self)
                self->Layout();
            return 0;
        case WM_COMMAND:
            if (self && LOWORD(wParam) == kSaveCsvId && self->Selected() >= 0) {
                self->m_actions.SaveCsv(static_cast<std::size_t>(self->Selected()));
                return 0;
            }
            if (LOWORD(wParam) == kCloseId || LOWORD(wParam) == IDCANCEL) {
                ::DestroyWindow(hwnd);
                return 0;
            }
            break;
        case WM_NOTIFY:
            if (self && reinterpret_cast<NMHDR*>(lParam)->code == LVN_ITEMCHANGED)
                ::EnableWindow(H(self->m_saveCsv), self->Selected() >= 0);
            break;
        case WM_CLOSE:
            ::DestroyWindow(hwnd);
            return 0;
        case WM_NCDESTROY:
            if (self)
                self->m_hwnd = 0;
            break;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

ProtocolWindow::ProtocolWindow(std::uintptr_t owner, IProtocolActions& actions)
    : m_actions(actions) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Proc::Run;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc); // fails harmlessly when already registered
    HWND hwnd = ::CreateWindowExW(0, kClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  Scaled(nullptr, 640), Scaled(nullptr, 420), H(owner), nullptr,
                                  wc.hInstance, this);
    if (!hwnd) {
        DiagnoseFormat("Quillmere: CreateWindowExW (protocol): %s",
                       SystemErrorText(::GetLastError()).c_str());
        return;
    }
    m_hwnd = U(hwnd);
    m_list = U(Child(hwnd, WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER,
                     kListId));
    ListView_SetExtendedListViewStyle(H(m_list), LVS_EX_FULLROWSELECT);
    m_saveCsv = U(Child(hwnd, L"BUTTON", BS_PUSHBUTTON, kSaveCsvId));
    m_close = U(Child(hwnd, L"BUTTON", BS_PUSHBUTTON, kCloseId));
    for (WPARAM kind : {ICON_BIG, ICON_SMALL})
        ::SendMessageW(hwnd, WM_SETICON, kind, ::SendMessageW(H(owner), WM_GETICON, kind, 0));
    Layout();
    ::ShowWindow(hwnd, SW_SHOW);
}

ProtocolWindow::~ProtocolWindow() {
    if (m_hwnd)
        ::DestroyWindow(H(m_hwnd));
}

void ProtocolWindow::Layout() {
    if (!m_hwnd || !m_list)
        return;
    RECT rc;
    ::GetClientRect(H(m_hwnd), &rc);
    const int gap = Scaled(H(m_hwnd), 8), height = Scaled(H(m_hwnd), 26),
              width = Scaled(H(m_hwnd), 150);
    const int buttonsTop = rc.bottom - gap - height;
    ::MoveWindow(H(m_list), gap, gap, rc.right - 2 * gap, buttonsTop - 2 * gap, TRUE);
    ::MoveWindow(H(m_close), rc.right - gap - width, buttonsTop, width, height, TRUE);
    ::MoveWindow(H(m_saveCsv), rc.right - 2 * (gap + width), buttonsTop, width, height, TRUE);
}

int ProtocolWindow::Selected() const {
    return m_list ? ListView_GetNextItem(H(m_list), -1, LVNI_SELECTED) : -1;
}

void ProtocolWindow::SetView(const ProtocolView& view) {
    if (!m_hwnd)
        return;
    HWND list = H(m_list);
    ::SetWindowTextW(H(m_hwnd), WideFromUtf8(view.title).c_str());
    ::SetWindowTextW(H(m_saveCsv), WideFromUtf8(view.saveCsv).c_str());
    ::SetWindowTextW(H(m_close), WideFromUtf8(view.close).c_str());
    ListView_DeleteAllItems(list);
    while (ListView_DeleteColumn(list, 0)) {
    }
    // The texts go through the W messages: the ListView_ macros are the A ones in this build,
    // and a list given UTF-16 as ANSI shows each text's first letter only.
    for (std::size_t i = 0; i < view.columns.size(); ++i) {
        std::wstring text = WideFromUtf8(view.columns[i]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = Scaled(list, i == 3 ? 180 : 100);
        column.pszText = text.data();
        ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    for (std::size_t r = 0; r < view.rows.size(); ++r)
        for (std::size_t c = 0; c < view.rows[r].cells.size(); ++c) {
            std::wstring text = WideFromUtf8(view.rows[r].cells[c]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.iSubItem = static_cast<int>(c);
            item.pszText = text.data();
            ::SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMW, 0,
                           reinterpret_cast<LPARAM>(&item));
        }
    // Each column as wide as its widest text or heading: a fixed width cut the dates short, and
    // Wine's LVSCW_AUTOSIZE_USEHEADER still cut the headings.
    for (std::size_t i = 0; i < view.columns.size(); ++i) {
        const int column = static_cast<int>(i);
        const std::wstring heading = WideFromUtf8(view.columns[i]);
        const int headingWidth =
            static_cast<int>(::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                            reinterpret_cast<LPARAM>(heading.c_str()))) +
            Scaled(list, 16);
        ListView_SetColumnWidth(list, column, LVSCW_AUTOSIZE);
        if (ListView_GetColumnWidth(list, column) < headingWidth)
            ListView_SetColumnWidth(list, column, headingWidth);
    }
    if (!view.rows.empty())
        ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ::EnableWindow(H(m_saveCsv), Selected() >= 0);
}

void ProtocolWindow::Raise() {
    if (m_hwnd)
        ::SetForegroundWindow(H(m_hwnd));
}

namespace {

constexpr int kAskEdit = 200;

struct Asked {
    std::wstring prompt;
    std::wstring answer;
};

// The words of a DLGTEMPLATE and its items: a prompt, the line to type in, OK and Abbrechen.
class AskTemplate {
public:
    explicit AskTemplate(const std::wstring& title) {
        Align();
        const std::size_t style = m_words.size();
        m_words.resize(style + sizeof(DLGTEMPLATE) / 2);
        DLGTEMPLATE head{};
        head.style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        head.cdit = 4;
        head.cx = 220;
        head.cy = 62;
        std::memcpy(&m_words[style], &head, sizeof head);
        m_words.push_back(0); // no menu
        m_words.push_back(0); // the standard class
        Text(title);
        m_words.push_back(9);
        Text(L"Segoe UI");
        Item(0x0082, -1, SS_LEFT, 7, 7, 206, 10, L"");
        Item(0x0081, kAskEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 206, 14, L"");
        Item(0x0080, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 109, 41, 50, 14, L"OK");
        Item(0x0080, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 163, 41, 50, 14, L"Abbrechen");
    }
    const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    void Align() {
        if (m_words.size() % 2)
            m_words.push_back(0);
    }
    void Text(const std::wstring& text) {
        for (wchar_t c : text)
            m_words.push_back(static_cast<WORD>(c));
        m_words.push_back(0);
    }
    void Item(WORD cls, int id, DWORD style, short x, short y, short cx, short cy,
              const std::wstring& text) {
        Align();
        DLGITEMTEMPLATE item{};
        item.style = WS_CHILD | WS_VISIBLE | style;
        item.x = x, item.y = y, item.cx = cx, item.cy = cy;
        item.id = static_cast<WORD>(id);
        const std::size_t at = m_words.size();
        m_words.resize(at + sizeof item / 2);
        std::memcpy(&m_words[at], &item, sizeof item);
        m_words.push_back(0xFFFF);
        m_words.push_back(cls);
        Text(text);
        m_words.push_back(0); // no creation data
    }
    // Its storage comes from operator new, aligned for any type: the head is DWORD-aligned.
    std::vector<WORD> m_words;
};

INT_PTR CALLBACK AskProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* asked = reinterpret_cast<Asked*>(::GetWindowLongPtrW(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        ::SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        ::SetWindowTextW(::GetWindow(dlg, GW_CHILD),
                         reinterpret_cast<Asked*>(lParam)->prompt.c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && asked) {
            std::wstring text(1024, L'\0');
            text.resize(static_cast<std::size_t>(
                ::GetDlgItemTextW(dlg, kAskEdit, text.data(), static_cast<int>(text.size()))));
            asked->answer = text;
            ::EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

bool AskTextWin32(std::uintptr_t owner, const std::string& title, const std::string& prompt,
                  std::string& answer) {
    const AskTemplate dialog(WideFromUtf8(title));
    Asked asked{WideFromUtf8(prompt), {}};
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.Data(), H(owner), &AskProc,
                                  reinterpret_cast<LPARAM>(&asked));
    if (result == -1)
        DiagnoseFormat("Quillmere: DialogBoxIndirectParamW (ask): %s",
                       SystemErrorText(::GetLastError()).c_str());
    if (result != IDOK)
        return false;
    answer = Utf8FromWide(asked.answer.c_str());
    return true;
}
