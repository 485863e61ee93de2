// The Win32 host runs the program's real main dialog; the checks drive it from the UI thread's
// own message loop and look at it through the system's API only.
#include "app/link_control_app.h"
#include "dialog/about_dialog.h"
#include "platform/text_win32.h"
#include "platform/ui_queue.h"
#include "platform/win32/arguments.h"
#include "platform/win32/win32_host.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "res/resources.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "../../support/recorded_tests.h"
#include "checks.h"

void CheckQuillmereResources(const std::wstring& exe); // resources_test.cpp
void CheckQuillmereStarts(const std::wstring& exe);    // processes.cpp

CLinkControlApp theApp;

namespace {

std::wstring g_app; // this program's settings name

// The styles the dialog manager creates the controls with, before a control adjusts its own
// (a combo box hands WS_VSCROLL to its list, a progress bar trades its border for an edge).
struct Created {
    LONG style;
    LONG exStyle;
};
std::map<HWND, Created> g_created;

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        g_created[reinterpret_cast<HWND>(wParam)] = {cs->style, static_cast<LONG>(cs->dwExStyle)};
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// x, y, width and height in pixels, each mapped on its own as the dialog manager maps them.
RECT DialogRect(HWND dlg, int x, int y, int cx, int cy) {
    RECT r{x, y, cx, cy};
    ::MapDialogRect(dlg, &r);
    return r;
}

RECT ChildRect(HWND dlg, HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Name(int id) {
    return "control " + std::to_string(id);
}

LONG Style(HWND hwnd) {
    return static_cast<LONG>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
}
LONG ExStyle(HWND hwnd) {
    return static_cast<LONG>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const auto n = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (WPARAM i = 0; i < static_cast<WPARAM>(n); ++i) {
        wchar_t buffer[256] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer));
        items.push_back(buffer);
    }
    return items;
}

// The controls in creation order, which is template order.
std::vector<HWND> Children(HWND dlg) {
    std::vector<HWND> children;
    for (HWND c = ::GetWindow(dlg, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    return children;
}

// The dialog manager gives a bordered control a sunken client edge instead of WS_BORDER.
constexpr LONG kBordered = WS_BORDER;

struct Expected {
    int id;
    const wchar_t* cls;
    const wchar_t* text; // nullptr: not compared (combo boxes show their selection)
    int x, y, cx, cy;
    LONG styleBits; // all of these set
    LONG styleLow;  // style & 0xF for buttons and statics, -1 when not compared
    bool tabStop;
    bool sorted;
};

// The main dialog's controls in template order: each label right before the control it names.
const Expected kMainControls[] = {
    {-1, L"Static", L"Serieller Port:", 10, 12, 42, 8, WS_GROUP, SS_LEFT, false, false},
    {IDC_COM_PORT, L"ComboBox", nullptr, 70, 10, 45, 50, CBS_DROPDOWNLIST | WS_VSCROLL, -1, true,
     true},
    {-1, L"Static", L"Baudrate:", 10, 37, 32, 8, WS_GROUP, SS_LEFT, false, false},
    {IDC_BAUDRATE, L"ComboBox", nullptr, 70, 35, 45, 50, CBS_DROPDOWNLIST | WS_VSCROLL, -1, true,
     false},
    {-1, L"Static", L"Empfindlichkeit:", 10, 62, 50, 8, WS_GROUP, SS_LEFT, false, false},
    {IDC_SENSITIVITY, L"ComboBox", nullptr, 70, 60, 85, 75, CBS_DROPDOWNLIST | WS_VSCROLL, -1, true,
     true},
    {-1, L"Static", L"DFÜ-Verbindung:", 10, 87, 56, 8, WS_GROUP, SS_LEFT, false, false},
    {IDC_RAS_LINK_NAME, L"Edit", L"", 70, 85, 85, 13, ES_AUTOHSCROLL | kBordered, -1, true, false},
    {-1, L"Static", L"Ausführen nach\n aufgebauter\n Verbindung:", 10, 112, 58, 24, WS_GROUP,
     SS_LEFT, false, false},
    {IDC_RUN_PROGRAM, L"Edit", L"", 70, 110, 137, 13, ES_AUTOHSCROLL | kBordered, -1, true, false},
    {IDC_BROWSE, L"Button", L"...", 207, 110, 13, 13, 0, BS_PUSHBUTTON, true, false},
    {IDC_RUN_INVISIBLE, L"Button", L"unsichtbar ausführen", 70, 130, 82, 10, 0, BS_AUTOCHECKBOX,
     true, false},
    {IDC_SAVE, L"Button", L"Speichern", 170, 10, 50, 14, 0, BS_PUSHBUTTON, true, false},
    {IDC_CONFIGURE, L"Button", L"Konfigurieren", 10, 195, 50, 14, 0, BS_PUSHBUTTON, true, false},
    {IDC_TEST, L"Button", L"Testen", 90, 195, 50, 14, 0, BS_PUSHBUTTON, true, false},
    {IDC_CONNECT, L"Button", L"Verbinden", 170, 195, 50, 14, 0, BS_PUSHBUTTON, true, false},
    {-1, L"Static", L"Link-Qualität:", 10, 153, 42, 8, WS_GROUP, SS_LEFT, false, false},
    {IDC_LINK_QUALITY, L"msctls_progress32", L"Progress1", 70, 150, 150, 13, PBS_SMOOTH | kBordered,
     -1, false, false},
    {IDC_STATUS, L"Static", L"", 10, 175, 210, 11, WS_GROUP | SS_CENTERIMAGE, SS_CENTER, false,
     false},
};

void CheckLayout(HWND dlg) {
    CheckText(TextOf(dlg), L"Quillmere", "main dialog title");
    const LONG style = Style(dlg);
    Check((style & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME)) ==
              (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
          "main dialog: caption, system menu, modal frame");
    Check(!(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)), "main dialog: no minimize or maximize box");
    Check(ExStyle(dlg) & WS_EX_APPWINDOW, "main dialog: own taskbar button");

    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(dlg, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    CheckText(font.lfFaceName, L"MS Sans Serif", "dialog font");

    RECT client{};
    ::GetClientRect(dlg, &client);
    const RECT size = DialogRect(dlg, 0, 0, 230, 220);
    CheckInt(client.right, size.right, "client width");
    CheckInt(client.bottom, size.bottom, "client height");

    const std::vector<HWND> children = Children(dlg);
    CheckInt(static_cast<long long>(children.size()), std::size(kMainControls), "control count");
    for (size_t i = 0; i < std::min(children.size(), std::size(kMainControls)); ++i) {
        const Expected& e = kMainControls[i];
        HWND c = children[i];
        const std::string name = Name(e.id) + " #" + std::to_string(i);
        CheckInt(static_cast<short>(::GetDlgCtrlID(c)), e.id, name + " id");
        Check(::lstrcmpiW(ClassOf(c).c_str(), e.cls) == 0, name + " class " + Narrow(ClassOf(c)));
        if (e.text)
            CheckText(TextOf(c), e.text, name + " text");
        const LONG s = g_created.count(c) ? g_created[c].style : 0;
        const LONG exStyle = g_created.count(c) ? g_created[c].exStyle : 0;
        const LONG border = (s & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE) ? kBordered : 0;
        Check(((s | border) & e.styleBits) == e.styleBits,
              name + " style bits " + std::to_string(s));
        Check(!!border == !!(e.styleBits & kBordered), name + " border");
        if (e.styleLow >= 0)
            CheckInt(s & 0xF, e.styleLow, name + " kind");
        Check(!!(s & WS_TABSTOP) == e.tabStop, name + " tab stop");
        if (std::wstring(e.cls) == L"ComboBox")
            Check(!!(s & CBS_SORT) == e.sorted, name + " sorted");
        CheckInt(exStyle & WS_EX_STATICEDGE, e.id == IDC_STATUS ? WS_EX_STATICEDGE : 0,
                 name + " sunken edge");

        const RECT want = DialogRect(dlg, e.x, e.y, e.cx, e.cy);
        const RECT got = ChildRect(dlg, c);
        CheckInt(got.left, want.left, name + " x");
        CheckInt(got.top, want.top, name + " y");
        CheckInt(got.right - got.left, want.right, name + " width");
        if (std::wstring(e.cls) == L"ComboBox") {
            // Closed, a combo box is one line high; the template's height is that of the box
            // with its list dropped, which the list shortens to whole lines.
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            ::GetComboBoxInfo(c, &info);
            ::SendMessageW(c, CB_SHOWDROPDOWN, TRUE, 0);
            RECT list{};
            ::GetWindowRect(info.hwndList, &list);
            ::SendMessageW(c, CB_SHOWDROPDOWN, FALSE, 0);
            ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&list), 2);
            const long long shortBy = want.bottom - (list.bottom - got.top);
            const auto line = ::SendMessageW(c, CB_GETITEMHEIGHT, 0, 0);
            Check(shortBy >= 0 && shortBy < line, name + " dropped height " +
                                                      std::to_string(list.bottom - got.top) +
                                                      ", template " + std::to_string(want.bottom));
        } else {
            CheckInt(got.bottom - got.top, want.bottom, name + " height");
        }
    }
}

void CheckInitialState(HWND dlg) {
    const std::vector<std::wstring> ports{L"COM1", L"COM2", L"COM3", L"COM4"};
    const std::vector<std::wstring> bauds{L"19200", L"38400", L"57600", L"115200"};
    const std::vector<std::wstring> levels{L"1 - extrem störanfällig",
                                           L"2 - sehr empfindlich",
                                           L"3 - empfindlich",
                                           L"4 - optimal",
                                           L"5 - optimal",
                                           L"6 - bei Störungen",
                                           L"7 - bei Störungen"};
    Check(ComboItems(::GetDlgItem(dlg, IDC_COM_PORT)) == ports, "port list");
    Check(ComboItems(::GetDlgItem(dlg, IDC_BAUDRATE)) == bauds, "baud list, unsorted");
    Check(ComboItems(::GetDlgItem(dlg, IDC_SENSITIVITY)) == levels, "sensitivity list");
    // No stored settings: COM1, 115200, "4 - optimal", a clean dialog.
    CheckText(TextOf(::GetDlgItem(dlg, IDC_COM_PORT)), L"COM1", "port shown");
    CheckText(TextOf(::GetDlgItem(dlg, IDC_BAUDRATE)), L"115200", "baud rate shown");
    CheckText(TextOf(::GetDlgItem(dlg, IDC_SENSITIVITY)), L"4 - optimal", "sensitivity shown");
    CheckInt(::IsDlgButtonChecked(dlg, IDC_RUN_INVISIBLE), BST_UNCHECKED, "run invisible");
    Check(!::IsWindowEnabled(::GetDlgItem(dlg, IDC_SAVE)), "Speichern disabled when clean");
    Check(::IsWindowEnabled(::GetDlgItem(dlg, IDC_CONNECT)), "Verbinden enabled: dial-up bound");
    CheckInt(::SendDlgItemMessageW(dlg, IDC_LINK_QUALITY, PBM_GETRANGE, FALSE, 0), 256,
             "link quality range");
    Check(::SendMessageW(dlg, WM_GETICON, ICON_BIG, 0) != 0, "big window icon");
    Check(::SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0) != 0, "small window icon");
    Check(::SendMessageW(dlg, WM_QUERYDRAGICON, 0, 0) ==
              ::SendMessageW(dlg, WM_GETICON, ICON_BIG, 0),
          "drag icon is the program icon");
}

void CheckTabOrder(HWND dlg) {
    // Template order, without the disabled "Speichern".
    const std::vector<int> expected{
        IDC_COM_PORT, IDC_BAUDRATE,      IDC_SENSITIVITY, IDC_RAS_LINK_NAME, IDC_RUN_PROGRAM,
        IDC_BROWSE,   IDC_RUN_INVISIBLE, IDC_CONFIGURE,   IDC_TEST,          IDC_CONNECT};
    std::vector<int> order;
    HWND first = ::GetNextDlgTabItem(dlg, nullptr, FALSE);
    for (HWND c = first; c && order.size() < 30;) {
        order.push_back(::GetDlgCtrlID(c));
        c = ::GetNextDlgTabItem(dlg, c, FALSE);
        if (c == first)
            break;
    }
    std::string got;
    for (int id : order)
        got += std::to_string(id) + " ";
    Check(order == expected, "tab order: " + got);
}

void CheckAboutBox(HWND about, HWND owner) {
    Check(::GetWindow(about, GW_OWNER) == owner, "About box owned by the main dialog");
    Check(!::IsWindowEnabled(owner), "main dialog takes no input under the About box");
    const std::vector<HWND> c = Children(about);
    CheckInt(static_cast<long long>(c.size()), 4, "About box controls");
    if (c.size() != 4)
        return;
    CheckInt(Style(c[0]) & SS_TYPEMASK, SS_ICON, "About icon control");
    Check(::SendMessageW(c[0], STM_GETICON, 0, 0) != 0, "About icon shows an icon");
    CheckText(TextOf(c[1]), L"Quillmere Version 1.0", "About version line");
    Check(Style(c[1]) & SS_NOPREFIX, "About version line: no access keys");
    CheckText(TextOf(c[2]), L"Copyright © 2026 Talvenmark", "About notice");
    CheckInt(::GetDlgCtrlID(c[3]), IDOK, "About OK id");
    CheckInt(Style(c[3]) & 0xF, BS_DEFPUSHBUTTON, "About OK is the default button");
    CheckText(TextOf(c[3]), L"OK", "About OK text");
}

void CheckSystemMenu(HWND dlg) {
    HMENU menu = ::GetSystemMenu(dlg, FALSE);
    Check(menu != nullptr, "system menu");
    const int n = ::GetMenuItemCount(menu);
    CheckInt(static_cast<UINT>(::GetMenuItemID(menu, n - 1)), IDM_ABOUT, "last item's command");
    CheckInt(static_cast<UINT>(::GetMenuItemID(menu, n - 2)), IDM_PROTOCOL, "protocol before it");
    CheckInt(static_cast<UINT>(::GetMenuItemID(menu, n - 3)), IDM_ALIGNMENT, "readout before that");
    CheckInt(static_cast<UINT>(::GetMenuItemID(menu, n - 4)), IDM_TONE, "tone before that");
    Check(::GetMenuState(menu, static_cast<UINT>(n - 5), MF_BYPOSITION) & MF_SEPARATOR,
          "separator before the program's items");
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, IDM_ABOUT, text, 128, MF_BYCOMMAND);
    CheckText(text, L"Inf&o über Quillmere...", "system-menu item");

    // 0x0011 is the About command as well: only the low four bits differ.
    bool seen = false;
    HWND aboutWindow = nullptr;
    WhenWindowOpens(L"Info über Quillmere", [&](HWND about) {
        seen = true;
        aboutWindow = about;
        CheckAboutBox(about, dlg);
        PauseForScreenshot(about, "about");
        ::SendMessageW(::GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    });
    ::SendMessageW(dlg, WM_SYSCOMMAND, 0x0011, 0);
    Check(seen, "system command 0x0011 opens the About box");
    Check(!::IsWindow(aboutWindow), "OK closes the About box");
    Check(::IsWindowEnabled(dlg), "main dialog enabled again");

    // F1, as the keyboard gives it.
    seen = false;
    WhenWindowOpens(L"Info über Quillmere", [&](HWND about) {
        seen = true;
        ::PostMessageW(::GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ::SetForegroundWindow(dlg);
    ::SetFocus(::GetDlgItem(dlg, IDC_COM_PORT));
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
    Check(PumpUntil(dlg, [&] { return seen; }), "F1 opens the About box");
    PumpUntil(
        dlg, [&] { return !FindOwnWindow(L"Info über Quillmere"); }, 5000);
    Check(!FindOwnWindow(L"Info über Quillmere"), "Escape closes the About box");
}

void CheckEditAndSave(HWND dlg) {
    ::SetDlgItemTextW(dlg, IDC_RAS_LINK_NAME, L"Mast Ost");
    Check(::IsWindowEnabled(::GetDlgItem(dlg, IDC_SAVE)), "an edit enables Speichern");
    ::SetDlgItemTextW(dlg, IDC_RUN_PROGRAM, L"C:\\Programme\\Nach Verbindung.exe /s");
    // The user picks 38400: the list sets the selection, then tells the dialog.
    HWND baud = ::GetDlgItem(dlg, IDC_BAUDRATE);
    ::SendMessageW(baud, CB_SETCURSEL, 1, 0);
    ::SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_BAUDRATE, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(baud));
    ::SendDlgItemMessageW(dlg, IDC_RUN_INVISIBLE, BM_CLICK, 0, 0);
    CheckInt(::IsDlgButtonChecked(dlg, IDC_RUN_INVISIBLE), BST_CHECKED, "a click checks the box");
    ::SendDlgItemMessageW(dlg, IDC_SAVE, BM_CLICK, 0, 0);

    DWORD value = 99;
    Check(ReadRegDword(g_app, L"Settings", L"COM Port", value) && value == 0, "COM Port saved");
    Check(ReadRegDword(g_app, L"Settings", L"Baudrate", value) && value == 1, "Baudrate saved");
    Check(ReadRegDword(g_app, L"Settings", L"Sensitivity", value) && value == 3,
          "Sensitivity saved");
    Check(ReadRegDword(g_app, L"Settings", L"Run Invisible", value) && value == 1,
          "Run Invisible saved");
    std::wstring text;
    Check(ReadRegString(g_app, L"Settings", L"RAS Link Name", text) && text == L"Mast Ost",
          "RAS Link Name saved: " + Narrow(text));
    Check(ReadRegString(g_app, L"Settings", L"Run Program", text) &&
              text == L"C:\\Programme\\Nach Verbindung.exe /s",
          "Run Program saved: " + Narrow(text));
    Check(!::IsWindowEnabled(::GetDlgItem(dlg, IDC_SAVE)), "Speichern disabled after saving");
}

void CheckChoosers(HWND dlg) {
    bool seen = false;
    WhenWindowOpens(L"Programm wählen", [&](HWND chooser) {
        seen = true;
        Check(::GetWindow(chooser, GW_OWNER) == dlg, "file chooser owned by the main dialog");
        ::PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    });
    ::SendDlgItemMessageW(dlg, IDC_BROWSE, BM_CLICK, 0, 0);
    Check(seen, "\"...\" opens the file chooser");
    CheckText(TextOf(::GetDlgItem(dlg, IDC_RUN_PROGRAM)), L"C:\\Programme\\Nach Verbindung.exe /s",
              "a cancelled chooser leaves the program");

    seen = false;
    WhenWindowOpens(g_app, [&](HWND box) {
        seen = true;
        Check(::GetWindow(box, GW_OWNER) == dlg, "message box owned by the main dialog");
        CheckText(TextOf(::GetDlgItem(box, 0xFFFF)), L"Grüße aus dem Test", "message box text");
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    CheckInt(theApp.m_pMainWnd->MessageBox("Grüße aus dem Test"), IDOK, "message box answer");
    Check(seen, "message box with the program's name as caption");
}

HWND OwnTooltip() {
    HWND tooltip = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            if (ClassOf(hwnd) == TOOLTIPS_CLASSW)
                *reinterpret_cast<HWND*>(lParam) = hwnd;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&tooltip));
    return tooltip;
}

void CheckUnavailablePort(HWND dlg) {
    // The port map names a simulator that cannot be read: "Testen" reports it, the reason
    // goes to the status line's tooltip.
    ::SendDlgItemMessageW(dlg, IDC_TEST, BM_CLICK, 0, 0);
    HWND status = ::GetDlgItem(dlg, IDC_STATUS);
    PumpUntil(
        dlg, [&] { return !TextOf(status).empty(); }, 5000);
    CheckText(TextOf(status), L"FEHLER: Serieller Port COM1: ist nicht verfügbar", "status line");
    // The worker sets the reason after the sentence.
    HWND tooltip = nullptr;
    PumpUntil(
        dlg, [&] { return (tooltip = OwnTooltip()) != nullptr; }, 5000);
    Check(tooltip && ::GetWindow(tooltip, GW_OWNER) == dlg, "status tooltip window");
    if (!tooltip)
        return;
    wchar_t text[512] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = dlg;
    tool.uId = IDC_STATUS;
    tool.lpszText = text;
    ::SendMessageW(tooltip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
    const std::wstring tip = text;
    Check(tip.find(L"sim:power=yes") == 0 && tip.find(L"bad value 'yes'") != std::wstring::npos,
          "tooltip gives the reason: " + Narrow(tip));
}

void CheckWorkerCalls(HWND dlg, Win32Host& host) {
    // A plain thread: every call runs on the UI thread, in call order, before it returns.
    std::vector<int> order;
    bool allOnUi = true;
    std::atomic<bool> done{false};
    std::thread plain([&] {
        for (int i = 0; i < 50; ++i) {
            host.Post([&order, i] { order.push_back(1000 + i); });
            CallOnUi(host, [&] {
                order.push_back(i);
                allOnUi = allOnUi && host.IsUiThread();
            });
        }
        done = true;
    });
    Check(PumpUntil(dlg, [&] { return done.load(); }), "plain thread's calls come back");
    plain.join();
    std::vector<int> expected;
    for (int i = 0; i < 50; ++i) {
        expected.push_back(1000 + i);
        expected.push_back(i);
    }
    Check(order == expected, "posted work and calls run in order");
    Check(allOnUi, "calls run on the UI thread");

    // A worker reads the dialog through the framework while the UI thread sits in a message
    // box's loop.
    static std::wstring seenByWorker;
    static void* windowForWorker;
    static std::atomic<bool> workerDone;
    workerDone = false;
    std::unique_ptr<WorkerThread> worker;
    WhenWindowOpens(g_app, [&](HWND box) {
        worker = WorkerThread::Start([&host, d = theApp.m_pMainWnd](const auto&) {
            seenByWorker = WideFromUtf8(d->GetDlgItemText(IDC_RAS_LINK_NAME));
            // The system's dial dialog's owner.
            CallOnUi(host, [&] { windowForWorker = host.NativeWindow(*d); });
            workerDone = true;
        });
        When([] { return workerDone.load(); }, [box] { ::PostMessageW(box, WM_COMMAND, IDOK, 0); },
             "worker's call answered");
    });
    theApp.m_pMainWnd->MessageBox("Ein Worker liest mit");
    CheckText(seenByWorker, L"Mast Ost", "worker read the edit box");
    Check(windowForWorker == dlg, "the host gives the main dialog's window");
    worker.reset();
}

// The text of a list view's cell as the list shows it; row -1: the column's heading.
std::wstring CellText(HWND list, int row, int column) {
    wchar_t text[256] = {};
    LVCOLUMNW heading{};
    LVITEMW item{};
    heading.mask = LVCF_TEXT;
    heading.pszText = item.pszText = text;
    heading.cchTextMax = item.cchTextMax = 256;
    item.iSubItem = column;
    ::SendMessageW(list, row < 0 ? LVM_GETCOLUMNW : LVM_GETITEMTEXTW,
                   static_cast<WPARAM>(row < 0 ? column : row),
                   row < 0 ? reinterpret_cast<LPARAM>(&heading) : reinterpret_cast<LPARAM>(&item));
    return text;
}

// Types text into an edit box key by key, over what it holds.
void TypeInto(HWND edit, const std::wstring& text) {
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : text)
        ::SendMessageW(edit, WM_CHAR, c, 0);
}

// The headings, then the three tests main() recorded, newest first; nullptr: what a damaged
// record lost.
const wchar_t* const kProtocolRows[][5] = {
    {L"Datum", L"Anschluss", L"Baudrate", L"Ergebnis", L"Mittlere Qualität"},
    {nullptr, nullptr, nullptr, L"beschädigt", nullptr},
    {L"10.12.2026 08:30:00", L"COM1", L"57600", L"abgebrochen", L"85 %"},
    {L"09.12.2026 14:02:11", L"COM2", L"115200", L"bestanden", L"97 %"},
};

void CheckProtocolWindow(HWND dlg, const std::filesystem::path& records) {
    const std::wstring title = L"Protokoll der Linktests";
    ::SendMessageW(dlg, WM_SYSCOMMAND, IDM_PROTOCOL, 0);
    HWND window = FindOwnWindow(title);
    Check(window != nullptr, "the window menu's Protokoll opens its window");
    if (!window)
        return;
    Check(::GetWindow(window, GW_OWNER) == dlg, "protocol window owned by the main dialog");
    Check(!(Style(window) & WS_CHILD), "protocol window is a top-level window");
    HWND list = ::FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    CheckInt(ListView_GetItemCount(list), 3, "protocol rows");
    for (int r = -1; r < 3; ++r)
        for (int c = 0; c < 5; ++c) {
            const std::string name = "row " + std::to_string(r) + " column " + std::to_string(c);
            const std::wstring text = CellText(list, r, c);
            if (const wchar_t* want = kProtocolRows[r + 1][c])
                CheckText(text, want, name);
            // The list cuts what does not fit with "...".
            const auto width = ::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                              reinterpret_cast<LPARAM>(text.c_str()));
            Check(width + 12 <= ListView_GetColumnWidth(list, c),
                  name + " fits its column: " + Narrow(text));
        }
    PauseForScreenshot(window, "protocol");

    // The oldest test, saved as CSV: the report's header is asked first, then the file.
    const std::filesystem::path csv = records / "Bericht Mast Süd.csv";
    const std::wstring ask = L"Angaben für den Bericht";
    for (auto [prompt, answer] :
         {std::pair{L"Standort der Strecke (erscheint im Bericht):", L"Mast Süd"},
          std::pair{L"Ihr Name als Techniker (erscheint im Bericht):", L"E. Kranich"}}) {
        const std::wstring p = prompt, a = answer;
        When(
            [ask, p] {
                HWND box = FindOwnWindow(ask);
                return box && TextOf(::GetWindow(box, GW_CHILD)) == p;
            },
            [ask, a, window] {
                HWND box = FindOwnWindow(ask);
                Check(::GetWindow(box, GW_OWNER) == window, "question owned by the protocol");
                TypeInto(::FindWindowExW(box, nullptr, L"Edit", nullptr), a);
                ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            },
            "question \"" + Narrow(p) + "\" asked");
    }
    WhenWindowOpens(L"Als CSV speichern...", [&](HWND chooser) {
        Check(::GetWindow(chooser, GW_OWNER) == window, "save dialog owned by the protocol");
        // Wine's file name box is cmb13, a ComboBoxEx with an edit inside; there is no edt1.
        HWND name = ::GetDlgItem(chooser, 0x47c);
        CheckText(ClassOf(name), WC_COMBOBOXEXW, "file name box");
        CheckText(TextOf(name), L"Linktest-2026-12-09-140211.csv", "offered file name");
        TypeInto(reinterpret_cast<HWND>(::SendMessageW(name, CBEM_GETEDITCONTROL, 0, 0)),
                 csv.wstring());
        ::SendMessageW(::GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
    });
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    HWND save = ::FindWindowExW(window, nullptr, L"Button", L"Als &CSV speichern...");
    Check(save && ::IsWindowEnabled(save), "Als CSV speichern... enabled for a chosen row");
    ::SendMessageW(save, BM_CLICK, 0, 0);
    std::string files;
    for (const auto& entry : std::filesystem::directory_iterator(records))
        files += " \"" + Narrow(entry.path().filename().wstring()) + "\"";
    Check(std::filesystem::exists(csv), "CSV saved under the typed name; the folder holds" + files);
    const std::string text = FileText(csv);
    Check(text.find("Standort;Mast Süd\nTechniker;E. Kranich\n") == 0,
          "CSV header: " + text.substr(0, 60));
    Check(text.find("\nAnschluss;COM2\n") != std::string::npos, "CSV of the oldest test");
    std::wstring site;
    Check(ReadRegString(g_app, L"Report", L"Standort", site) && site == L"Mast Süd",
          "Standort kept in the settings: " + Narrow(site));

    ::SetForegroundWindow(dlg);
    ::SendMessageW(dlg, WM_SYSCOMMAND, IDM_PROTOCOL, 0);
    // A second window would be the one in front.
    Check(::GetForegroundWindow() == window, "the command again brings the same window forward");
    // The keyboard alone: Tab from the list to the next button, Escape closes.
    ::SetFocus(list);
    ::PostMessageW(list, WM_KEYDOWN, VK_TAB, 0);
    Check(PumpUntil(dlg, [save] { return ::GetFocus() == save; }), "Tab moves on from the list");
    ::PostMessageW(save, WM_KEYDOWN, VK_ESCAPE, 0);
    Check(PumpUntil(dlg, [window] { return !::IsWindow(window); }),
          "Escape closes the protocol window");
}

void RunMainDialogChecks(Win32Host& host, const std::filesystem::path& records) {
    HWND dlg = reinterpret_cast<HWND>(host.WindowOf(*theApp.m_pMainWnd));
    Check(dlg != nullptr, "main dialog open");
    if (!dlg)
        return;
    Check(::IsWindowVisible(dlg), "main dialog shown");
    CheckLayout(dlg);
    CheckInitialState(dlg);
    CheckTabOrder(dlg);
    PauseForScreenshot(dlg, "main");
    CheckSystemMenu(dlg);
    CheckEditAndSave(dlg);
    CheckChoosers(dlg);
    // Before "Testen" adds a record of its own.
    CheckProtocolWindow(dlg, records);
    CheckUnavailablePort(dlg);
    CheckWorkerCalls(dlg, host);
    PauseForScreenshot(dlg, "main-edited");
    // The close box: the framework's Cancel.
    ::SendMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
}

} // namespace

int main() {
    const std::vector<std::string> args = ProgramArguments();
    if (args.size() < 2) {
        std::printf("usage: win32_host_test QUILLMERE.EXE\n");
        return 2;
    }
    const std::vector<const char*> argv = ArgvOf(args);
    // Started without arguments as far as the dialog is concerned.
    theApp.SetStartup(1, argv.data());
    g_app = WideFromUtf8(theApp.m_pszAppName);

    DeleteAppKey(g_app);
    SetRegString(g_app, L"Ports", L"COM1", L"sim:power=yes");
    SetRegString(g_app, L"Dialup", L"Service", L"sim:entries=Mast");

    // A good old test, a cancelled newer one and a damaged newest, for the protocol window.
    const std::filesystem::path records =
        std::filesystem::temp_directory_path() /
        ("qm-host-protocol-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(::GetTickCount64()));
    WriteThreeTests(records);
    theApp.SetLinkRecords(LinkRecordStore(records));

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    {
        Win32Host host(theApp.m_pszAppName, ProgramResources());
        theApp.SetHost(&host);
        HHOOK hook = ::SetWindowsHookExW(WH_CBT, &OnCbt, nullptr, ::GetCurrentThreadId());
        bool checked = false;
        host.Post([&] {
            RunMainDialogChecks(host, records);
            checked = true;
        });
        theApp.InitInstance();
        ::UnhookWindowsHookEx(hook);
        Check(checked, "the checks ran inside the main dialog, which then closed");

        // Enter and Escape end a dialog through the framework's OK and Cancel.
        for (auto [key, result] : {std::pair{VK_RETURN, IDOK}, std::pair{VK_ESCAPE, IDCANCEL}}) {
            const WPARAM k = key;
            WhenWindowOpens(L"Info über Quillmere", [k](HWND about) {
                ::PostMessageW(::GetFocus(), WM_KEYDOWN, k, 0);
                (void)about;
            });
            CDialog main(host, LoadDialogTemplate(IDD_MAIN)); // never shown
            CAboutDialog about(main);
            CheckInt(about.DoModal(), result,
                     key == VK_RETURN ? "Enter in the About box" : "Escape in the About box");
        }
    }
    DeleteAppKey(g_app);
    std::error_code error;
    if (!std::filesystem::remove_all(records, error) && error)
        std::printf("note: %s stays: %s\n", records.string().c_str(), error.message().c_str());

    const std::wstring exe = WideFromUtf8(args[1]);
    CheckQuillmereResources(exe);
    CheckQuillmereStarts(exe);

    std::printf("%d passed, %d failed\n", Passed(), Failures());
    return Failures();
}
