// The password reset of an account and its profile settings, both opened from
// the user-settings dialog and writing at their own OK.
#include "password_profile.h"

#include <lm.h>

#include "accountlist.h"
#include "ambcore.h"
#include "dialogsupport.h"
#include "errortext.h"
#include "globals.h"
#include "resource.h"
#include "textformat.h"

namespace {
// Password buffers: the edit limit and the terminator.
constexpr size_t PasswordChars = 128;
constexpr int PasswordLimit = 127;
// A home drive such as "H:" and its terminator.
constexpr size_t DriveChars = 4;
constexpr int DriveCount = 26;
constexpr int LastDriveIndex = DriveCount - 1; // Z:

const wchar_t DriveLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ";

const wchar_t ResetCaption[] = L"パスワードのリセット";
const wchar_t ResetWarning[] =
    L"ユーザー %s のパスワードを強制的にリセットすることを選択しました。\nパスワードを強制的にリセットすると、以下の障害や損失が発生します。(対象ユーザーがログイン中の場合はログアウト時に発生します。)\n\n・NTFS 暗号化属性をセットしているデータがある場合、そのデータにはアクセスできなくなります。\n・Web サービスのパスワードをはじめとした資格情報が削除されます。\n・証明書周りのデータ (公開鍵など) が使用できなくなります。\n\n本機能はパスワードを忘れてしまい、さらにパスワード リセット ディスクを作成していなかった場合の最終手段としてのみ、実行してください。\n\nユーザーがパスワードを知っていて、なおかつパスワードを変更したい場合はそのユーザーでログイン後、Ctrl + Alt + Delete キーを押して [パスワードの変更] ボタンを押すか、コントロール パネルの [ユーザー アカウント] を使ってください。\n\nパスワードを強制的にリセットしてもよろしいですか？";
const wchar_t ResetFinalQuestion[] =
    L"パスワードをリセットします。\n本当によろしいですか？\n\n※注意※\n\nこの時点ではまだパスワードは変更されていません。\n\n[はい] ボタンを押した時点でパスワードの強制リセットが実行され、対象ユーザーは暗号化属性がついたデータなど、一部の情報にはアクセスできなくなります。";
const wchar_t ResetErrorCaption[] = L"パスワード リセットエラー";
const wchar_t ProfileErrorCaption[] = L"プロファイル設定エラー";
const wchar_t ProfileError[] = L"プロファイルを設定できませんでした。\n(エラー詳細 : %s)";
const wchar_t CreateErrorCaption[] = L"ユーザー プロファイル作成エラー";
const wchar_t DeleteErrorCaption[] = L"ユーザー プロファイル削除エラー";

// The account name a dialog was opened with, kept for its lifetime.
void KeepAccountName(HWND dialog, LPARAM name)
{
    SetWindowLongPtrW(dialog, DWLP_USER, name);
}

LPCWSTR AccountNameOf(HWND dialog)
{
    return reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// ---- Password reset ----

void WipePassword(LPWSTR password)
{
    if (password != nullptr)
        SecureZeroMemory(password, PasswordChars * sizeof(WCHAR));
    FreeBuffer(password);
}

NET_API_STATUS SetPassword(LPCWSTR accountName, LPWSTR password)
{
    USER_INFO_1003 record = {password};
    LPWSTR server = AllocServerArgument();
    NET_API_STATUS status =
        IsRemoteServerMissing(server)
            ? ERROR_NOT_ENOUGH_MEMORY
            : NetUserSetInfo(server, accountName, 1003, reinterpret_cast<LPBYTE>(&record), nullptr);
    FreeBuffer(server);
    return status;
}

// OK: the two entries must match and the last question be answered Yes before
// anything is written; otherwise the dialog stays open with its input.
void AcceptNewPassword(HWND dialog)
{
    LPWSTR password = AllocBuffer(PasswordChars);
    LPWSTR confirmation = AllocBuffer(PasswordChars);
    if (password == nullptr || confirmation == nullptr) {
        WipePassword(password);
        WipePassword(confirmation);
        return;
    }
    GetDlgItemTextW(dialog, IDC_RESET_PASSWORD, password, static_cast<int>(PasswordChars));
    GetDlgItemTextW(dialog, IDC_RESET_CONFIRMATION, confirmation, static_cast<int>(PasswordChars));
    bool same = wcscmp(password, confirmation) == 0;
    WipePassword(confirmation);
    if (!same) {
        WipePassword(password);
        AMBMessageBoxW(dialog,
                       L"パスワードと確認用が一致しません。\n再度パスワードを入力してください。",
                       ResetErrorCaption, MB_ICONWARNING);
        return;
    }
    if (AMBMessageBoxW(dialog, ResetFinalQuestion, L"パスワード リセット最終確認",
                       MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) != IDYES) {
        WipePassword(password);
        return;
    }
    NET_API_STATUS status = SetPassword(AccountNameOf(dialog), password);
    WipePassword(password);
    if (status == NERR_Success) {
        EndDialog(dialog, 1);
        return;
    }
    ShowPlatformError(dialog, L"パスワードをリセットできませんでした。\n(エラー詳細 : %s)",
                      ResetErrorCaption, status);
}

// ---- Profile ----

LPCWSTR TextOrEmpty(LPCWSTR text)
{
    return text != nullptr ? text : L"";
}

void FillDriveList(HWND dialog)
{
    HWND drives = GetDlgItem(dialog, IDC_PROFILE_DRIVE);
    WCHAR entry[DriveChars] = {};
    for (int i = 0; i < DriveCount; ++i) {
        FormatBounded(entry, DriveChars, L"%c:", DriveLetters[i]);
        SendMessageW(drives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
    SendMessageW(drives, CB_SETCURSEL, LastDriveIndex, 0);
}

// The drive entry of a stored home drive. The letter is compared without
// regard to case: a drive stored as "h:" must open on H:, or an untouched OK
// would rewrite it as Z:. Anything but a letter keeps Z:.
int DriveIndexOf(LPCWSTR homeDrive)
{
    WCHAR letter = homeDrive != nullptr ? homeDrive[0] : L'\0';
    if (letter >= L'a' && letter <= L'z')
        letter = static_cast<WCHAR>(letter - L'a' + L'A');
    for (int i = 0; i < DriveCount; ++i)
        if (DriveLetters[i] == letter)
            return i;
    return LastDriveIndex;
}

void EnableControl(HWND dialog, int id, BOOL enable)
{
    EnableWindow(GetDlgItem(dialog, id), enable);
}

void EnableNetworkHome(HWND dialog, BOOL network)
{
    EnableControl(dialog, IDC_PROFILE_LOCAL_PATH, !network);
    EnableControl(dialog, IDC_PROFILE_DRIVE, network);
    EnableControl(dialog, IDC_PROFILE_NETWORK_LABEL, network);
    EnableControl(dialog, IDC_PROFILE_NETWORK_PATH, network);
}

void ShowHomeFolder(HWND dialog, const USER_INFO_4* user)
{
    bool network = user->usri4_home_dir_drive != nullptr && user->usri4_home_dir_drive[0] != L'\0';
    LPCWSTR home = TextOrEmpty(user->usri4_home_dir);
    if (network) {
        SetDlgItemTextW(dialog, IDC_PROFILE_NETWORK_PATH, home);
        SendDlgItemMessageW(dialog, IDC_PROFILE_DRIVE, CB_SETCURSEL,
                            DriveIndexOf(user->usri4_home_dir_drive), 0);
    } else {
        SetDlgItemTextW(dialog, IDC_PROFILE_LOCAL_PATH, home);
    }
    CheckRadioButton(dialog, IDC_PROFILE_HOME_LOCAL, IDC_PROFILE_HOME_NETWORK,
                     network ? IDC_PROFILE_HOME_NETWORK : IDC_PROFILE_HOME_LOCAL);
    EnableNetworkHome(dialog, network);
}

// Returns false when the account could not be read (already reported).
bool InitProfileDialog(HWND dialog, LPARAM accountName)
{
    KeepAccountName(dialog, accountName);
    const int pathFields[] = {IDC_PROFILE_PATH, IDC_PROFILE_SCRIPT, IDC_PROFILE_LOCAL_PATH,
                              IDC_PROFILE_NETWORK_PATH};
    for (int id : pathFields)
        SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, PathChars, 0);
    FillDriveList(dialog);
    NET_API_STATUS status = 0;
    USER_INFO_4* user = ReadUserRecord(AccountNameOf(dialog), &status);
    if (user == nullptr) {
        ShowPlatformError(dialog, ProfileError, ProfileErrorCaption, status);
        return false;
    }
    SetDlgItemTextW(dialog, IDC_PROFILE_PATH, TextOrEmpty(user->usri4_profile));
    SetDlgItemTextW(dialog, IDC_PROFILE_SCRIPT, TextOrEmpty(user->usri4_script_path));
    ShowHomeFolder(dialog, user);
    NetApiBufferFree(user);
    if (IsCurrentUser(AccountNameOf(dialog)) || IsRemoteTarget()) {
        EnableControl(dialog, IDC_PROFILE_CREATE, FALSE);
        EnableControl(dialog, IDC_PROFILE_DELETE, FALSE);
    }
    return true;
}

void ChooseHomeKind(HWND dialog, bool network)
{
    EnableNetworkHome(dialog, network);
    HWND next = GetDlgItem(dialog, network ? IDC_PROFILE_DRIVE : IDC_PROFILE_LOCAL_PATH);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
}

// The whole text of a control, in a buffer of its own length (a stored path
// may be longer than the edit limit); null when out of memory.
LPWSTR ReadWholeText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    size_t chars = static_cast<size_t>(GetWindowTextLengthW(control)) + 1;
    LPWSTR text = AllocBuffer(chars);
    if (text != nullptr)
        GetWindowTextW(control, text, static_cast<int>(chars));
    return text;
}

// The path fields read from the controls, owned until the record is written.
struct ProfileTexts
{
    LPWSTR profile = nullptr;
    LPWSTR script = nullptr;
    LPWSTR home = nullptr;
    LPWSTR drive = AllocBuffer(DriveChars);

    ~ProfileTexts()
    {
        FreeBuffer(drive);
        FreeBuffer(home);
        FreeBuffer(script);
        FreeBuffer(profile);
    }
};

// Fills the record's path fields from the controls. Returns false, with
// nothing written, when a network drive is chosen without a path (said) or
// memory ran out.
bool TakeProfileFields(HWND dialog, USER_INFO_4* user, ProfileTexts* texts)
{
    bool network = IsDlgButtonChecked(dialog, IDC_PROFILE_HOME_NETWORK) == BST_CHECKED;
    texts->profile = ReadWholeText(dialog, IDC_PROFILE_PATH);
    texts->script = ReadWholeText(dialog, IDC_PROFILE_SCRIPT);
    texts->home =
        ReadWholeText(dialog, network ? IDC_PROFILE_NETWORK_PATH : IDC_PROFILE_LOCAL_PATH);
    if (texts->profile == nullptr || texts->script == nullptr || texts->home == nullptr ||
        texts->drive == nullptr)
        return false;
    user->usri4_profile = texts->profile;
    user->usri4_script_path = texts->script;
    user->usri4_home_dir = texts->home;
    user->usri4_home_dir_drive = texts->drive;
    if (!network)
        return true; // an empty drive removes a mapping the account had
    if (texts->home[0] == L'\0') {
        AMBMessageBoxW(dialog,
                       L"ネットワーク ドライブ指定時はネットワーク パスを入力してください。",
                       ProfileErrorCaption, MB_ICONWARNING);
        return false;
    }
    GetDlgItemTextW(dialog, IDC_PROFILE_DRIVE, texts->drive, static_cast<int>(DriveChars));
    return true;
}

// OK: the record is read afresh so that only the profile fields change.
void AcceptProfile(HWND dialog)
{
    NET_API_STATUS status = 0;
    USER_INFO_4* user = ReadUserRecord(AccountNameOf(dialog), &status);
    if (user == nullptr) {
        ShowPlatformError(dialog, ProfileError, ProfileErrorCaption, status);
        return;
    }
    bool written = false;
    ProfileTexts texts;
    if (TakeProfileFields(dialog, user, &texts)) {
        LPWSTR server = AllocServerArgument();
        status = IsRemoteServerMissing(server)
                     ? ERROR_NOT_ENOUGH_MEMORY
                     : NetUserSetInfo(server, AccountNameOf(dialog), 4,
                                      reinterpret_cast<LPBYTE>(user), nullptr);
        FreeBuffer(server);
        if (status == NERR_Success)
            written = true;
        else
            ShowPlatformError(dialog, ProfileError, ProfileErrorCaption, status);
    }
    NetApiBufferFree(user);
    if (written)
        EndDialog(dialog, 1);
}

void CreateProfileNow(HWND dialog)
{
    if (AMBMessageBoxW(dialog, L"ユーザー プロファイルを作成します。\nよろしいですか？",
                       L"ユーザー プロファイルの作成", MB_ICONQUESTION | MB_YESNO) != IDYES)
        return;
    NET_API_STATUS status = 0;
    USER_INFO_4* user = ReadUserRecord(AccountNameOf(dialog), &status);
    if (user == nullptr) {
        ShowPlatformError(dialog,
                          L"ユーザー プロファイルを作成できませんでした。\n(エラー詳細 : %s)",
                          CreateErrorCaption, status);
        return;
    }
    HRESULT result = CreateUserProfile(user->usri4_user_sid, user->usri4_name);
    NetApiBufferFree(user);
    if (FAILED(result))
        AMBMessageBoxW(dialog, L"ユーザー プロファイルを作成できませんでした。", CreateErrorCaption,
                       MB_ICONWARNING);
    else
        AMBMessageBoxW(dialog, L"ユーザー プロファイルは正常に作成されました。",
                       L"ユーザー プロファイル作成完了", MB_ICONINFORMATION);
}

void DeleteProfileNow(HWND dialog)
{
    if (AMBMessageBoxW(
            dialog,
            L"ユーザー プロファイルを削除します。\nよろしいですか？\n\n※注意※\n\n削除するとユーザー プロファイル フォルダ内にあるファイルはすべて削除されます。削除する前にバックアップを取ることをお勧めします。",
            L"ユーザー プロファイルの削除", MB_ICONWARNING | MB_YESNO) != IDYES)
        return;
    NET_API_STATUS status = 0;
    USER_INFO_4* user = ReadUserRecord(AccountNameOf(dialog), &status);
    if (user == nullptr) {
        ShowPlatformError(dialog,
                          L"ユーザー プロファイルを削除できませんでした。\n(エラー詳細 : %s)",
                          DeleteErrorCaption, status);
        return;
    }
    BOOL deleted = DeleteUserProfile(user->usri4_user_sid);
    NetApiBufferFree(user);
    if (!deleted)
        AMBMessageBoxW(dialog, L"ユーザー プロファイルを削除できませんでした。", DeleteErrorCaption,
                       MB_ICONWARNING);
    else
        AMBMessageBoxW(dialog, L"ユーザー プロファイルは正常に削除されました。",
                       L"ユーザー プロファイル削除完了", MB_ICONINFORMATION);
}
} // namespace

void RunPasswordReset(HWND owner, LPCWSTR accountName)
{
    // The settings dialog already disables the button for the running account;
    // the flow refuses it all the same.
    if (accountName == nullptr || IsCurrentUser(accountName))
        return;
    LPWSTR warning = AllocBuffer(ErrorMessageChars);
    if (warning == nullptr)
        return;
    FormatBounded(warning, ErrorMessageChars, ResetWarning, accountName);
    int answer =
        AMBMessageBoxW(owner, warning, ResetCaption, MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2);
    FreeBuffer(warning);
    if (answer != IDYES)
        return;
    if (AMBDialogBoxParamW(InstanceOf(owner), IDD_PASSWORD_RESET, owner, PasswordResetDialogProc,
                           reinterpret_cast<LPARAM>(accountName)) == 1)
        AMBMessageBoxW(owner, L"パスワードはリセットされました。", L"パスワード リセット完了",
                       MB_ICONINFORMATION);
}

INT_PTR CALLBACK PasswordResetDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepAccountName(dialog, lParam);
        SendDlgItemMessageW(dialog, IDC_RESET_PASSWORD, EM_LIMITTEXT, PasswordLimit, 0);
        SendDlgItemMessageW(dialog, IDC_RESET_CONFIRMATION, EM_LIMITTEXT, PasswordLimit, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            AcceptNewPassword(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK ProfileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!InitProfileDialog(dialog, lParam))
            EndDialog(dialog, 2);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PROFILE_HOME_LOCAL:
        case IDC_PROFILE_HOME_NETWORK:
            if (HIWORD(wParam) != BN_CLICKED)
                break;
            ChooseHomeKind(dialog, LOWORD(wParam) == IDC_PROFILE_HOME_NETWORK);
            return TRUE;
        case IDC_PROFILE_CREATE:
            CreateProfileNow(dialog);
            return TRUE;
        case IDC_PROFILE_DELETE:
            DeleteProfileNow(dialog);
            return TRUE;
        case IDOK:
            AcceptProfile(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
