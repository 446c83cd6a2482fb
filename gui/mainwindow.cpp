// The main window: toolbar, account list and details pane, the administrator
// check, the first-run welcome, command states, views, help and closing.
#include "mainwindow.h"

#include <commctrl.h>
#include <htmlhelp.h>
#include <lm.h>
#include <shlobj.h>
#include <uxtheme.h>

#include "about_elevation.h"
#include "accountlist.h"
#include "ambcore.h"
#include "commands.h"
#include "dialogsupport.h"
#include "dpi.h"
#include "globals.h"
#include "remote_mode_rename.h"
#include "resource.h"
#include "textformat.h"

namespace {
WNDPROC PreviousAccountListProc = nullptr;
HIMAGELIST AccountImageList = nullptr;
HIMAGELIST ToolbarImageList = nullptr;
// The DPI that the window's pixel sizes are made for; it changes with
// WM_DPICHANGED when the window moves to a monitor of another scale.
UINT WindowDpi = DesignDpi;

// Sizes of the 96-DPI design, in pixels at WindowDpi through Scaled().
constexpr int DetailsPaneHeight = 238;
constexpr int ListGap = 4;
constexpr int ToolbarGap = 2;
constexpr int ToolsPopupIndex = 2;
constexpr int AccountsPopupIndex = 1;

HWND AccountList(HWND window)
{
    return GetDlgItem(window, IDC_ACCOUNT_LIST);
}

HWND DetailsList(HWND window)
{
    return GetDlgItem(window, IDC_DETAILS_LIST);
}

HWND Toolbar(HWND window)
{
    return GetDlgItem(window, IDC_MAIN_TOOLBAR);
}

// The commands that need a selected account.
const int SelectionCommands[] = {CMD_USER_SETTINGS, CMD_DELETE_USER, CMD_GROUP_SETTINGS,
                                 CMD_DELETE_GROUP};

void DisableSelectionCommands(HWND window)
{
    for (int command : SelectionCommands) {
        SetMenuCommandEnabled(window, command, false);
        SetToolbarButtonState(window, command, 0);
    }
    SetMenuCommandEnabled(window, CMD_RENAME, false);
}

// ---- Creation -------------------------------------------------------------

struct ToolbarButtonSpec
{
    int image; // -1 for a separator
    int command;
    BYTE style;
    BYTE state;
    const wchar_t* text; // double-terminated for TB_ADDSTRINGW
};

const ToolbarButtonSpec ToolbarButtons[] = {
    {0, CMD_ADD_USER, BTNS_AUTOSIZE | BTNS_SHOWTEXT, TBSTATE_ENABLED, L"ユーザーの追加\0"},
    {1, CMD_DELETE_USER, BTNS_BUTTON, TBSTATE_ENABLED, L"ユーザーの削除\0"},
    {2, CMD_USER_SETTINGS, BTNS_BUTTON, TBSTATE_ENABLED, L"ユーザーの設定\0"},
    {-1, 0, BTNS_SEP, TBSTATE_ENABLED, nullptr},
    {3, CMD_ADD_GROUP, BTNS_SHOWTEXT, TBSTATE_ENABLED, L"グループの追加\0"},
    {4, CMD_DELETE_GROUP, BTNS_BUTTON, TBSTATE_ENABLED, L"グループの削除\0"},
    {5, CMD_GROUP_SETTINGS, BTNS_BUTTON, TBSTATE_ENABLED, L"グループの設定\0"},
    {-1, 0, BTNS_SEP, TBSTATE_ENABLED, nullptr},
    {6, CMD_REMOTE, BTNS_SHOWTEXT, TBSTATE_ENABLED, L"リモート管理\0"},
    {-1, CMD_REMOTE_SEPARATOR, BTNS_SEP, TBSTATE_ENABLED, nullptr},
    {7, CMD_VIEW_ALL, BTNS_CHECKGROUP | BTNS_SHOWTEXT, TBSTATE_ENABLED | TBSTATE_CHECKED,
     L"すべて表示\0"},
    {8, CMD_VIEW_USERS, BTNS_CHECKGROUP | BTNS_SHOWTEXT, TBSTATE_ENABLED, L"ユーザーのみ表示\0"},
    {9, CMD_VIEW_GROUPS, BTNS_CHECKGROUP | BTNS_SHOWTEXT, TBSTATE_ENABLED, L"グループのみ表示\0"},
    {-1, 0, BTNS_SEP, TBSTATE_ENABLED, nullptr},
    {10, CMD_HELP, BTNS_BUTTON, TBSTATE_ENABLED, L"ヘルプ\0"},
};

int Scaled(int designSize)
{
    return ScaleToDpi(designSize, WindowDpi);
}

// The toolbar bitmaps are drawn at 16, 20, 24 and 32 pixels: the set of the
// size asked for, else the next larger one (shrunk), else the largest (grown).
int ToolbarBitmapFirst(int size)
{
    if (size <= 16)
        return IDB_TOOLBAR_FIRST;
    if (size <= 20)
        return IDB_TOOLBAR_20_FIRST;
    if (size <= 24)
        return IDB_TOOLBAR_24_FIRST;
    return IDB_TOOLBAR_32_FIRST;
}

// Gives the toolbar images of the window's scale and rearranges its buttons.
void SetToolbarImages(HWND toolbar, HINSTANCE instance)
{
    int size = SmallIconSize(WindowDpi);
    int first = ToolbarBitmapFirst(size);
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, IDB_TOOLBAR_COUNT, 0);
    for (int i = 0; images != nullptr && i < IDB_TOOLBAR_COUNT; ++i) {
        HBITMAP bitmap = static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(first + i), IMAGE_BITMAP, size, size, 0));
        if (bitmap != nullptr) {
            ImageList_AddMasked(images, bitmap, RGB(255, 0, 255));
            DeleteObject(bitmap);
        }
    }
    SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
    SendMessageW(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    if (ToolbarImageList != nullptr)
        ImageList_Destroy(ToolbarImageList);
    ToolbarImageList = images;
}

void CreateMainToolbar(HWND window, HINSTANCE instance)
{
    HWND toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                   WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | TBSTYLE_TOOLTIPS |
                                       TBSTYLE_WRAPABLE | TBSTYLE_LIST,
                                   0, 0, 0, 0, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_TOOLBAR)),
                                   instance, nullptr);
    if (toolbar == nullptr)
        return;
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SetWindowLongPtrW(toolbar, GWL_STYLE, GetWindowLongPtrW(toolbar, GWL_STYLE) | TBSTYLE_FLAT);
    SendMessageW(toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);

    SetToolbarImages(toolbar, instance);

    TBBUTTON buttons[ARRAYSIZE(ToolbarButtons)] = {};
    for (size_t i = 0; i < ARRAYSIZE(ToolbarButtons); ++i) {
        const ToolbarButtonSpec& spec = ToolbarButtons[i];
        buttons[i].iBitmap = spec.image < 0 ? 0 : spec.image;
        buttons[i].idCommand = spec.command;
        buttons[i].fsState = spec.state;
        buttons[i].fsStyle = spec.style;
        buttons[i].iString = -1;
        if (spec.text != nullptr)
            buttons[i].iString =
                SendMessageW(toolbar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(spec.text));
    }
    SendMessageW(toolbar, TB_ADDBUTTONSW, ARRAYSIZE(buttons), reinterpret_cast<LPARAM>(buttons));
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
}

struct ColumnSpec
{
    const wchar_t* text;
    int width; // at 96 DPI
};

const ColumnSpec AccountColumns[] = {{L"ユーザー名またはグループ名", 200},
                                     {L"ID", 96},
                                     {L"フル ネーム (通称名)", 256},
                                     {L"説明", 256}};
const ColumnSpec DetailColumns[] = {{L"項目", 200}, {L"値", 512}};

HWND CreateReportList(HWND window, HINSTANCE instance, int id, const ColumnSpec* columns,
                      int columnCount)
{
    HWND list = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
        WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
            LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
        0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (list == nullptr)
        return nullptr;
    for (int i = 0; i < columnCount; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_MINWIDTH;
        column.cx = Scaled(columns[i].width);
        column.cxMin = column.cx;
        column.pszText = const_cast<LPWSTR>(columns[i].text);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SetWindowTheme(list, L"Explorer", nullptr);
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    return list;
}

// Gives the account list its icons at the window's scale, replacing any earlier set.
void SetAccountImageList(HWND list, HINSTANCE instance)
{
    int size = SmallIconSize(WindowDpi);
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 4, 0);
    if (images == nullptr)
        return;
    const int icons[] = {IDI_USER, IDI_USER_DISABLED, IDI_GROUP, IDI_LOCKOUT};
    for (int id : icons) {
        HICON icon = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        if (icon != nullptr) {
            ImageList_AddIcon(images, icon);
            DestroyIcon(icon);
        }
    }
    ImageList_SetOverlayImage(images, AccountImageLockout, 1);
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    if (AccountImageList != nullptr)
        ImageList_Destroy(AccountImageList);
    AccountImageList = images;
}

void DestroyAccountImageList(HWND window)
{
    if (AccountImageList == nullptr)
        return;
    // Detached first: the list would otherwise destroy it a second time.
    HWND list = AccountList(window);
    if (list != nullptr)
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    ImageList_Destroy(AccountImageList);
    AccountImageList = nullptr;
}

void CreateControls(HWND window, HINSTANCE instance)
{
    WindowDpi = DpiForWindow(window);
    CreateMainToolbar(window, instance);
    HWND accounts = CreateReportList(window, instance, IDC_ACCOUNT_LIST, AccountColumns,
                                     ARRAYSIZE(AccountColumns));
    CreateReportList(window, instance, IDC_DETAILS_LIST, DetailColumns, ARRAYSIZE(DetailColumns));
    if (accounts != nullptr)
        SetAccountImageList(accounts, instance);
}

void SendViewCommand(HWND window)
{
    switch (AppSettings.View) {
    case 0:
        SendMessageW(window, WM_COMMAND, CMD_VIEW_ALL, 0);
        break;
    case 1:
        SendMessageW(window, WM_COMMAND, CMD_VIEW_USERS, 0);
        break;
    case 2:
        SendMessageW(window, WM_COMMAND, CMD_VIEW_GROUPS, 0);
        break;
    default:
        // Not a view we know: the list stays empty until the user picks one.
        break;
    }
}

void ShowFirstRunWelcome(HWND window, HINSTANCE instance)
{
    MessageBoxW(
        window,
        L"Ambrelle へようこそ。\n\nAmbrelle を使うと、ユーザー アカウントおよびローカル グループの管理が可能になります。\n\nまずご利用前に、動作モードを基本的な管理を重点としておりほとんどのユーザーにお勧めする「パーソナル モード」と上級ユーザー向けにすべての機能が利用できる「アドバンスト モード」の 2 種類の中から選択してください。",
        L"Ambrelle へようこそ", MB_OK);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_OPERATING_MODE), window, OperatingModeDialogProc,
                    0);
    AppSettings.Welcome = 1;
}

LRESULT OnCreate(HWND window, HINSTANCE instance)
{
    int restricted = 0;
    if (!IsAdministratorMember(&restricted)) {
        MessageBoxW(window, L"Ambrelle を使用するには管理者権限が必要です。", L"Ambrelle",
                    MB_ICONWARNING);
        return -1;
    }
    if (restricted) {
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ELEVATION), window, ElevationDialogProc, 0);
        return -1;
    }
    if (AppSettings.Welcome == 0)
        ShowFirstRunWelcome(window, instance);

    InitCommonControls();
    CreateControls(window, instance);

    for (int command : SelectionCommands) {
        SetMenuCommandEnabled(window, command, false);
        SetToolbarButtonState(window, command, 0);
    }
    SetMenuCommandEnabled(window, CMD_RENAME, false);
    // Until a view has read the list there is nothing to report on.
    SetMenuCommandEnabled(window, CMD_SAVE_REPORT, false);

    SendViewCommand(window);

    HWND list = AccountList(window);
    if (list != nullptr)
        PreviousAccountListProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AccountListSubclassProc)));

    SetMainWindowTitle(window);
    if (AppSettings.Advanced == 0)
        ShowRemoteCommand(window, false);
    if (AppSettings.IsShowBuiltinAccount == 1)
        CheckMenuItem(GetMenu(window), CMD_SHOW_BUILTIN, MF_BYCOMMAND | MF_CHECKED);
    return 0;
}

// ---- Layout, activation, closing -----------------------------------------

void OnSize(HWND window, WPARAM wParam, LPARAM lParam)
{
    int width = LOWORD(lParam);
    int height = HIWORD(lParam);
    HWND toolbar = Toolbar(window);
    int toolbarHeight = 0;
    if (toolbar != nullptr) {
        SendMessageW(toolbar, WM_SIZE, wParam, lParam);
        RECT rect;
        GetClientRect(toolbar, &rect);
        toolbarHeight = rect.bottom;
    }
    int detailsHeight = Scaled(DetailsPaneHeight);
    int listTop = toolbarHeight + Scaled(ToolbarGap);
    int listHeight = height - listTop - Scaled(ListGap) - detailsHeight;
    if (listHeight < 0)
        listHeight = 0;
    if (HWND list = AccountList(window))
        MoveWindow(list, 0, listTop, width, listHeight, TRUE);
    if (HWND details = DetailsList(window))
        MoveWindow(details, 0, height - detailsHeight, width, detailsHeight, TRUE);
}

void LayOut(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    OnSize(window, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

// The window moved to a monitor of another scale: it takes the rectangle the
// platform suggests and redraws its columns, icons and toolbar at the new scale.
void OnDpiChanged(HWND window, HINSTANCE instance, UINT dpi, const RECT* suggested)
{
    UINT previous = WindowDpi;
    WindowDpi = dpi;
    if (HWND list = AccountList(window)) {
        RescaleListColumns(list, previous, dpi);
        SetAccountImageList(list, instance);
    }
    if (HWND details = DetailsList(window))
        RescaleListColumns(details, previous, dpi);
    if (HWND toolbar = Toolbar(window)) {
        SetToolbarImages(toolbar, instance);
        SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    }
    if (suggested != nullptr)
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(window);
}

// Keeps the outer rectangle for the settings, unless minimized or maximized.
void CaptureWindowRectangle(HWND window)
{
    if (IsIconic(window) || IsZoomed(window))
        return;
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return;
    StoreWindowRectangle(rect, SystemDpi(), WindowDpi);
}

void OnClose(HWND window)
{
    CaptureWindowRectangle(window);
    HtmlHelpW(nullptr, nullptr, HH_CLOSE_ALL, 0);
    DestroyAccountImageList(window);
    DestroyWindow(window);
}

// ---- Account list notifications -----------------------------------------

int SelectedCount(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0));
}

// Reads the whole name (column 0, into AccountNameChars) and image index of a
// row; false when there is no such row.
bool ReadAccountRow(HWND list, int row, LPWSTR name, int* image)
{
    name[0] = L'\0';
    if (row < 0)
        return false;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = name;
    item.cchTextMax = static_cast<int>(AccountNameChars);
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
        name[0] = L'\0';
        return false;
    }
    name[AccountNameChars - 1] = L'\0';
    if (image != nullptr)
        *image = item.iImage;
    return true;
}

// The settings command (Enter, double click) or the delete command (Delete)
// of the account in `row`, by its kind.
void SendAccountCommand(HWND window, HWND list, int row, int userCommand, int groupCommand)
{
    LPWSTR name = AllocBuffer(AccountNameChars);
    if (name == nullptr)
        return;
    if (ReadAccountRow(list, row, name, nullptr))
        SendMessageW(window, WM_COMMAND,
                     GetAccountKind(name) == AccountKindUser ? userCommand : groupCommand, 0);
    FreeBuffer(name);
}

void OnSelectionChanged(HWND window, HWND list)
{
    SendMessageW(DetailsList(window), LVM_DELETEALLITEMS, 0, 0);
    LPWSTR name = AllocBuffer(AccountNameChars);
    if (name == nullptr)
        return;
    int selected = SelectedCount(list);
    int image = -1;
    bool haveItem = false;
    if (selected == 1) {
        int row = static_cast<int>(
            SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        haveItem = ReadAccountRow(list, row, name, &image);
    }
    if (haveItem) {
        if (GetAccountKind(name) == AccountKindUser)
            ShowUserDetails(DetailsList(window), name);
        else
            ShowGroupDetails(DetailsList(window), name);
    }

    if (!haveItem) {
        DisableSelectionCommands(window);
    } else {
        bool group = image == AccountImageGroup;
        SetMenuCommandEnabled(window, CMD_USER_SETTINGS, !group);
        SetMenuCommandEnabled(window, CMD_DELETE_USER, !group);
        SetMenuCommandEnabled(window, CMD_GROUP_SETTINGS, group);
        SetMenuCommandEnabled(window, CMD_DELETE_GROUP, group);
        SetToolbarButtonState(window, CMD_USER_SETTINGS, group ? 0 : TBSTATE_ENABLED);
        SetToolbarButtonState(window, CMD_DELETE_USER, group ? 0 : TBSTATE_ENABLED);
        SetToolbarButtonState(window, CMD_GROUP_SETTINGS, group ? TBSTATE_ENABLED : 0);
        SetToolbarButtonState(window, CMD_DELETE_GROUP, group ? TBSTATE_ENABLED : 0);
        SetMenuCommandEnabled(window, CMD_RENAME, selected == 1);
    }
    FreeBuffer(name);
}

// Only changes of the selection matter: focus and other state changes would
// read the same account again.
bool IsSelectionChange(const NMLISTVIEW* change)
{
    if (change->iItem < 0)
        return true;
    if ((change->uChanged & LVIF_STATE) == 0)
        return false;
    return ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) != 0;
}

void ShowAccountsPopup(HWND window, HWND list, POINT point)
{
    ClientToScreen(list, &point);
    HMENU popup = GetSubMenu(GetMenu(window), AccountsPopupIndex);
    if (popup != nullptr)
        TrackPopupMenuEx(popup, 0, point.x, point.y, window, nullptr);
    SendMessageW(window, WM_NULL, 0, 0);
}

LRESULT OnNotify(HWND window, const NMHDR* header)
{
    if (header->idFrom != IDC_ACCOUNT_LIST)
        return 0;
    HWND list = header->hwndFrom;
    switch (header->code) {
    case NM_DBLCLK: {
        auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(header);
        int row = SelectedCount(list) == 1 ? activate->iItem : -1;
        SendAccountCommand(window, list, row, CMD_USER_SETTINGS, CMD_GROUP_SETTINGS);
        break;
    }
    case LVN_KEYDOWN: {
        auto* key = reinterpret_cast<const NMLVKEYDOWN*>(header);
        int row = SelectedCount(list) == 1
                      ? static_cast<int>(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0))
                      : -1;
        if (key->wVKey == VK_RETURN)
            SendAccountCommand(window, list, row, CMD_USER_SETTINGS, CMD_GROUP_SETTINGS);
        else if (key->wVKey == VK_DELETE)
            SendAccountCommand(window, list, row, CMD_DELETE_USER, CMD_DELETE_GROUP);
        break;
    }
    case NM_RCLICK:
        ShowAccountsPopup(window, list, reinterpret_cast<const NMITEMACTIVATE*>(header)->ptAction);
        break;
    case LVN_ITEMCHANGED:
        if (IsSelectionChange(reinterpret_cast<const NMLISTVIEW*>(header)))
            OnSelectionChanged(window, list);
        break;
    }
    return 0;
}

// ---- Commands ----------------------------------------------------------------

void ApplyView(HWND window, int command)
{
    SendMessageW(AccountList(window), LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(DetailsList(window), LVM_DELETEALLITEMS, 0, 0);
    CheckMenuRadioItem(GetMenu(window), CMD_VIEW_ALL, CMD_VIEW_GROUPS, command, MF_BYCOMMAND);

    int kinds = command == CMD_VIEW_USERS    ? AccountListUsers
                : command == CMD_VIEW_GROUPS ? AccountListGroups
                                             : AccountListBoth;
    DWORD status = 0;
    FillAccountList(AccountList(window), kinds, &status);

    for (int view = CMD_VIEW_ALL; view <= CMD_VIEW_GROUPS; ++view)
        SetToolbarButtonState(
            window, view, view == command ? TBSTATE_ENABLED | TBSTATE_CHECKED : TBSTATE_ENABLED);

    bool users = command != CMD_VIEW_GROUPS;
    bool groups = command != CMD_VIEW_USERS;
    SetMenuCommandEnabled(window, CMD_ADD_USER, users);
    SetToolbarButtonState(window, CMD_ADD_USER, users ? TBSTATE_ENABLED : 0);
    SetMenuCommandEnabled(window, CMD_ADD_GROUP, groups);
    SetToolbarButtonState(window, CMD_ADD_GROUP, groups ? TBSTATE_ENABLED : 0);

    AppSettings.View = command - CMD_VIEW_ALL;
    DisableSelectionCommands(window);
    SetMenuCommandEnabled(window, CMD_SAVE_REPORT, true);
    // An empty list would look like a computer without accounts.
    if (status != 0)
        ShowPlatformError(window, L"アカウントの一覧を取得できませんでした。\n(エラー詳細 : %s)",
                          L"一覧の取得エラー", status);
}

void ToggleBuiltinAccounts(HWND window)
{
    AppSettings.IsShowBuiltinAccount = AppSettings.IsShowBuiltinAccount == 0 ? 1 : 0;
    CheckMenuItem(GetMenu(window), CMD_SHOW_BUILTIN,
                  MF_BYCOMMAND | (AppSettings.IsShowBuiltinAccount ? MF_CHECKED : MF_UNCHECKED));
    SendViewCommand(window);
}

void Refresh(HWND window)
{
    SendMessageW(AccountList(window), LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(DetailsList(window), LVM_DELETEALLITEMS, 0, 0);
    SendViewCommand(window);
}

void ShowHelp(HWND window)
{
    if (HtmlHelpW(window, HelpFilePath, HH_DISPLAY_TOPIC,
                  reinterpret_cast<DWORD_PTR>(L"Index.html")) == nullptr)
        AMBMessageBoxW(window, L"ヘルプを表示できません。", L"ヘルプ呼び出しエラー",
                       MB_ICONWARNING);
}

void OnCommand(HWND window, int command)
{
    switch (command) {
    case CMD_EXIT:
        SendMessageW(window, WM_CLOSE, 0, 0);
        break;
    case CMD_ADD_USER:
    case CMD_USER_SETTINGS:
    case CMD_DELETE_USER:
    case CMD_ADD_GROUP:
    case CMD_GROUP_SETTINGS:
    case CMD_DELETE_GROUP:
    case CMD_REMOTE:
    case CMD_OPERATING_MODE:
    case CMD_ABOUT:
    case CMD_RENAME:
    case CMD_SAVE_REPORT:
    case CMD_IMPORT:
    case CMD_POLICY:
    case CMD_OPEN_VAULT:
        RunAccountCommand(window, command);
        break;
    case CMD_SHOW_BUILTIN:
        ToggleBuiltinAccounts(window);
        break;
    case CMD_HELP:
        ShowHelp(window);
        break;
    case CMD_VIEW_ALL:
    case CMD_VIEW_USERS:
    case CMD_VIEW_GROUPS:
        ApplyView(window, command);
        break;
    case CMD_REFRESH:
        Refresh(window);
        break;
    }
}

// Whether `token` (null: this thread's or process's own) holds the
// Administrators SID enabled. A filtered token holds it deny-only: no.
bool TokenHoldsAdministrators(HANDLE token, PSID administrators)
{
    BOOL member = FALSE;
    return CheckTokenMembership(token, administrators, &member) && member;
}

// The restricted case: under UAC the full token of the same logon is the
// process token's linked token (GetTokenInformation, TokenLinkedToken).
bool LinkedTokenHoldsAdministrators(PSID administrators)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    bool member = false;
    if (GetTokenInformation(token, TokenLinkedToken, &linked, sizeof(linked), &size)) {
        member = TokenHoldsAdministrators(linked.LinkedToken, administrators);
        CloseHandle(linked.LinkedToken);
    }
    CloseHandle(token);
    return member;
}

// The policy item of advanced mode follows "動作モードの切り替え".
void InsertPolicyCommand(HMENU tools)
{
    int count = GetMenuItemCount(tools);
    for (int i = 0; i < count; ++i) {
        if (GetMenuItemID(tools, i) == CMD_OPERATING_MODE) {
            InsertMenuW(tools, i + 1, MF_BYPOSITION | MF_STRING, CMD_POLICY,
                        L"パスワードとロックアウトのポリシー(&P)...");
            return;
        }
    }
}
} // namespace

// ---- Shared helpers ------------------------------------------------------------

void SetMenuCommandEnabled(HWND window, int command, bool enabled)
{
    EnableMenuItem(GetMenu(window), command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void SetToolbarButtonState(HWND window, int command, BYTE state)
{
    HWND toolbar = Toolbar(window);
    if (toolbar != nullptr)
        SendMessageW(toolbar, TB_SETSTATE, command, MAKELONG(state, 0));
}

void SetMainWindowTitle(HWND window)
{
    LPWSTR title = AllocBuffer(NameChars);
    if (title == nullptr)
        return;
    if (IsRemoteTarget())
        FormatBounded(title, NameChars, L"Ambrelle - リモート コンピュータ (%s)", TargetServer);
    else
        FormatBounded(title, NameChars, L"Ambrelle - ローカル コンピュータ");
    SetWindowTextW(window, title);
    FreeBuffer(title);
}

void SetLoadingTitle(HWND window)
{
    SetWindowTextW(window, L"Ambrelle - データを取得しています...");
}

void ShowRemoteCommand(HWND window, bool show)
{
    HMENU menu = GetMenu(window);
    DeleteMenu(menu, CMD_REMOTE, MF_BYCOMMAND);
    DeleteMenu(menu, CMD_POLICY, MF_BYCOMMAND);
    if (show) {
        HMENU tools = GetSubMenu(menu, ToolsPopupIndex);
        if (tools != nullptr) {
            InsertMenuW(tools, 0, MF_BYPOSITION | MF_STRING, CMD_REMOTE, L"リモート管理(&R)");
            InsertPolicyCommand(tools);
        }
    }
    DrawMenuBar(window);
    BYTE state = show ? TBSTATE_ENABLED : TBSTATE_HIDDEN;
    SetToolbarButtonState(window, CMD_REMOTE, state);
    SetToolbarButtonState(window, CMD_REMOTE_SEPARATOR, state);
}

// Asks the token rather than the account database: Windows makes domain users
// (directly or through a domain group) and Entra ID role members (S-1-12-1-...)
// administrators without any local name that a membership lookup would find.
int IsAdministratorMember(int* restricted)
{
    BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sidBuffer);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidBuffer, &sidSize))
        return 0;
    int isRestricted = 0;
    if (!TokenHoldsAdministrators(nullptr, sidBuffer)) {
        if (!LinkedTokenHoldsAdministrators(sidBuffer))
            return 0;
        isRestricted = 1;
    }
    if (restricted != nullptr)
        *restricted = isRestricted;
    return 1;
}

LRESULT CALLBACK AccountListSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcW(PreviousAccountListProc, list, message, wParam, lParam);
    if (message == WM_GETDLGCODE) {
        // Keeps IsDialogMessageW from taking Enter away from the list.
        auto* pending = reinterpret_cast<const MSG*>(lParam);
        if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN)
            result |= DLGC_WANTALLKEYS;
    }
    return result;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, instance);
    case WM_DESTROY:
        CloseRemoteConnection();
        if (ToolbarImageList != nullptr) {
            ImageList_Destroy(ToolbarImageList);
            ToolbarImageList = nullptr;
        }
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        OnSize(window, wParam, lParam);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(window, instance, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_ACTIVATE:
        if (wParam == WA_ACTIVE || wParam == WA_CLICKACTIVE) {
            if (HWND list = AccountList(window)) {
                SetFocus(list);
                return 0;
            }
        }
        break;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_QUERYENDSESSION:
        CaptureWindowRectangle(window);
        HtmlHelpW(nullptr, nullptr, HH_CLOSE_ALL, 0);
        return TRUE;
    case WM_ENDSESSION:
        SaveSettings();
        return 0;
    case WM_NOTIFY:
        return OnNotify(window, reinterpret_cast<const NMHDR*>(lParam));
    case WM_GETDLGCODE:
        return 0;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
