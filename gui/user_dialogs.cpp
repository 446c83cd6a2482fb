// The dialogs that create a local user and change one: the option check
// boxes, the group list and the writes behind OK, shared by the advanced and
// the personal templates.
#include "user_dialogs.h"

#include <lm.h>

#include "accountlist.h"
#include "ambcore.h"
#include "dialogsupport.h"
#include "errortext.h"
#include "globals.h"
#include "hours_expiry.h"
#include "password_profile.h"
#include "pickers.h"
#include "resource.h"
#include "textformat.h"

namespace {
// User names have at most 20 characters; passwords at most 127.
constexpr size_t UserNameChars = 24;
constexpr size_t PasswordChars = 128;
// Full name, description and local-group names take 256 characters and the
// terminator.
constexpr size_t TextChars = NameChars + 1;

const wchar_t AddErrorCaption[] = L"ユーザー作成エラー";
const wchar_t SettingsErrorCaption[] = L"ユーザー アカウント設定エラー";
const wchar_t SettingsErrorText[] =
    L"ユーザー アカウントの設定を変更できませんでした。\n(エラー詳細 : %s)";
const wchar_t MembershipWarning[] =
    L"次のグループの所属を変更できませんでした。\n%s\n(エラー詳細 : %s)";
// The line of the warning when the account's groups could not be read, so that
// none of them could be left.
const wchar_t UnreadGroupsLine[] =
    L"(所属グループを取得できなかったため、グループから外せませんでした)";

bool IsAdvancedMode()
{
    return AppSettings.Advanced != 0;
}

bool IsChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// A control that the personal template lacks is left alone.
void EnableControl(HWND dialog, int id, bool enable)
{
    HWND control = GetDlgItem(dialog, id);
    if (control != nullptr)
        EnableWindow(control, enable ? TRUE : FALSE);
}

void SetLimit(HWND dialog, int id, int limit)
{
    SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, limit, 0);
}

// 1008 and the pair 1009/1010 exclude each other. A click only changes which
// boxes can be clicked; what is checked stays as the user left it.
void FollowOptionClick(HWND dialog, int id)
{
    bool checked = IsChecked(dialog, id);
    if (id == IDC_USER_MUST_CHANGE) {
        EnableControl(dialog, IDC_USER_CANT_CHANGE, !checked);
        EnableControl(dialog, IDC_USER_NEVER_EXPIRES, !checked);
        return;
    }
    int other = id == IDC_USER_CANT_CHANGE ? IDC_USER_NEVER_EXPIRES : IDC_USER_CANT_CHANGE;
    if (checked)
        EnableControl(dialog, IDC_USER_MUST_CHANGE, false);
    else if (!IsChecked(dialog, other))
        EnableControl(dialog, IDC_USER_MUST_CHANGE, true);
}

// From the last entry to the first, so that a deletion never moves an entry
// still to be visited.
void RemoveSelectedGroups(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_USER_GROUPS);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int index = count - 1; index >= 0; --index)
        if (SendMessageW(list, LB_GETSEL, index, 0) > 0)
            SendMessageW(list, LB_DELETESTRING, index, 0);
}

// The picker appends to list box 1005 itself.
void PickGroups(HWND dialog)
{
    AMBDialogBoxParamW(InstanceOf(dialog), IDD_PICKER, dialog, GroupPickerProc, 0);
}

// Commands that both dialogs handle alike. Returns TRUE when handled.
INT_PTR RunListAndOptionCommand(HWND dialog, int id, int notification)
{
    if (notification != BN_CLICKED)
        return FALSE;
    switch (id) {
    case IDC_USER_GROUP_ADD:
        PickGroups(dialog);
        return TRUE;
    case IDC_USER_GROUP_REMOVE:
        RemoveSelectedGroups(dialog);
        return TRUE;
    case IDC_USER_MUST_CHANGE:
    case IDC_USER_CANT_CHANGE:
    case IDC_USER_NEVER_EXPIRES:
        FollowOptionClick(dialog, id);
        return TRUE;
    }
    return FALSE;
}

// Entry `index` of the group list into `group` of TextChars.
bool ReadListedGroup(HWND list, int index, LPWSTR group)
{
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length >= static_cast<LRESULT>(TextChars))
        return false;
    return SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(group)) != LB_ERR;
}

// Whole names only, one per line: a name cut short could be taken for
// another group. What does not fit is marked once.
void NoteFailure(MembershipFailures* failures, LPCWSTR group, DWORD status)
{
    if (failures == nullptr)
        return;
    if (failures->count++ == 0)
        failures->firstError = status;
    if (failures->names == nullptr)
        return;
    const wchar_t more[] = L"\n...";
    size_t used = wcslen(failures->names);
    if (used >= 4 && wcscmp(failures->names + used - 4, more) == 0)
        return;
    size_t needed = (used > 0 ? 1 : 0) + wcslen(group);
    size_t room = FailedGroupNamesChars - (sizeof(more) / sizeof(more[0]));
    if (used + needed < room)
        FormatBounded(failures->names + used, FailedGroupNamesChars - used,
                      used > 0 ? L"\n%s" : L"%s", group);
    else
        FormatBounded(failures->names + used, FailedGroupNamesChars - used, L"%s", more);
}

void ShowMembershipFailures(HWND dialog, const MembershipFailures& failures, LPCWSTR caption)
{
    if (failures.count == 0)
        return;
    LPWSTR errorText = FormatErrorText(failures.firstError);
    LPWSTR message = AllocBuffer(MessageChars);
    if (message != nullptr) {
        FormatBounded(message, MessageChars, MembershipWarning,
                      failures.names != nullptr ? failures.names : L"",
                      errorText != nullptr ? errorText : L"");
        AMBMessageBoxW(dialog, message, caption, MB_ICONWARNING);
    }
    FreeBuffer(message);
    if (errorText != nullptr)
        LocalFree(errorText);
}

// Adds the account under its member name to every listed group, first to
// last. A group that already holds the account refuses without effect, which
// is no failure.
void AddToListedGroups(HWND dialog, LPCWSTR server, LPCWSTR accountName,
                       MembershipFailures* failures)
{
    HWND list = GetDlgItem(dialog, IDC_USER_GROUPS);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    LPWSTR member = AllocBuffer(NameChars);
    LPWSTR group = AllocBuffer(TextChars);
    if (count > 0 && member != nullptr && group != nullptr) {
        // Without a member name every group fails for the reason it could not be made.
        DWORD nameStatus = 0;
        bool named = MemberName(accountName, member, NameChars, &nameStatus) != 0;
        for (int index = 0; index < count; ++index) {
            if (!ReadListedGroup(list, index, group))
                continue;
            NET_API_STATUS status = nameStatus;
            if (named) {
                LOCALGROUP_MEMBERS_INFO_3 entry = {member};
                status =
                    NetLocalGroupAddMembers(server, group, 3, reinterpret_cast<LPBYTE>(&entry), 1);
            }
            if (status != NERR_Success && status != ERROR_MEMBER_IN_ALIAS)
                NoteFailure(failures, group, status);
        }
    }
    FreeBuffer(group);
    FreeBuffer(member);
}

// ---- Add-user dialog ----

void WipePassword(LPWSTR password)
{
    if (password != nullptr)
        SecureZeroMemory(password, PasswordChars * sizeof(WCHAR));
}

// What OK reads from the add dialog; the passwords are wiped on every path.
struct NewUserInput
{
    LPWSTR name = AllocBuffer(UserNameChars);
    LPWSTR fullName = AllocBuffer(TextChars);
    LPWSTR description = AllocBuffer(TextChars);
    LPWSTR password = AllocBuffer(PasswordChars);
    LPWSTR confirmation = AllocBuffer(PasswordChars);

    bool Allocated() const
    {
        return name != nullptr && fullName != nullptr && description != nullptr &&
               password != nullptr && confirmation != nullptr;
    }
    void WipePasswords()
    {
        WipePassword(password);
        WipePassword(confirmation);
    }
    ~NewUserInput()
    {
        WipePasswords();
        FreeBuffer(confirmation);
        FreeBuffer(password);
        FreeBuffer(description);
        FreeBuffer(fullName);
        FreeBuffer(name);
    }
};

void InitAddUserDialog(HWND dialog)
{
    SetLimit(dialog, IDC_USER_NAME, 20);
    SetLimit(dialog, IDC_USER_FULL_NAME, 256);
    SetLimit(dialog, IDC_USER_DESCRIPTION, 256);
    SetLimit(dialog, IDC_USER_PASSWORD, 127);
    SetLimit(dialog, IDC_USER_CONFIRM, 127);
    if (!IsAdvancedMode())
        return;
    // A new account must change its password at first logon unless the user
    // says otherwise.
    CheckDlgButton(dialog, IDC_USER_MUST_CHANGE, BST_CHECKED);
    EnableControl(dialog, IDC_USER_CANT_CHANGE, false);
    EnableControl(dialog, IDC_USER_NEVER_EXPIRES, false);
}

DWORD NewUserFlags(HWND dialog)
{
    DWORD flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    if (IsChecked(dialog, IDC_USER_CANT_CHANGE))
        flags |= UF_PASSWD_CANT_CHANGE;
    if (IsChecked(dialog, IDC_USER_NEVER_EXPIRES) || !IsAdvancedMode())
        flags |= UF_DONT_EXPIRE_PASSWD;
    if (IsChecked(dialog, IDC_USER_DISABLED))
        flags |= UF_ACCOUNTDISABLE;
    return flags;
}

// The change at next logon goes through the record's password-expired field.
// Its outcome is not reported.
void RequirePasswordChange(LPCWSTR name)
{
    UpdateUserRecord(name, [](USER_INFO_4* record) { record->usri4_password_expired = 1; });
}

// Local computer only: profiles of a remote computer cannot be created here.
void OfferProfileCreation(HWND dialog, LPCWSTR name)
{
    if (AMBMessageBoxW(dialog, L"ユーザー プロファイルも同時に作成しますか？",
                       L"ユーザー プロファイルの作成", MB_ICONQUESTION | MB_YESNO) != IDYES)
        return;
    NET_API_STATUS status = NERR_Success;
    USER_INFO_4* record = ReadUserRecord(name, &status);
    if (record == nullptr)
        return; // no SID to create the profile for
    if (CreateUserProfile(record->usri4_user_sid, name) < 0)
        AMBMessageBoxW(dialog, L"ユーザー プロファイルを作成できませんでした。",
                       L"ユーザー プロファイル作成失敗", MB_ICONWARNING);
    NetApiBufferFree(record);
}

// The follow-up steps after a successful NetUserAdd; whatever they meet, the
// account exists and the dialog ends with 1.
void FinishNewUser(HWND dialog, LPCWSTR server, LPCWSTR name)
{
    if (IsAdvancedMode() && IsChecked(dialog, IDC_USER_MUST_CHANGE))
        RequirePasswordChange(name);
    MembershipFailures failures = {AllocBuffer(FailedGroupNamesChars), 0, 0};
    AddToListedGroups(dialog, server, name, &failures);
    ShowMembershipFailures(dialog, failures, AddErrorCaption);
    FreeBuffer(failures.names);
    if (!IsRemoteTarget())
        OfferProfileCreation(dialog, name);
    EndDialog(dialog, 1);
}

void AddUser(HWND dialog)
{
    NewUserInput input;
    if (!input.Allocated())
        return;
    GetDlgItemTextW(dialog, IDC_USER_NAME, input.name, static_cast<int>(UserNameChars));
    GetDlgItemTextW(dialog, IDC_USER_FULL_NAME, input.fullName, static_cast<int>(TextChars));
    // The personal template has no description: it stays empty.
    GetDlgItemTextW(dialog, IDC_USER_DESCRIPTION, input.description, static_cast<int>(TextChars));
    GetDlgItemTextW(dialog, IDC_USER_PASSWORD, input.password, static_cast<int>(PasswordChars));
    GetDlgItemTextW(dialog, IDC_USER_CONFIRM, input.confirmation, static_cast<int>(PasswordChars));
    DWORD flags = NewUserFlags(dialog);

    if (wcscmp(input.password, input.confirmation) != 0) {
        AMBMessageBoxW(dialog,
                       L"初期パスワードの入力用と確認用が一致しません。\n再度入力してください。",
                       AddErrorCaption, MB_ICONWARNING);
        return;
    }
    if (input.name[0] == L'\0') {
        AMBMessageBoxW(dialog, L"ユーザー名を入力してください。", AddErrorCaption, MB_ICONWARNING);
        return;
    }
    LPWSTR server = AllocServerArgument();
    if (IsRemoteTarget() && server == nullptr)
        return; // never fall back to the local computer

    USER_INFO_2 record = {};
    record.usri2_name = input.name;
    record.usri2_password = input.password;
    record.usri2_priv = USER_PRIV_USER;
    record.usri2_comment = input.description;
    record.usri2_flags = flags;
    record.usri2_full_name = input.fullName;
    // 0 would be an expiry on 1970-01-01: an account that can never log on.
    record.usri2_acct_expires = TIMEQ_FOREVER;
    NET_API_STATUS status = NetUserAdd(server, 2, reinterpret_cast<LPBYTE>(&record), nullptr);
    input.WipePasswords();
    if (status != NERR_Success)
        ShowPlatformError(dialog, L"ユーザーを作成できませんでした。\n(エラー詳細 : %s)",
                          AddErrorCaption, status);
    else
        FinishNewUser(dialog, server, input.name);
    FreeBuffer(server);
}

// ---- User-settings dialog ----

// The account's local groups in the order the platform returns them. All
// entries are asked for at once; when the platform still says there are more,
// what came is listed and nothing is asked again.
void ListAccountGroups(HWND dialog, LPCWSTR server, LPCWSTR name)
{
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = NetUserGetLocalGroups(server, name, 0, LG_INCLUDE_INDIRECT, &buffer,
                                                  MAX_PREFERRED_LENGTH, &read, &total);
    if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer != nullptr) {
        auto* groups = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(buffer);
        for (DWORD i = 0; i < read; ++i)
            SendDlgItemMessageW(dialog, IDC_USER_GROUPS, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(groups[i].lgrui0_name));
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
}

// The rules run in this order: a later one may disable what an earlier one
// checked.
void ShowAccountOptions(HWND dialog, DWORD flags)
{
    if ((flags & UF_PASSWORD_EXPIRED) && IsAdvancedMode()) {
        CheckDlgButton(dialog, IDC_USER_MUST_CHANGE, BST_CHECKED);
        EnableControl(dialog, IDC_USER_CANT_CHANGE, false);
        EnableControl(dialog, IDC_USER_NEVER_EXPIRES, false);
    }
    if (flags & UF_PASSWD_CANT_CHANGE) {
        EnableControl(dialog, IDC_USER_MUST_CHANGE, false);
        CheckDlgButton(dialog, IDC_USER_CANT_CHANGE, BST_CHECKED);
    }
    if (flags & UF_DONT_EXPIRE_PASSWD) {
        EnableControl(dialog, IDC_USER_MUST_CHANGE, false);
        CheckDlgButton(dialog, IDC_USER_NEVER_EXPIRES, BST_CHECKED);
    }
    if (flags & UF_ACCOUNTDISABLE)
        CheckDlgButton(dialog, IDC_USER_DISABLED, BST_CHECKED);
    if (!(flags & UF_LOCKOUT))
        EnableControl(dialog, IDC_USER_UNLOCK, false);
}

// Returns false when the account could not be read: the dialog has nothing to
// show, says why and ends.
bool InitUserSettingsDialog(HWND dialog, LPCWSTR name)
{
    SetLimit(dialog, IDC_USER_FULL_NAME, 256);
    SetLimit(dialog, IDC_USER_DESCRIPTION, 256);
    LPWSTR server = AllocServerArgument();
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = ERROR_INVALID_PARAMETER;
    if (name != nullptr && (server != nullptr || !IsRemoteTarget()))
        status = NetUserGetInfo(server, name, 4, &buffer);
    if (status == NERR_Success && buffer != nullptr) {
        auto* record = reinterpret_cast<USER_INFO_4*>(buffer);
        SetDlgItemTextW(dialog, IDC_USER_NAME, record->usri4_name);
        SetDlgItemTextW(dialog, IDC_USER_FULL_NAME, record->usri4_full_name);
        SetDlgItemTextW(dialog, IDC_USER_DESCRIPTION, record->usri4_comment);
        // Nobody resets the password of the account the program runs as.
        if (IsCurrentUser(name))
            EnableControl(dialog, IDC_USER_RESET_PASSWORD, false);
        ShowAccountOptions(dialog, record->usri4_flags);
        ListAccountGroups(dialog, server, name);
    } else {
        ShowPlatformError(dialog, SettingsErrorText, SettingsErrorCaption, status);
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    FreeBuffer(server);
    return status == NERR_Success;
}

// The check boxes into a record read afresh; the rule for 1008 comes last and
// overrides the two it excludes. Every other flag stays as read.
void ApplyAccountOptions(HWND dialog, USER_INFO_4* record)
{
    DWORD flags = record->usri4_flags;
    if (IsChecked(dialog, IDC_USER_CANT_CHANGE))
        flags |= UF_PASSWD_CANT_CHANGE;
    else
        flags &= ~UF_PASSWD_CANT_CHANGE;
    // Personal mode has no such box: its passwords never expire.
    if (IsAdvancedMode() && !IsChecked(dialog, IDC_USER_NEVER_EXPIRES))
        flags &= ~UF_DONT_EXPIRE_PASSWD;
    else
        flags |= UF_DONT_EXPIRE_PASSWD;
    if (IsChecked(dialog, IDC_USER_DISABLED))
        flags |= UF_ACCOUNTDISABLE;
    else
        flags &= ~UF_ACCOUNTDISABLE;
    if (IsAdvancedMode() && IsChecked(dialog, IDC_USER_MUST_CHANGE)) {
        flags &= ~(UF_PASSWD_CANT_CHANGE | UF_DONT_EXPIRE_PASSWD);
        record->usri4_password_expired = 1;
    } else {
        record->usri4_password_expired = 0;
    }
    record->usri4_flags = flags;
}

// The options first, then the names: when the second write fails the options
// stay written and the memberships are not touched.
NET_API_STATUS WriteAccountSettings(HWND dialog, LPCWSTR server, LPCWSTR name)
{
    LPWSTR fullName = AllocBuffer(TextChars);
    LPWSTR description = AllocBuffer(TextChars);
    if (fullName == nullptr || description == nullptr) {
        FreeBuffer(description);
        FreeBuffer(fullName);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    LPBYTE buffer = nullptr;
    // Read afresh: what the sub-dialogs wrote meanwhile is written back as is.
    NET_API_STATUS status = NetUserGetInfo(server, name, 4, &buffer);
    if (status == NERR_Success && buffer != nullptr) {
        auto* record = reinterpret_cast<USER_INFO_4*>(buffer);
        ApplyAccountOptions(dialog, record);
        status = NetUserSetInfo(server, name, 4, buffer, nullptr);
        if (status == NERR_Success) {
            GetDlgItemTextW(dialog, IDC_USER_FULL_NAME, fullName, static_cast<int>(TextChars));
            record->usri4_full_name = fullName;
            if (IsAdvancedMode()) {
                GetDlgItemTextW(dialog, IDC_USER_DESCRIPTION, description,
                                static_cast<int>(TextChars));
                record->usri4_comment = description;
            }
            status = NetUserSetInfo(server, name, 4, buffer, nullptr);
        }
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    FreeBuffer(description);
    FreeBuffer(fullName);
    return status;
}

void StoreUserSettings(HWND dialog)
{
    WCHAR name[UserNameChars] = {};
    GetDlgItemTextW(dialog, IDC_USER_NAME, name, static_cast<int>(UserNameChars));
    LPWSTR server = AllocServerArgument();
    if (IsRemoteTarget() && server == nullptr)
        return;
    NET_API_STATUS status = WriteAccountSettings(dialog, server, name);
    if (status != NERR_Success) {
        ShowPlatformError(dialog, SettingsErrorText, SettingsErrorCaption, status);
        FreeBuffer(server);
        return;
    }
    MembershipFailures failures = {AllocBuffer(FailedGroupNamesChars), 0, 0};
    RemoveUnlistedGroups(GetDlgItem(dialog, IDC_USER_GROUPS), server, name, &failures);
    AddToListedGroups(dialog, server, name, &failures);
    ShowMembershipFailures(dialog, failures, SettingsErrorCaption);
    FreeBuffer(failures.names);
    FreeBuffer(server);
    EndDialog(dialog, 1);
}

// Written at once: OK or Cancel of the dialog do not affect it.
void UnlockAccount(HWND dialog)
{
    if (AMBMessageBoxW(
            dialog,
            L"このユーザーのロックアウトを解除しますか？\n(ロックアウトの解除は直ちに反映されます。)",
            L"ロックアウトの解除", MB_ICONQUESTION | MB_YESNO) != IDYES)
        return;
    WCHAR name[UserNameChars] = {};
    GetDlgItemTextW(dialog, IDC_USER_NAME, name, static_cast<int>(UserNameChars));
    NET_API_STATUS status =
        UpdateUserRecord(name, [](USER_INFO_4* record) { record->usri4_flags &= ~UF_LOCKOUT; });
    if (status != NERR_Success) {
        ShowPlatformError(dialog, L"ロックアウトを解除できませんでした。\n(エラー詳細 : %s)",
                          L"ロックアウト解除エラー", status);
        return;
    }
    // The button that had the focus is about to be disabled.
    if (GetFocus() == GetDlgItem(dialog, IDC_USER_UNLOCK))
        SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
    EnableControl(dialog, IDC_USER_UNLOCK, false);
    LPWSTR message = AllocBuffer(MessageChars);
    if (message != nullptr) {
        FormatBounded(message, MessageChars, L"ユーザー %s のロックアウトは正常に解除されました。",
                      name);
        AMBMessageBoxW(dialog, message, L"ロックアウト解除完了", MB_ICONINFORMATION);
    }
    FreeBuffer(message);
}

// The password-reset flow and the advanced dialogs work on the account named
// by label 1000; each writes at its own OK.
void ResetPassword(HWND dialog)
{
    WCHAR name[UserNameChars] = {};
    GetDlgItemTextW(dialog, IDC_USER_NAME, name, static_cast<int>(UserNameChars));
    RunPasswordReset(dialog, name);
}

void OpenAccountDialog(HWND dialog, UINT templateId, DLGPROC procedure)
{
    WCHAR name[UserNameChars] = {};
    GetDlgItemTextW(dialog, IDC_USER_NAME, name, static_cast<int>(UserNameChars));
    AMBDialogBoxParamW(InstanceOf(dialog), templateId, dialog, procedure,
                       reinterpret_cast<LPARAM>(name));
}

INT_PTR RunSettingsCommand(HWND dialog, int id, int notification)
{
    if (notification != BN_CLICKED)
        return FALSE;
    switch (id) {
    case IDC_USER_UNLOCK:
        UnlockAccount(dialog);
        return TRUE;
    case IDC_USER_RESET_PASSWORD:
        ResetPassword(dialog);
        return TRUE;
    case IDC_USER_PROFILE:
        OpenAccountDialog(dialog, IDD_PROFILE, ProfileDialogProc);
        return TRUE;
    case IDC_USER_LOGON_HOURS:
        OpenAccountDialog(dialog, IDD_LOGON_HOURS, LogonHoursDialogProc);
        return TRUE;
    case IDC_USER_EXPIRY:
        OpenAccountDialog(dialog, IDD_ACCOUNT_EXPIRY, AccountExpiryDialogProc);
        return TRUE;
    }
    return RunListAndOptionCommand(dialog, id, notification);
}
} // namespace

int RemoveUnlistedGroups(HWND listBox, LPCWSTR server, LPCWSTR accountName,
                         MembershipFailures* failures)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(server, accountName, 4, &buffer);
    if (status != NERR_Success || buffer == nullptr) {
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
        NoteFailure(failures, UnreadGroupsLine,
                    status != NERR_Success ? status : ERROR_INVALID_DATA);
        return 0;
    }
    // By SID: the member name of the account need not be known.
    PSID sid = reinterpret_cast<USER_INFO_4*>(buffer)->usri4_user_sid;
    LPBYTE groupBuffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    int removed = 0;
    status = NetUserGetLocalGroups(server, accountName, 0, LG_INCLUDE_INDIRECT, &groupBuffer,
                                   MAX_PREFERRED_LENGTH, &read, &total);
    if (status != NERR_Success) {
        NoteFailure(failures, UnreadGroupsLine, status);
    } else if (groupBuffer != nullptr) {
        auto* groups = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(groupBuffer);
        for (DWORD i = 0; i < read; ++i) {
            if (ListBoxContains(listBox, groups[i].lgrui0_name))
                continue;
            status = NetLocalGroupDelMember(server, groups[i].lgrui0_name, sid);
            if (status == NERR_Success)
                ++removed;
            else
                NoteFailure(failures, groups[i].lgrui0_name, status);
        }
    }
    if (groupBuffer != nullptr)
        NetApiBufferFree(groupBuffer);
    NetApiBufferFree(buffer);
    return removed;
}

INT_PTR CALLBACK AddUserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAddUserDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            AddUser(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        return RunListAndOptionCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    }
    return FALSE;
}

INT_PTR CALLBACK UserSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!InitUserSettingsDialog(dialog, reinterpret_cast<LPCWSTR>(lParam)))
            EndDialog(dialog, 2);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            StoreUserSettings(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        return RunSettingsCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    }
    return FALSE;
}
