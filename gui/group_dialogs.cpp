// The dialogs that create a local group and change one: description and the
// whole membership.
#include "group_dialogs.h"

#include <lm.h>

#include "accountlist.h"
#include "ambcore.h"
#include "dialogsupport.h"
#include "errortext.h"
#include "globals.h"
#include "pickers.h"
#include "resource.h"
#include "textformat.h"

namespace {
// Group names and descriptions take 256 characters; read with the terminator.
constexpr size_t GroupTextChars = NameChars + 1;

const wchar_t AddGroupCaption[] = L"グループ作成エラー";
const wchar_t GroupSettingsCaption[] = L"グループ設定エラー";

void ReportLongMemberName(HWND dialog, LPCWSTR entry, LPCWSTR caption)
{
    LPWSTR message = AllocBuffer(MessageChars);
    if (message != nullptr) {
        FormatBounded(message, MessageChars, L"メンバー名が長すぎます。\n%s", entry);
        AMBMessageBoxW(dialog, message, caption, MB_ICONWARNING);
    }
    FreeBuffer(message);
}

// ---- The member list (504 and 505 alike) ----

void OpenUserPicker(HWND dialog)
{
    AMBDialogBoxParamW(InstanceOf(dialog), IDD_PICKER, dialog, UserPickerProc, 0);
}

void OpenTypedNames(HWND dialog)
{
    AMBDialogBoxParamW(InstanceOf(dialog), IDD_TYPED_NAMES, dialog, TypedNamesDialogProc, 0);
}

// Typing names is for advanced mode; personal mode goes straight to the list
// of users. The menu's choice comes back as WM_COMMAND 50000 or 50001.
void AddMembers(HWND dialog)
{
    if (AppSettings.Advanced == 0) {
        OpenUserPicker(dialog);
        return;
    }
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return;
    AppendMenuW(menu, MF_STRING, CMD_PICK_USERS, L"ユーザー一覧から選択して追加(&U)");
    AppendMenuW(menu, MF_STRING, CMD_TYPE_NAMES, L"ユーザー名を入力して追加(&S)");
    POINT cursor = {};
    GetCursorPos(&cursor);
    TrackPopupMenuEx(menu, 0, cursor.x, cursor.y, dialog, nullptr);
    DestroyMenu(menu);
    // Lets the menu's own loop end properly before the next input.
    SendMessageW(dialog, WM_NULL, 0, 0);
}

// From the last entry down, so that a deletion never moves an entry still to
// be visited.
void RemoveSelectedMembers(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_GROUP_MEMBERS);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = count - 1; i >= 0; --i)
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0)
            SendMessageW(list, LB_DELETESTRING, i, 0);
}

// The members as the platform takes them, one name buffer per entry.
struct MemberArray
{
    LOCALGROUP_MEMBERS_INFO_3* entries = nullptr;
    DWORD count = 0;

    ~MemberArray()
    {
        if (entries == nullptr)
            return;
        for (DWORD i = 0; i < count; ++i)
            FreeBuffer(entries[i].lgrmi3_domainandname);
        HeapFree(GetProcessHeap(), 0, entries);
    }
};

// An entry with a backslash already names its domain (a member from
// elsewhere, or one shown whole because it is not the target's own) and goes
// as it is; a bare entry is an account of the target and gets the target's own
// name `ownDomain`, as MemberName gives it. Returns false, after saying which
// entry, when a name does not fit.
bool QualifyMember(HWND dialog, LPCWSTR caption, LPCWSTR ownDomain, LPCWSTR entry, LPWSTR member)
{
    bool fits = wcschr(entry, L'\\') != nullptr
                    ? FormatBounded(member, NameChars, L"%s", entry) >= 0
                    : ownDomain[0] != L'\0' &&
                          FormatBounded(member, NameChars, L"%s\\%s", ownDomain, entry) >= 0;
    if (!fits)
        ReportLongMemberName(dialog, entry, caption);
    return fits;
}

// Reads entry `index` into `entry` of NameChars. An entry too long for it is
// refused by name, as far as it can be shown.
bool ReadMemberEntry(HWND dialog, LPCWSTR caption, int index, LPWSTR entry)
{
    HWND list = GetDlgItem(dialog, IDC_GROUP_MEMBERS);
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length >= 0 && static_cast<size_t>(length) < NameChars) {
        SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(entry));
        return true;
    }
    LPWSTR whole = AllocBuffer(MessageChars);
    if (whole != nullptr && length >= 0 && static_cast<size_t>(length) < MessageChars)
        SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(whole));
    ReportLongMemberName(dialog, whole != nullptr ? whole : L"", caption);
    FreeBuffer(whole);
    return false;
}

// Every entry of the list in list order, or false (nothing to store) when one
// of them cannot be named to the platform.
bool BuildMemberArray(HWND dialog, LPCWSTR caption, MemberArray* members)
{
    int count = static_cast<int>(SendDlgItemMessageW(dialog, IDC_GROUP_MEMBERS, LB_GETCOUNT, 0, 0));
    if (count < 0)
        count = 0;
    // At least one element, so that an empty list still passes an array.
    members->entries = static_cast<LOCALGROUP_MEMBERS_INFO_3*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                  sizeof(LOCALGROUP_MEMBERS_INFO_3) * (count > 0 ? count : 1)));
    LPWSTR entry = AllocBuffer(NameChars);
    // Learnt once for all entries: on a remote target it is a round trip.
    LPWSTR ownDomain = AllocBuffer(NameChars);
    bool built = members->entries != nullptr && entry != nullptr && ownDomain != nullptr;
    if (built)
        QualifyingComputerName(ownDomain, NameChars);
    for (int i = 0; built && i < count; ++i) {
        LPWSTR member = AllocBuffer(NameChars);
        if (member == nullptr) {
            built = false;
            break;
        }
        members->entries[members->count++].lgrmi3_domainandname = member;
        built = ReadMemberEntry(dialog, caption, i, entry) &&
                QualifyMember(dialog, caption, ownDomain, entry, member);
    }
    FreeBuffer(ownDomain);
    FreeBuffer(entry);
    return built;
}

// Whether `domain` (its first `length` characters) is `name`, the letters A
// to Z compared without regard to case.
bool SameDomain(LPCWSTR domain, size_t length, LPCWSTR name)
{
    auto upper = [](WCHAR c) {
        return c >= L'a' && c <= L'z' ? static_cast<WCHAR>(c - L'a' + L'A') : c;
    };
    for (size_t i = 0; i < length; ++i)
        if (name[i] == L'\0' || upper(domain[i]) != upper(name[i]))
            return false;
    return name[length] == L'\0';
}

// The target's own accounts are listed bare; a member from anywhere else, or
// one without a domain, is listed whole.
void AddListedMember(HWND list, LPCWSTR member, LPCWSTR ownDomain)
{
    const wchar_t* backslash = wcschr(member, L'\\');
    LPCWSTR shown = member;
    if (backslash != nullptr &&
        SameDomain(member, static_cast<size_t>(backslash - member), ownDomain))
        shown = backslash + 1;
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown));
}

// A failed enumeration ends the filling silently: what was read stays.
void FillMemberList(HWND dialog, LPCWSTR server, LPCWSTR group, LPCWSTR ownDomain)
{
    HWND list = GetDlgItem(dialog, IDC_GROUP_MEMBERS);
    DWORD_PTR resume = 0;
    NET_API_STATUS status;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetLocalGroupGetMembers(server, group, 3, &buffer, MAX_PREFERRED_LENGTH, &read,
                                         &total, &resume);
        if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer != nullptr) {
            auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_3*>(buffer);
            for (DWORD i = 0; i < read; ++i)
                if (members[i].lgrmi3_domainandname != nullptr)
                    AddListedMember(list, members[i].lgrmi3_domainandname, ownDomain);
        }
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
    } while (status == ERROR_MORE_DATA);
}

// Commands shared by both dialogs; true when `command` was one of them.
bool HandleMemberCommand(HWND dialog, WORD command)
{
    switch (command) {
    case IDC_GROUP_ADD_MEMBERS:
        AddMembers(dialog);
        return true;
    case IDC_GROUP_REMOVE_MEMBERS:
        RemoveSelectedMembers(dialog);
        return true;
    case CMD_PICK_USERS:
        OpenUserPicker(dialog);
        return true;
    case CMD_TYPE_NAMES:
        OpenTypedNames(dialog);
        return true;
    }
    return false;
}

// ---- AddGroupDialog ----

// Creates the group and adds its members in one call, also for an empty
// list. Once the group exists the dialog ends, whatever the member step says.
void StoreNewGroup(HWND dialog, LPCWSTR server, LPWSTR name, LPWSTR comment,
                   const MemberArray& members)
{
    LOCALGROUP_INFO_1 info = {name, comment};
    NET_API_STATUS status = NetLocalGroupAdd(server, 1, reinterpret_cast<LPBYTE>(&info), nullptr);
    if (status != NERR_Success) {
        ShowPlatformError(dialog, L"ローカル グループを作成できませんでした。\n(エラー詳細 : %s)",
                          AddGroupCaption, status);
        return;
    }
    status = NetLocalGroupAddMembers(server, name, 3, reinterpret_cast<LPBYTE>(members.entries),
                                     members.count);
    if (status != NERR_Success)
        ShowPlatformError(
            dialog,
            L"ローカル グループの作成は完了しましたが、ユーザーを追加できませんでした。\n(エラー詳細 : %s)",
            AddGroupCaption, status);
    EndDialog(dialog, 1);
}

// The members are named before anything is stored, so that a name that
// cannot be given leaves no group behind.
void CreateGroup(HWND dialog)
{
    LPWSTR name = AllocBuffer(GroupTextChars);
    LPWSTR comment = AllocBuffer(GroupTextChars);
    LPWSTR server = AllocServerArgument();
    if (name != nullptr && comment != nullptr && (server != nullptr || !IsRemoteTarget())) {
        GetDlgItemTextW(dialog, IDC_GROUP_NAME, name, static_cast<int>(GroupTextChars));
        GetDlgItemTextW(dialog, IDC_GROUP_COMMENT, comment, static_cast<int>(GroupTextChars));
        MemberArray members;
        if (name[0] == L'\0')
            AMBMessageBoxW(dialog, L"グループ名を入力してください。", AddGroupCaption,
                           MB_ICONWARNING);
        else if (BuildMemberArray(dialog, AddGroupCaption, &members))
            StoreNewGroup(dialog, server, name, comment, members);
    }
    FreeBuffer(server);
    FreeBuffer(comment);
    FreeBuffer(name);
}

void InitAddGroupDialog(HWND dialog)
{
    SendDlgItemMessageW(dialog, IDC_GROUP_NAME, EM_LIMITTEXT, NameChars, 0);
    SendDlgItemMessageW(dialog, IDC_GROUP_COMMENT, EM_LIMITTEXT, NameChars, 0);
}

// ---- GroupSettingsDialog ----

// Shows the group's record and members. Returns false, after saying why, when
// the group cannot be read (deleted meanwhile, access denied).
bool InitGroupSettingsDialog(HWND dialog, LPCWSTR group)
{
    LPWSTR server = AllocServerArgument();
    LPWSTR ownDomain = AllocBuffer(NameChars);
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = ERROR_NOT_ENOUGH_MEMORY;
    if (ownDomain != nullptr && (server != nullptr || !IsRemoteTarget()) && group != nullptr) {
        // Members come back qualified with the name the target gives itself,
        // which is not the address a remote target may have been typed as.
        QualifyingComputerName(ownDomain, NameChars);
        status = NetLocalGroupGetInfo(server, group, 1, &buffer);
    }
    if (status == NERR_Success && buffer != nullptr) {
        auto* record = reinterpret_cast<LOCALGROUP_INFO_1*>(buffer);
        SetDlgItemTextW(dialog, IDC_GROUP_NAME, record->lgrpi1_name);
        SetDlgItemTextW(dialog, IDC_GROUP_COMMENT,
                        record->lgrpi1_comment != nullptr ? record->lgrpi1_comment : L"");
        SendDlgItemMessageW(dialog, IDC_GROUP_COMMENT, EM_LIMITTEXT, NameChars, 0);
        FillMemberList(dialog, server, record->lgrpi1_name, ownDomain);
    } else {
        ShowPlatformError(dialog,
                          L"ローカル グループの情報を取得できませんでした。\n(エラー詳細 : %s)",
                          GroupSettingsCaption, status);
    }
    bool shown = status == NERR_Success;
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    FreeBuffer(ownDomain);
    FreeBuffer(server);
    return shown;
}

// The description first; then the list replaces the whole membership (an
// empty list empties the group). Members that cannot be named stop both.
void StoreGroupSettings(HWND dialog)
{
    LPWSTR name = AllocBuffer(GroupTextChars);
    LPWSTR comment = AllocBuffer(GroupTextChars);
    LPWSTR server = AllocServerArgument();
    MemberArray members;
    if (name != nullptr && comment != nullptr && (server != nullptr || !IsRemoteTarget()) &&
        BuildMemberArray(dialog, GroupSettingsCaption, &members)) {
        GetDlgItemTextW(dialog, IDC_GROUP_NAME, name, static_cast<int>(GroupTextChars));
        GetDlgItemTextW(dialog, IDC_GROUP_COMMENT, comment, static_cast<int>(GroupTextChars));
        LOCALGROUP_INFO_1 info = {name, comment};
        NET_API_STATUS status =
            NetLocalGroupSetInfo(server, name, 1, reinterpret_cast<LPBYTE>(&info), nullptr);
        if (status != NERR_Success) {
            ShowPlatformError(dialog,
                              L"ローカル グループの設定を変更できませんでした。\n(エラー詳細 : %s)",
                              GroupSettingsCaption, status);
        } else {
            status = NetLocalGroupSetMembers(
                server, name, 3, reinterpret_cast<LPBYTE>(members.entries), members.count);
            if (status != NERR_Success)
                ShowPlatformError(
                    dialog, L"メンバーシップの設定を変更できませんでした。\n(エラー詳細 : %s)",
                    GroupSettingsCaption, status);
            else
                EndDialog(dialog, 1);
        }
    }
    FreeBuffer(server);
    FreeBuffer(comment);
    FreeBuffer(name);
}
} // namespace

INT_PTR CALLBACK AddGroupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAddGroupDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            CreateGroup(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        return HandleMemberCommand(dialog, LOWORD(wParam)) ? TRUE : FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK GroupSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!InitGroupSettingsDialog(dialog, reinterpret_cast<LPCWSTR>(lParam)))
            EndDialog(dialog, 2);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            StoreGroupSettings(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        return HandleMemberCommand(dialog, LOWORD(wParam)) ? TRUE : FALSE;
    }
    return FALSE;
}
