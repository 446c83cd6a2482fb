// A small window for proving the driver on its own: a menu, accelerators, a
// toolbar, a list view with images and an overlay, a popup menu, a dialog and a
// message box. It reports what reached it in its title ("cmd 9001", ...).
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>

#include "testwin.h"
#include "textformat.h"

namespace {

HINSTANCE g_instance;
HACCEL g_accelerators;

void Report(HWND window, const wchar_t* format, int value, const wchar_t* text = L"")
{
    wchar_t title[256] = {};
    FormatBounded(title, 256, format, value, text);
    SetWindowTextW(window, title);
}

HIMAGELIST MakeImages()
{
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 0);
    HICON icons[] = {LoadIconW(nullptr, IDI_APPLICATION), LoadIconW(nullptr, IDI_WARNING),
                     LoadIconW(nullptr, IDI_INFORMATION), LoadIconW(nullptr, IDI_ERROR)};
    for (HICON icon : icons)
        ImageList_AddIcon(images, icon);
    ImageList_SetOverlayImage(images, 3, 1);
    return images;
}

void FillList(HWND list)
{
    const wchar_t* columns[] = {L"名前", L"ID", L"説明"};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 150;
        column.pszText = const_cast<wchar_t*>(columns[i]);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    const wchar_t* rows[][3] = {{L"山田太郎", L"1001", L"一般ユーザー"},
                                {L"無効ユーザー", L"1002", L"ロックアウト"},
                                {L"経理グループ", L"1003", L"グループ"}};
    for (int i = 0; i < 3; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        item.iItem = i;
        item.iImage = i;
        item.pszText = const_cast<wchar_t*>(rows[i][0]);
        item.stateMask = LVIS_OVERLAYMASK;
        item.state = i == 1 ? INDEXTOOVERLAYMASK(1) : 0;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < 3; ++c) {
            LVITEMW cell = {};
            cell.iSubItem = c;
            cell.pszText = const_cast<wchar_t*>(rows[i][c]);
            SendMessageW(list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&cell));
        }
    }
}

HWND MakeToolbar(HWND window)
{
    HWND toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                   WS_CHILD | WS_VISIBLE | TBSTYLE_LIST | TBSTYLE_FLAT, 0, 0, 0, 0,
                                   window, reinterpret_cast<HMENU>(1100), g_instance, nullptr);
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBBUTTON buttons[2] = {};
    buttons[0].iBitmap = I_IMAGENONE;
    buttons[0].idCommand = CMD_OPEN;
    buttons[0].fsState = TBSTATE_ENABLED;
    buttons[0].fsStyle = BTNS_SHOWTEXT | BTNS_AUTOSIZE;
    buttons[0].iString = reinterpret_cast<INT_PTR>(L"開く");
    buttons[1] = buttons[0];
    buttons[1].idCommand = CMD_DELETE;
    buttons[1].fsState = 0;
    buttons[1].iString = reinterpret_cast<INT_PTR>(L"削除");
    SendMessageW(toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    SendMessageW(toolbar, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(buttons));
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    return toolbar;
}

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        for (const wchar_t* item : {L"一番目", L"二番目", L"三番目"}) {
            SendDlgItemMessageW(dialog, 1002, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            SendDlgItemMessageW(dialog, 1003, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        }
        SendDlgItemMessageW(dialog, 1003, CB_SETCURSEL, 0, 0);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == 1003 && HIWORD(wParam) == CBN_SELCHANGE) {
        SetDlgItemTextW(dialog, 1000, L"combo changed");
        return TRUE;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == DTN_DATETIMECHANGE) {
        SYSTEMTIME& st = reinterpret_cast<NMDATETIMECHANGE*>(lParam)->st;
        wchar_t text[64] = {};
        FormatBounded(text, 64, L"date %04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
        SetDlgItemTextW(dialog, 1000, text);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (LOWORD(wParam) == IDOK) {
            wchar_t text[128] = {};
            GetDlgItemTextW(dialog, 1000, text, 128);
            wchar_t title[256] = {};
            FormatBounded(title, 256, L"dialog %d %s lb=%d cb=%d",
                          IsDlgButtonChecked(dialog, 1001) == BST_CHECKED ? 1 : 0, text,
                          static_cast<int>(SendDlgItemMessageW(dialog, 1002, LB_GETCURSEL, 0, 0)),
                          static_cast<int>(SendDlgItemMessageW(dialog, 1003, CB_GETCURSEL, 0, 0)));
            SetWindowTextW(GetParent(dialog), title);
        }
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int SelectedItem(HWND list)
{
    if (SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) != 1)
        return -1;
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

LRESULT OnNotify(HWND window, NMHDR* header)
{
    if (header->idFrom != 1000)
        return 0;
    HWND list = header->hwndFrom;
    switch (header->code) {
    case NM_DBLCLK:
        Report(window, L"dblclk %d", reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        break;
    case LVN_KEYDOWN:
        Report(window, L"key %d", reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey);
        break;
    case NM_RCLICK: {
        POINT pt = reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction;
        ClientToScreen(list, &pt);
        TrackPopupMenuEx(GetSubMenu(GetMenu(window), 1), 0, pt.x, pt.y, window, nullptr);
        Report(window, L"rclick %d", SelectedItem(list));
        break;
    }
    case LVN_ITEMCHANGED: {
        NMLISTVIEW* change = reinterpret_cast<NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) &&
            ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) &&
            (change->uOldState & LVIS_STATEIMAGEMASK)) {
            Report(window, L"check %d",
                   change->iItem * 10 +
                       static_cast<int>((change->uNewState & LVIS_STATEIMAGEMASK) >> 12));
            break;
        }
        HWND details = GetDlgItem(window, 1001);
        SendMessageW(details, LVM_DELETEALLITEMS, 0, 0);
        int item = SelectedItem(list);
        EnableMenuItem(GetMenu(window), CMD_DELETE, item >= 0 ? MF_ENABLED : MF_GRAYED);
        SendMessageW(GetDlgItem(window, 1100), TB_SETSTATE, CMD_DELETE,
                     item >= 0 ? TBSTATE_ENABLED : 0);
        if (item >= 0) {
            wchar_t name[128] = {};
            LVITEMW get = {};
            get.pszText = name;
            get.cchTextMax = 128;
            SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&get));
            LVITEMW row = {};
            row.mask = LVIF_TEXT;
            row.pszText = const_cast<wchar_t*>(L"名前");
            SendMessageW(details, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
            LVITEMW value = {};
            value.iSubItem = 1;
            value.pszText = name;
            SendMessageW(details, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&value));
        }
        break;
    }
    }
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
        InitCommonControlsEx(&classes);
        MakeToolbar(window);
        for (int id : {1000, 1001}) {
            HWND list = CreateWindowExW(
                WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance,
                nullptr);
            DWORD extended = LVS_EX_FULLROWSELECT | (id == 1000 ? LVS_EX_CHECKBOXES : 0);
            SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
            if (id == 1000) {
                SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL,
                             reinterpret_cast<LPARAM>(MakeImages()));
                FillList(list);
            } else {
                LVCOLUMNW column = {};
                column.mask = LVCF_TEXT | LVCF_WIDTH;
                column.cx = 200;
                column.pszText = const_cast<wchar_t*>(L"項目");
                SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
                column.pszText = const_cast<wchar_t*>(L"値");
                SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
            }
        }
        return 0;
    }
    case WM_SIZE: {
        HWND toolbar = GetDlgItem(window, 1100);
        SendMessageW(toolbar, WM_SIZE, wParam, lParam);
        RECT bar;
        GetClientRect(toolbar, &bar);
        int w = LOWORD(lParam), h = HIWORD(lParam);
        MoveWindow(GetDlgItem(window, 1000), 0, bar.bottom + 2, w, h - bar.bottom - 124, TRUE);
        MoveWindow(GetDlgItem(window, 1001), 0, h - 120, w, 120, TRUE);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            SetFocus(GetDlgItem(window, 1000));
        return 0;
    case WM_NOTIFY:
        return OnNotify(window, reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case CMD_EXIT:
            DestroyWindow(window);
            return 0;
        case CMD_OPEN:
            DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_TESTDLG), window, TestDialogProc, 0);
            return 0;
        case CMD_COUNT: {
            static int count = 0;
            Sleep(20);
            Report(window, L"count %d", ++count);
            PostMessageW(window, WM_COMMAND, CMD_COUNTED, 0);
            return 0;
        }
        case CMD_COUNTED: {
            static int counted = 0;
            Report(window, L"counted %d", ++counted);
            return 0;
        }
        case CMD_REFRESH:
            MessageBoxW(window, L"更新しました。\n次の行です。", L"テスト", MB_ICONINFORMATION);
            Report(window, L"cmd %d", CMD_REFRESH);
            return 0;
        default:
            Report(window, L"cmd %d", LOWORD(wParam));
            return 0;
        }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand)
{
    g_instance = instance;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDM_TESTWIN);
    windowClass.lpszClassName = L"AmbDriverTestWin";
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, L"AmbDriverTestWin", L"テスト ウィンドウ",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 640, 480, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return 1;
    g_accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_TESTWIN));
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorW(window, g_accelerators, &message) ||
            IsDialogMessageW(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
