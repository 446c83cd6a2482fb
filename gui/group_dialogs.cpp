// The dialogs that create a local group and change one: description and the
// whole membership.
#include "group_dialogs.h"

#include <lm.h>
#include <sddl.h>

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
const wchar_t MembershipError[] =
    L"メンバーシップの設定を変更できませんでした。\n(エラー詳細 : %s)";

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

// ---- Members as the platform reported them ----
//
// An entry that the group had when the settings dialog opened carries, as its
// item data, a copy of the SID the platform reported for it: it goes back by
// that SID, whatever it is shown as (a member without a domain such as
// Everyone, or a deleted account shown as its SID, has no name that the target
// would take). Entries added in the dialog carry 0 and go by name.

PSID ReportedSid(HWND list, int index)
{
    LRESULT data = SendMessageW(list, LB_GETITEMDATA, index, 0);
    return data == LB_ERR ? nullptr : reinterpret_cast<PSID>(data);
}

// A copy of `sid` becomes the item data of entry `index`. Without memory for
// it the entry is kept by name, as one added in the dialog.
void KeepReportedSid(HWND list, int index, PSID sid)
{
    if (index < 0 || sid == nullptr || !IsValidSid(sid))
        return;
    DWORD length = GetLengthSid(sid);
    PSID copy = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length);
    if (copy != nullptr && CopySid(length, copy, sid))
        SendMessageW(list, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(copy));
    else
        FreeBuffer(copy);
}

void DeleteMemberEntry(HWND list, int index)
{
    FreeBuffer(ReportedSid(list, index));
    SendMessageW(list, LB_DELETESTRING, index, 0);
}

void ReleaseReportedSids(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_GROUP_MEMBERS);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = count - 1; i >= 0; --i)
        DeleteMemberEntry(list, i);
}

// From the last entry down, so that a deletion never moves an entry still to
// be visited.
void RemoveSelectedMembers(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_GROUP_MEMBERS);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = count - 1; i >= 0; --i)
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0)
            DeleteMemberEntry(list, i);
}

// The members as the platform takes them: per entry a name buffer (empty for a
// reported member) and a SID, the reported one (the list's) or, once looked
// up, the added member's own (owned here).
struct MemberArray
{
    LOCALGROUP_MEMBERS_INFO_3* entries = nullptr;
    LOCALGROUP_MEMBERS_INFO_0* sids = nullptr;
    DWORD count = 0;

    bool Reported(DWORD i) const
    {
        return entries[i].lgrmi3_domainandname[0] == L'\0';
    }
    ~MemberArray()
    {
        for (DWORD i = 0; entries != nullptr && i < count; ++i) {
            if (sids != nullptr && !Reported(i))
                FreeBuffer(sids[i].lgrmi0_sid);
            FreeBuffer(entries[i].lgrmi3_domainandname);
        }
        if (sids != nullptr)
            HeapFree(GetProcessHeap(), 0, sids);
        if (entries != nullptr)
            HeapFree(GetProcessHeap(), 0, entries);
    }
};

// The target's own name for its accounts, learnt once per OK (a round trip on
// a remote target); `status` says why when it could not be learnt.
struct OwnDomain
{
    LPWSTR name = AllocBuffer(NameChars);
    DWORD status = ERROR_NOT_ENOUGH_MEMORY;

    ~OwnDomain()
    {
        FreeBuffer(name);
    }
};

// An entry with a backslash already names its domain (a member from
// elsewhere, or one shown whole because it is not the target's own) and goes
// as it is; a bare entry is an account of the target and gets the target's own
// name, as MemberName gives it. Returns false, after saying why, when the
// target's name is unknown or a name does not fit.
bool QualifyMember(HWND dialog, LPCWSTR caption, const OwnDomain& own, LPCWSTR entry, LPWSTR member)
{
    bool qualified = wcschr(entry, L'\\') != nullptr;
    if (!qualified && own.name[0] == L'\0') {
        ShowPlatformError(
            dialog,
            L"対象コンピューターのアカウント ドメイン名を取得できませんでした。\n(エラー詳細 : %s)",
            caption, own.status);
        return false;
    }
    bool fits = qualified ? FormatBounded(member, NameChars, L"%s", entry) >= 0
                          : FormatBounded(member, NameChars, L"%s\\%s", own.name, entry) >= 0;
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
// of them cannot be named to the platform. A reported member keeps its SID and
// gets no name.
bool BuildMemberArray(HWND dialog, LPCWSTR caption, MemberArray* members)
{
    HWND list = GetDlgItem(dialog, IDC_GROUP_MEMBERS);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    if (count < 0)
        count = 0;
    // At least one element, so that an empty list still passes an array.
    size_t slots = count > 0 ? static_cast<size_t>(count) : 1;
    members->entries = static_cast<LOCALGROUP_MEMBERS_INFO_3*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LOCALGROUP_MEMBERS_INFO_3) * slots));
    members->sids = static_cast<LOCALGROUP_MEMBERS_INFO_0*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LOCALGROUP_MEMBERS_INFO_0) * slots));
    LPWSTR entry = AllocBuffer(NameChars);
    OwnDomain own;
    bool built = members->entries != nullptr && members->sids != nullptr && entry != nullptr &&
                 own.name != nullptr;
    if (built)
        QualifyingComputerName(own.name, NameChars, &own.status);
    for (int i = 0; built && i < count; ++i) {
        LPWSTR member = AllocBuffer(NameChars);
        if (member == nullptr) {
            built = false;
            break;
        }
        members->entries[members->count].lgrmi3_domainandname = member;
        PSID reported = ReportedSid(list, i);
        members->sids[members->count++].lgrmi0_sid = reported;
        built = reported != nullptr || (ReadMemberEntry(dialog, caption, i, entry) &&
                                        QualifyMember(dialog, caption, own, entry, member));
    }
    FreeBuffer(entry);
    return built;
}

// The SID of a member added by name, looked up on the target; the lookup's
// "no such account" is reported as the member call would report it.
DWORD LookUpMemberSid(LPCWSTR server, LPCWSTR name, PSID* sid)
{
    DWORD sidSize = SECURITY_MAX_SID_SIZE;
    DWORD domainChars = NameChars;
    *sid = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sidSize);
    LPWSTR domain = AllocBuffer(domainChars);
    SID_NAME_USE use = SidTypeUnknown;
    DWORD status = ERROR_NOT_ENOUGH_MEMORY;
    if (*sid != nullptr && domain != nullptr)
        status = LookupAccountNameW(server, name, *sid, &sidSize, domain, &domainChars, &use)
                     ? 0
                     : GetLastError();
    if (status == ERROR_INSUFFICIENT_BUFFER) { // a domain name longer than any NetBIOS name
        FreeBuffer(domain);
        domain = AllocBuffer(domainChars);
        status = domain == nullptr ? ERROR_NOT_ENOUGH_MEMORY
                 : LookupAccountNameW(server, name, *sid, &sidSize, domain, &domainChars, &use)
                     ? 0
                     : GetLastError();
    }
    FreeBuffer(domain);
    if (status == ERROR_NONE_MAPPED)
        status = ERROR_NO_SUCH_MEMBER;
    if (status != 0) {
        FreeBuffer(*sid);
        *sid = nullptr;
    }
    return status;
}

// The SIDs of the entries added in the dialog; the first failure ends it.
DWORD LookUpAddedMembers(LPCWSTR server, MemberArray* members)
{
    for (DWORD i = 0; i < members->count; ++i) {
        if (members->Reported(i))
            continue;
        DWORD status = LookUpMemberSid(server, members->entries[i].lgrmi3_domainandname,
                                       &members->sids[i].lgrmi0_sid);
        if (status != 0)
            return status;
    }
    return 0;
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
// one without a domain, is listed whole. The entry keeps the reported SID.
// A member that nobody here can name (an Entra ID, a deleted account) is
// listed by its SID, and kept by it when the list is stored.
void AddListedMember(HWND list, const LOCALGROUP_MEMBERS_INFO_2& member, LPCWSTR ownDomain)
{
    LPCWSTR name = member.lgrmi2_domainandname;
    bool named = name != nullptr && name[0] != L'\0' &&
                 member.lgrmi2_sidusage != SidTypeDeletedAccount &&
                 member.lgrmi2_sidusage != SidTypeUnknown && member.lgrmi2_sidusage != SidTypeInvalid;
    LPWSTR sidText = nullptr;
    if (!named && (member.lgrmi2_sid == nullptr ||
                   !ConvertSidToStringSidW(member.lgrmi2_sid, &sidText) || sidText == nullptr))
        return;
    LPCWSTR shown = named ? name : sidText;
    const wchar_t* backslash = named ? wcschr(name, L'\\') : nullptr;
    if (backslash != nullptr && SameDomain(name, static_cast<size_t>(backslash - name), ownDomain))
        shown = backslash + 1;
    LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown));
    KeepReportedSid(list, static_cast<int>(index), member.lgrmi2_sid);
    if (sidText != nullptr)
        LocalFree(sidText);
}

// A failed enumeration ends the filling silently: what was read stays. So does
// a page that brings nothing while saying there is more.
void FillMemberList(HWND dialog, LPCWSTR server, LPCWSTR group, LPCWSTR ownDomain)
{
    HWND list = GetDlgItem(dialog, IDC_GROUP_MEMBERS);
    DWORD_PTR resume = 0;
    NET_API_STATUS status;
    DWORD read = 0;
    do {
        LPBYTE buffer = nullptr;
        DWORD total = 0;
        read = 0;
        status = NetLocalGroupGetMembers(server, group, 2, &buffer, MAX_PREFERRED_LENGTH, &read,
                                         &total, &resume);
        if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer != nullptr) {
            auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(buffer);
            for (DWORD i = 0; i < read; ++i)
                AddListedMember(list, members[i], ownDomain);
        }
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
    } while (status == ERROR_MORE_DATA && read > 0);
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

// Creates the group and adds its members in one call; an empty list has no
// member step. Once the group exists the dialog ends, whatever the member step
// says.
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
    if (members.count > 0)
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
            // By SID: the members reported at opening as reported, the added ones
            // as the target names them.
            status = LookUpAddedMembers(server, &members);
            if (status == NERR_Success)
                status = NetLocalGroupSetMembers(
                    server, name, 0, reinterpret_cast<LPBYTE>(members.sids), members.count);
            if (status != NERR_Success)
                ShowPlatformError(dialog, MembershipError, GroupSettingsCaption, status);
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
    case WM_DESTROY:
        ReleaseReportedSids(dialog);
        return FALSE;
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
