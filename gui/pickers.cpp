// The pickers that fill a list box of the dialog that opened them: local
// groups or users chosen from the target computer, and user names typed by hand.
#include "pickers.h"

#include <commctrl.h>
#include <lm.h>
#include <uxtheme.h>

#include "accountlist.h"
#include "ambcore.h"
#include "dpi.h"
#include "globals.h"
#include "resource.h"
#include "textformat.h"

namespace {

// The opener's list that receives the names: the group list of the user
// dialogs, the member list of the group dialogs.
constexpr int OwnerGroupList = 1005;
constexpr int OwnerMemberList = 1002;

constexpr int PickerImageAccount = 0;
constexpr int PickerImageDisabled = 1;
constexpr DWORD UsersPerPage = 100;
// Names shown in a refusal are cut to this many characters, so that the
// message box stays readable whatever was typed.
constexpr size_t ShownNameChars = 64;

// What tells the group picker from the user picker; everything else is shared.
struct PickerKind
{
    LPCWSTR title;
    LPCWSTR nameColumn;
    LPCWSTR secondColumn;
    // Appends the rows; true when the enumeration ended with success.
    bool (*fill)(HWND list);
    int ownerListBox;
    LPCWSTR overlongMessage; // "%s": the name, shortened
};

// Appends one row; lParam keeps the name's length, so that OK can tell a
// name that no 256-character buffer holds from a shorter one.
void AppendPickerRow(HWND list, LPCWSTR name, int image, LPCWSTR second)
{
    if (name == nullptr)
        return;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<LPWSTR>(name);
    item.iImage = image;
    item.lParam = static_cast<LPARAM>(wcslen(name));
    int row =
        static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return;
    LVITEMW cell = {};
    cell.iSubItem = 1;
    cell.pszText = const_cast<LPWSTR>(second != nullptr ? second : L"");
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

bool FillLocalGroups(HWND list)
{
    NET_API_STATUS status;
    DWORD_PTR resume = 0;
    do {
        LPBYTE buffer = nullptr;
        DWORD count = 0;
        DWORD total = 0;
        status = NetLocalGroupEnum(TargetServer, 1, &buffer, MAX_PREFERRED_LENGTH, &count, &total,
                                   &resume);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            auto* groups = reinterpret_cast<LOCALGROUP_INFO_1*>(buffer);
            for (DWORD i = 0; groups != nullptr && i < count; ++i)
                AppendPickerRow(list, groups[i].lgrpi1_name, PickerImageAccount,
                                groups[i].lgrpi1_comment);
        }
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
        // A page that says "more" but brings nothing would never end.
        if (status == ERROR_MORE_DATA && count == 0)
            return false;
    } while (status == ERROR_MORE_DATA);
    return status == NERR_Success;
}

// Every account is listed, built-in and disabled ones too: any of them may
// become a member.
bool FillUsers(HWND list)
{
    NET_API_STATUS status;
    DWORD index = 0;
    do {
        PVOID buffer = nullptr;
        DWORD count = 0;
        status = NetQueryDisplayInformation(TargetServer, 1, index, UsersPerPage,
                                            MAX_PREFERRED_LENGTH, &count, &buffer);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            auto* users = static_cast<NET_DISPLAY_USER*>(buffer);
            for (DWORD i = 0; users != nullptr && i < count; ++i) {
                int image = (users[i].usri1_flags & UF_ACCOUNTDISABLE) != 0 ? PickerImageDisabled
                                                                            : PickerImageAccount;
                AppendPickerRow(list, users[i].usri1_name, image, users[i].usri1_full_name);
                index = users[i].usri1_next_index;
            }
        }
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
        if (status == ERROR_MORE_DATA && count == 0)
            return false;
    } while (status == ERROR_MORE_DATA);
    return status == NERR_Success;
}

const PickerKind GroupPickerKind = {
    L"グループの追加", // title
    L"グループ名",     // first column
    L"説明",           // second column
    FillLocalGroups,
    OwnerGroupList,
    L"次のグループ名は長すぎるため追加できません (255 文字まで)。\n%s",
};
const PickerKind UserPickerKind = {
    L"ユーザーの追加",       // title
    L"ユーザー名",           // first column
    L"フル ネーム (通称名)", // second column
    FillUsers,
    OwnerMemberList,
    L"次のユーザー名は長すぎるため追加できません (255 文字まで)。\n%s",
};

HWND OwnerListBox(HWND dialog, int id)
{
    return GetDlgItem(GetWindow(dialog, GW_OWNER), id);
}

void AppendUnlessListed(HWND listBox, LPCWSTR name)
{
    if (listBox != nullptr && !ListBoxContains(listBox, name))
        SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

// Refuses a name that is too long to be an entry of the owner's list, naming
// it (cut at ShownNameChars with an ellipsis) in `format`.
void ReportOverlongName(HWND dialog, LPCWSTR format, LPCWSTR caption, LPCWSTR name, size_t length)
{
    LPWSTR shown = AllocBuffer(NameChars);
    LPWSTR message = AllocBuffer(MessageChars);
    if (shown != nullptr && message != nullptr) {
        size_t kept = length > ShownNameChars ? ShownNameChars : length;
        for (size_t i = 0; i < kept; ++i)
            shown[i] = name[i];
        if (kept < length)
            shown[kept] = L'\x2026';
        FormatBounded(message, MessageChars, format, shown);
        AMBMessageBoxW(dialog, message, caption, MB_ICONWARNING);
    }
    FreeBuffer(message);
    FreeBuffer(shown);
}

HIMAGELIST CreatePickerImageList(HWND dialog, UINT dpi)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    int size = SmallIconSize(dpi);
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32, 3, 5);
    if (images == nullptr)
        return nullptr;
    // Loaded at the list's scale, not shared (a shared icon keeps one size):
    // the image list keeps a copy.
    const int icons[] = {IDI_USER, IDI_USER_DISABLED};
    for (int id : icons) {
        HICON icon = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        if (icon != nullptr) {
            ImageList_AddIcon(images, icon);
            DestroyIcon(icon);
        }
    }
    return images;
}

void InitPicker(HWND dialog, const PickerKind& kind)
{
    SetWindowTextW(dialog, kind.title);
    HWND list = GetDlgItem(dialog, IDC_PICKER_LIST);
    HIMAGELIST images = CreatePickerImageList(dialog, DpiForWindow(dialog));
    if (images != nullptr)
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    const DWORD styles =
        LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
    DWORD current = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, current | styles);
    const LPCWSTR titles[] = {kind.nameColumn, kind.secondColumn};
    const int widths[] = {200, 256}; // at 96 DPI
    UINT dpi = DpiForWindow(dialog);
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_MINWIDTH;
        column.cx = ScaleToDpi(widths[i], dpi);
        column.cxMin = column.cx;
        column.pszText = const_cast<LPWSTR>(titles[i]);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    if (kind.fill(list))
        SetWindowTheme(list, L"Explorer", nullptr);
}

// Reads row `row` if it is checked (state image 1 is the unchecked box).
// Returns false for an unchecked row; `length` is the name's full length.
bool ReadCheckedRow(HWND list, int row, LPWSTR name, size_t* length)
{
    UINT state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    if ((state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(1))
        return false;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = name;
    item.cchTextMax = static_cast<int>(NameChars);
    name[0] = L'\0';
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    *length = static_cast<size_t>(item.lParam);
    return true;
}

// OK: the checked names go to the owner's list, first row first. A name that
// would be cut on its way there is refused and nothing is added, so the user
// never gets a different account than the one checked. Returns false when
// the dialog stays open.
bool AppendCheckedRows(HWND dialog, const PickerKind& kind)
{
    HWND list = GetDlgItem(dialog, IDC_PICKER_LIST);
    LPWSTR name = AllocBuffer(NameChars);
    if (name == nullptr)
        return false;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    size_t length = 0;
    for (int row = 0; row < count; ++row) {
        if (ReadCheckedRow(list, row, name, &length) && length >= NameChars) {
            ReportOverlongName(dialog, kind.overlongMessage, kind.title, name, length);
            FreeBuffer(name);
            return false;
        }
    }
    HWND target = OwnerListBox(dialog, kind.ownerListBox);
    for (int row = 0; row < count; ++row) {
        if (ReadCheckedRow(list, row, name, &length))
            AppendUnlessListed(target, name);
    }
    FreeBuffer(name);
    return true;
}

// Detached first, so that the list does not release it a second time.
void ReleasePickerImageList(HWND dialog)
{
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(
        SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_SETIMAGELIST, LVSIL_SMALL, 0));
    if (images != nullptr)
        ImageList_Destroy(images);
}

// Moved to a monitor of another scale: columns and icons follow.
void RescalePicker(HWND dialog, UINT dpi)
{
    const int lists[] = {IDC_PICKER_LIST};
    RescaleDialogLists(dialog, dpi, lists, 1);
    ReleasePickerImageList(dialog);
    if (HIMAGELIST images = CreatePickerImageList(dialog, dpi))
        SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_SETIMAGELIST, LVSIL_SMALL,
                            reinterpret_cast<LPARAM>(images));
}

INT_PTR PickerProc(const PickerKind& kind, HWND dialog, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitPicker(dialog, kind);
        NoteDialogDpi(dialog, DpiForWindow(dialog));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (AppendCheckedRows(dialog, kind))
                EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    case WM_DPICHANGED:
        RescalePicker(dialog, HIWORD(wParam));
        break; // the dialog manager resizes the dialog and its font
    case WM_DESTROY:
        ReleasePickerImageList(dialog);
        ForgetDialogDpi(dialog);
        break;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK GroupPickerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return PickerProc(GroupPickerKind, dialog, message, wParam);
}

INT_PTR CALLBACK UserPickerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return PickerProc(UserPickerKind, dialog, message, wParam);
}

namespace {

// Semicolons and line breaks (a pasted column of names) separate names: no
// account name contains either.
bool IsSeparator(WCHAR c)
{
    return c == L';' || c == L'\r' || c == L'\n';
}

// The next token of `text` from `*position` on: separators never make an empty
// token; everything else, blanks too, belongs to a token.
bool NextToken(LPCWSTR text, size_t* position, size_t* start, size_t* length)
{
    size_t i = *position;
    while (IsSeparator(text[i]))
        ++i;
    if (text[i] == L'\0')
        return false;
    *start = i;
    while (text[i] != L'\0' && !IsSeparator(text[i]))
        ++i;
    *length = i - *start;
    *position = i;
    return true;
}

// OK: every token must fit an entry of the owner's list (255 characters)
// before any is added, so a refused OK changes nothing. Returns false when the
// dialog stays open.
bool AppendTypedNames(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, IDC_TYPED_NAMES);
    size_t chars = static_cast<size_t>(GetWindowTextLengthW(edit)) + 1;
    LPWSTR text = AllocBuffer(chars);
    LPWSTR name = AllocBuffer(NameChars);
    if (text == nullptr || name == nullptr) {
        FreeBuffer(name);
        FreeBuffer(text);
        return false;
    }
    GetWindowTextW(edit, text, static_cast<int>(chars));
    size_t position = 0;
    size_t start = 0;
    size_t length = 0;
    while (NextToken(text, &position, &start, &length)) {
        if (length >= NameChars) {
            ReportOverlongName(dialog,
                               L"次のユーザー名は長すぎます。255 文字以内で入力してください。\n%s",
                               L"ユーザーの追加", text + start, length);
            FreeBuffer(name);
            FreeBuffer(text);
            return false;
        }
    }
    HWND target = OwnerListBox(dialog, OwnerMemberList);
    position = 0;
    while (NextToken(text, &position, &start, &length)) {
        for (size_t i = 0; i < length; ++i)
            name[i] = text[start + i];
        name[length] = L'\0';
        AppendUnlessListed(target, name);
    }
    FreeBuffer(name);
    FreeBuffer(text);
    return true;
}

} // namespace

INT_PTR CALLBACK TypedNamesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        // No limit: the names are checked one by one at OK.
        SendDlgItemMessageW(dialog, IDC_TYPED_NAMES, EM_LIMITTEXT, 0, 0);
        SetFocus(GetDlgItem(dialog, IDC_TYPED_NAMES));
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (AppendTypedNames(dialog))
                EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
