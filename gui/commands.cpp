// The account commands of the main window: the dialogs that add, change and
// rename users and local groups, deleting them, the target computer, the
// operating mode and the About box.
#include "commands.h"

#include <commctrl.h>
#include <lm.h>

#include "about_elevation.h"
#include "account_report.h"
#include "accountlist.h"
#include "ambcore.h"
#include "dialogsupport.h"
#include "errortext.h"
#include "globals.h"
#include "group_dialogs.h"
#include "import_dialogs.h"
#include "mainwindow.h"
#include "policy_dialogs.h"
#include "remote_mode_rename.h"
#include "resource.h"
#include "textformat.h"
#include "user_dialogs.h"

namespace {
const wchar_t DeleteUserConfirmation[] =
    L"ユーザー %s を削除しようとしています。\n\nユーザーやローカル グループはセキュリティ識別子 (Security Identifier。以下 SID) と呼ばれる識別子を持っており、Windows 上ではこの SID によって管理されています。\n削除後、同一名でユーザーを再作成した場合も新たに SID が発行され、システム上ではまったく異なるものとして扱われます。\n\nまた、削除を続行すると対象ユーザーはこれ以降ネットワーク越しを含め、Windows にログインすることができなくなります。\n\n削除しようとしているユーザーにユーザー プロファイルがある場合、保存されているユーザー プロファイル フォルダ内のファイルが使用できなくなることがあります。このため、削除前にバックアップを取るか、システム復元ポイントを作成しておくことをお勧めします。\n\n選択したユーザーを本当に削除してもよろしいですか？";

const wchar_t DeleteGroupConfirmation[] =
    L"ローカル グループ %s を削除しようとしています。\n\nユーザーやローカル グループはセキュリティ識別子 (Security Identifier。以下 SID) と呼ばれる識別子を持っており、Windows 上ではこの SID によって管理されています。\n削除後、同一名でローカル グループを再作成した場合も新たに SID が発行され、システム上ではまったく異なるものとして扱われます。\n\nなお、ローカル グループを削除してもユーザーは削除されませんが、削除しようとしているグループ名を使って NTFS アクセス制限を行っている場合、ファイルやフォルダのアクセスに影響を及ぼす可能性があります。\n\n選択したローカル グループを本当に削除してもよろしいですか？";

const wchar_t DeleteProfileQuestion[] =
    L"ユーザー プロファイルも同時に削除しますか？\n(削除すると、ユーザー プロファイル フォルダ内に保存されているファイルはすべて削除されます。)";

HWND AccountList(HWND window)
{
    return GetDlgItem(window, IDC_ACCOUNT_LIST);
}

bool HasSingleSelection(HWND window)
{
    return SendMessageW(AccountList(window), LVM_GETSELECTEDCOUNT, 0, 0) == 1;
}

// The row the user has selected: the selection mark, unless the mark has moved
// away from the selected row, in which case the selected row itself (what the
// list shows highlighted is what gets deleted).
int SelectedRow(HWND list)
{
    int mark = static_cast<int>(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0));
    if (mark >= 0 && SendMessageW(list, LVM_GETITEMSTATE, mark, LVIS_SELECTED) & LVIS_SELECTED)
        return mark;
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// Reads the selected account's name (column 0) into `name` of AccountNameChars.
bool ReadSelectedAccountName(HWND window, LPWSTR name)
{
    HWND list = AccountList(window);
    int row = SelectedRow(list);
    if (row < 0)
        return false;
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = name;
    item.cchTextMax = static_cast<int>(AccountNameChars);
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return false;
    name[AccountNameChars - 1] = L'\0';
    return name[0] != L'\0';
}

// The working buffers of one delete command, freed together.
struct DeleteBuffers
{
    LPWSTR name = nullptr;
    LPWSTR message = nullptr;
    LPWSTR server = nullptr; // null for the local computer

    bool Allocate()
    {
        name = AllocBuffer(AccountNameChars);
        message = AllocBuffer(MessageChars);
        return name != nullptr && message != nullptr;
    }
    ~DeleteBuffers()
    {
        FreeBuffer(server);
        FreeBuffer(message);
        FreeBuffer(name);
    }
};

// A destructive question with No as the default button.
bool ConfirmDeletion(HWND window, LPWSTR message, const wchar_t* format, LPCWSTR name,
                     LPCWSTR caption)
{
    FormatBounded(message, MessageChars, format, name);
    return AMBMessageBoxW(window, message, caption, MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) ==
           IDYES;
}

void ShowDone(HWND window, LPWSTR message, const wchar_t* format, LPCWSTR name, LPCWSTR caption)
{
    SendMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
    FormatBounded(message, MessageChars, format, name);
    AMBMessageBoxW(window, message, caption, MB_ICONINFORMATION);
}

// Local computer only, and before the account goes: the profile is found by
// the account's SID, which cannot be read once the account is deleted. When
// the record cannot be read there is no SID to delete by, so nothing is asked.
void OfferProfileDeletion(HWND window, LPCWSTR name)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(nullptr, name, 4, &buffer);
    if (status == NERR_Success && buffer != nullptr) {
        auto* record = reinterpret_cast<USER_INFO_4*>(buffer);
        if (AMBMessageBoxW(window, DeleteProfileQuestion, L"ユーザー プロファイル削除の確認",
                           MB_ICONWARNING | MB_YESNO) == IDYES)
            DeleteUserProfile(record->usri4_user_sid); // its outcome is not reported
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
}

void DeleteSelectedUser(HWND window)
{
    if (!HasSingleSelection(window)) {
        AMBMessageBoxW(window, L"削除するユーザーを選択してください。", L"ユーザーの削除",
                       MB_ICONWARNING);
        return;
    }
    DeleteBuffers buffers;
    if (!buffers.Allocate() || !ReadSelectedAccountName(window, buffers.name))
        return;
    // Compared with the logon name of the user running the program, also on a
    // remote computer: an account of that name there is refused as well.
    if (IsCurrentUser(buffers.name)) {
        FormatBounded(buffers.message, MessageChars,
                      L"ユーザー %s は自分自身であるため削除できません。", buffers.name);
        AMBMessageBoxW(window, buffers.message, L"ユーザー削除エラー", MB_ICONWARNING);
        return;
    }
    if (!ConfirmDeletion(window, buffers.message, DeleteUserConfirmation, buffers.name,
                         L"ユーザー削除の確認"))
        return;
    buffers.server = AllocServerArgument();
    if (IsRemoteTarget() && buffers.server == nullptr)
        return; // never fall back to the local computer
    if (!IsRemoteTarget())
        OfferProfileDeletion(window, buffers.name);

    NET_API_STATUS status = NetUserDel(buffers.server, buffers.name);
    if (status != NERR_Success) {
        ShowPlatformError(window, L"ユーザーを削除できませんでした。\n(エラー詳細 : %s)",
                          L"ユーザー削除エラー", status);
        return;
    }
    ShowDone(window, buffers.message, L"ユーザー %s は正常に削除されました。", buffers.name,
             L"ユーザー削除完了");
}

void DeleteSelectedGroup(HWND window)
{
    if (!HasSingleSelection(window)) {
        AMBMessageBoxW(window, L"削除するグループを選択してください。", L"グループの削除",
                       MB_ICONWARNING);
        return;
    }
    DeleteBuffers buffers;
    if (!buffers.Allocate() || !ReadSelectedAccountName(window, buffers.name))
        return;
    if (!ConfirmDeletion(window, buffers.message, DeleteGroupConfirmation, buffers.name,
                         L"グループ削除の確認"))
        return;
    buffers.server = AllocServerArgument();
    if (IsRemoteTarget() && buffers.server == nullptr)
        return;

    NET_API_STATUS status = NetLocalGroupDel(buffers.server, buffers.name);
    if (status != NERR_Success) {
        ShowPlatformError(window, L"ローカル グループを削除できませんでした。\n(エラー詳細 : %s)",
                          L"グループ削除エラー", status);
        return;
    }
    ShowDone(window, buffers.message, L"グループ %s は正常に削除されました。", buffers.name,
             L"グループ削除完了");
}

// The dialog stores the new TargetServer itself. The lists of the new target
// are read while the title says so, which is all the window shows meanwhile.
void ManageRemoteComputer(HWND window)
{
    if (AMBDialogBoxParamW(InstanceOf(window), IDD_REMOTE, window, RemoteDialogProc, 0) != 1)
        return;
    SetLoadingTitle(window);
    SendMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
    SetMainWindowTitle(window);
}

// Lays the window out again: the toolbar may have changed its height. The
// first size differs from the current one so that the second is not skipped.
void Relayout(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom + 1));
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

// The dialog sets the mode (and leaves a remote computer on the way to
// personal mode); whatever it returns, the menu and toolbar follow the mode.
void SwitchOperatingMode(HWND window)
{
    AMBDialogBoxParamW(InstanceOf(window), IDD_OPERATING_MODE, window, OperatingModeDialogProc, 0);
    ShowRemoteCommand(window, AppSettings.Advanced != 0);
    Relayout(window);
}

// One run of an add command: the dialog, and on success the refresh, the note
// and the question whether to add another. Returns true when the user wants
// another one.
struct AddFlow
{
    UINT advancedTemplate;
    UINT personalTemplate;
    DLGPROC procedure;
    const wchar_t* done;
    const wchar_t* again;
    const wchar_t* caption;
};

const AddFlow AddUserFlow = {IDD_ADD_USER,
                             IDD_ADD_USER_PERSONAL,
                             AddUserDialogProc,
                             L"ユーザーは正常に追加されました。",
                             L"続けてユーザーを追加しますか？",
                             L"ユーザーの追加"};
const AddFlow AddGroupFlow = {IDD_ADD_GROUP,
                              IDD_ADD_GROUP,
                              AddGroupDialogProc,
                              L"グループは正常に追加されました。",
                              L"続けてグループを追加しますか？",
                              L"グループの追加"};

bool AddOneAccount(HWND window, const AddFlow& flow)
{
    UINT templateId = AppSettings.Advanced != 0 ? flow.advancedTemplate : flow.personalTemplate;
    if (AMBDialogBoxParamW(InstanceOf(window), templateId, window, flow.procedure, 0) != 1)
        return false;
    SendMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
    AMBMessageBoxW(window, flow.done, flow.caption, MB_ICONINFORMATION);
    return AMBMessageBoxW(window, flow.again, flow.caption, MB_ICONQUESTION | MB_YESNO) == IDYES;
}

// Yes to "add another" runs the whole flow again (as command 40001 or 40004
// sent again would), without growing the stack.
void AddAccounts(HWND window, const AddFlow& flow)
{
    while (AddOneAccount(window, flow)) {
    }
}

// The settings dialog of the selected account, with its name as parameter.
void OpenSettings(HWND window, UINT templateId, DLGPROC procedure)
{
    LPWSTR name = AllocBuffer(AccountNameChars);
    if (name != nullptr && ReadSelectedAccountName(window, name) &&
        AMBDialogBoxParamW(InstanceOf(window), templateId, window, procedure,
                           reinterpret_cast<LPARAM>(name)) == 1)
        SendMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
    FreeBuffer(name);
}

void OpenUserSettings(HWND window)
{
    OpenSettings(window, AppSettings.Advanced != 0 ? IDD_USER_SETTINGS : IDD_USER_SETTINGS_PERSONAL,
                 UserSettingsDialogProc);
}

// The rename dialog takes the list item record: its text and its image, which
// tells a local group from a user.
void RenameSelectedAccount(HWND window)
{
    HWND list = AccountList(window);
    int row = SelectedRow(list);
    LPWSTR name = AllocBuffer(AccountNameChars);
    if (row >= 0 && name != nullptr) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = row;
        item.pszText = name;
        item.cchTextMax = static_cast<int>(AccountNameChars);
        if (SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) &&
            name[0] != L'\0' &&
            AMBDialogBoxParamW(InstanceOf(window), IDD_RENAME, window, RenameDialogProc,
                               reinterpret_cast<LPARAM>(&item)) == 1)
            SendMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
    }
    FreeBuffer(name);
}

void ShowAbout(HWND window)
{
    AMBDialogBoxParamW(InstanceOf(window), IDD_ABOUT, window, AboutDialogProc, 0);
}
} // namespace

void RunAccountCommand(HWND window, int command)
{
    switch (command) {
    case CMD_ADD_USER:
        AddAccounts(window, AddUserFlow);
        break;
    case CMD_USER_SETTINGS:
        OpenUserSettings(window);
        break;
    case CMD_ADD_GROUP:
        AddAccounts(window, AddGroupFlow);
        break;
    case CMD_GROUP_SETTINGS:
        OpenSettings(window, IDD_GROUP_SETTINGS, GroupSettingsDialogProc);
        break;
    case CMD_RENAME:
        RenameSelectedAccount(window);
        break;
    case CMD_DELETE_USER:
        DeleteSelectedUser(window);
        break;
    case CMD_DELETE_GROUP:
        DeleteSelectedGroup(window);
        break;
    case CMD_REMOTE:
        ManageRemoteComputer(window);
        break;
    case CMD_OPERATING_MODE:
        SwitchOperatingMode(window);
        break;
    case CMD_ABOUT:
        ShowAbout(window);
        break;
    case CMD_SAVE_REPORT:
        SaveAccountReport(window);
        break;
    case CMD_IMPORT:
        ImportAccounts(window);
        break;
    case CMD_POLICY:
        EditAccountPolicy(window);
        break;
    default:
        break;
    }
}
