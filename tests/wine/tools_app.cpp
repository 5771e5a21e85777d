// The test application: logs the commands and notifications it receives,
// fills "View\Recent" only when the popup opens, answers "File\Refuse" with
// 1, toggles "File\Checked", stops answering for 6 s on "Tools\Stall", and
// opens the "Controls" dialog.
#include "tests/wine/tools_app.h"

#include <commctrl.h>

#include <cstdio>

namespace toolsapp {

std::string log;
namespace {
std::string g_logFile;
HMENU g_recent = nullptr;

void Log(const char* kind, long id, long code)
{
    const std::string line = std::string(kind) + " " + std::to_string(id) + " " + std::to_string(code) + "\n";
    log += line;
    if (g_logFile.empty())
        return;
    // A script reading the log at this moment may hold the file: try again.
    FILE* f = nullptr;
    for (int attempt = 0; attempt < 200 && !(f = std::fopen(g_logFile.c_str(), "ab")); ++attempt)
        Sleep(10);
    if (f) {
        std::fputs(line.c_str(), f);
        std::fclose(f);
    }
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITMENUPOPUP:
        if (reinterpret_cast<HMENU>(wParam) == g_recent && GetMenuItemCount(g_recent) == 1) {
            AppendMenuA(g_recent, MF_STRING, 221, "Alpha");
            AppendMenuA(g_recent, MF_STRING, 222, "Beta");
        }
        return 0;
    case WM_COMMAND:
        Log("COMMAND", LOWORD(wParam), HIWORD(wParam));
        if (LOWORD(wParam) == 206) {
            const UINT state = GetMenuState(GetMenu(hwnd), 206, MF_BYCOMMAND);
            CheckMenuItem(GetMenu(hwnd), 206, (state & MF_CHECKED) ? MF_UNCHECKED : MF_CHECKED);
        }
        if (LOWORD(wParam) == 301)
            CreateControlsDialog(hwnd);
        if (LOWORD(wParam) == 209)
            DestroyWindow(hwnd);
        if (LOWORD(wParam) == 302)
            Sleep(6000); // a hung application, for a while

        return LOWORD(wParam) == 208 ? 1 : 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND)
        Log("COMMAND", LOWORD(wParam), HIWORD(wParam));
    if (msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        Log("NOTIFY", static_cast<long>(header->idFrom), static_cast<long>(header->code));
        SetWindowLongPtrA(dlg, DWLP_MSGRESULT, 77); // the reply SetControlCurSel passes on
        return TRUE;
    }
    if (msg != WM_INITDIALOG)
        return FALSE;
    SetDlgItemTextA(dlg, 116, "Label\r\nsecond");
    const char* lists[][3] = {{"one", "two", "three"}, {"a", "b", nullptr}};
    for (int k = 0; k < 3; ++k) {
        SendDlgItemMessageA(dlg, 109, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lists[0][k]));
        SendDlgItemMessageA(dlg, 109, LB_SETITEMDATA, k, 10 * (k + 1));
    }
    for (int k = 0; k < 2; ++k) {
        SendDlgItemMessageA(dlg, 122, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lists[0][k]));
        SendDlgItemMessageA(dlg, 110, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lists[1][k]));
        SendDlgItemMessageA(dlg, 110, LB_SETITEMDATA, k, 5 + k);
        for (int combo = 111; combo <= 113; ++combo) {
            SendDlgItemMessageA(dlg, combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(k ? "n" : "m"));
            SendDlgItemMessageA(dlg, combo, CB_SETITEMDATA, k, 7 + k);
        }
    }
    TCITEMA tab = {};
    tab.mask = TCIF_TEXT;
    const char* tabs[] = {"First", "Second"};
    for (int k = 0; k < 2; ++k) {
        tab.pszText = const_cast<char*>(tabs[k]);
        SendDlgItemMessageA(dlg, 118, TCM_INSERTITEMA, k, reinterpret_cast<LPARAM>(&tab));
    }
    // List-view rows with empty columns: "a", "", "c" and "", "b", "c".
    HWND view = GetDlgItem(dlg, 120);
    const char* cells[2][3] = {{"a", "", "c"}, {"", "b", "c"}};
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 30;
    for (int c = 0; c < 3; ++c)
        SendMessageA(view, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
    for (int r = 0; r < 2; ++r) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = r;
        item.pszText = const_cast<char*>(cells[r][0]);
        SendMessageA(view, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < 3; ++c) {
            item.iSubItem = c;
            item.pszText = const_cast<char*>(cells[r][c]);
            SendMessageA(view, LVM_SETITEMTEXTA, r, reinterpret_cast<LPARAM>(&item));
        }
    }
    // The panel holds controls of its own.
    HWND panel = GetDlgItem(dlg, 121);
    CreateWindowExA(0, "Button", "Inner", WS_CHILD | WS_VISIBLE, 0, 0, 60, 20, panel, reinterpret_cast<HMENU>(131),
                    nullptr, nullptr);
    CreateWindowExA(0, "Static", "inner text", WS_CHILD | WS_VISIBLE, 0, 25, 60, 20, panel,
                    reinterpret_cast<HMENU>(132), nullptr, nullptr);
    // An edit whose text differs from the one it was created with (its
    // window caption stays empty).
    SendDlgItemMessageA(dlg, 123, EM_SETSEL, 0, -1);
    SendDlgItemMessageA(dlg, 123, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("changed"));
    SetFocus(GetDlgItem(dlg, 107));
    return FALSE;
}

} // namespace

HWND CreateMainWindow(const std::string& logFile)
{
    g_logFile = logFile;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // Plain windows of two more classes: a panel for controls of its own, and
    // an upper-case rich edit name (Wine's own rich edit classes are mixed case).
    WNDCLASSA panel = {};
    panel.lpfnWndProc = DefWindowProcA;
    panel.lpszClassName = "RICHEDIT50W";
    RegisterClassA(&panel);
    panel.lpszClassName = "TavroPanel";
    RegisterClassA(&panel);
    WNDCLASSA main = panel;
    main.lpfnWndProc = MainProc;
    main.lpszClassName = "TavroToolsApp";
    RegisterClassA(&main);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    g_recent = GetSubMenu(GetSubMenu(menu, 1), 0);
    HWND hwnd = CreateWindowExA(0, "TavroToolsApp", "TAVRO Tools Test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 500,
                                300, nullptr, menu, nullptr, nullptr);
    SetForegroundWindow(hwnd);
    return hwnd;
}

HWND CreateControlsDialog(HWND owner)
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), owner, DialogProc, 0);
}

} // namespace toolsapp

#ifndef TOOLS_APP_IN_TEST
int main(int argc, char** argv)
{
    if (!toolsapp::CreateMainWindow(argc > 1 ? argv[1] : ""))
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
#endif
