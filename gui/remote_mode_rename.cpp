// Dialogs of the target computer, the operating mode and renaming.
#include "remote_mode_rename.h"

#include <commctrl.h>
#include <lm.h>

#include "accountlist.h"
#include "ambcore.h"
#include "dialogicon.h"
#include "dialogsupport.h"
#include "globals.h"
#include "mainwindow.h"
#include "resource.h"
#include "errortext.h"
#include "remoteconnection.h"
#include "textformat.h"

namespace {
// The computer that Ambgui holds an explicit connection to (\\NAME\IPC$ under
// the account given in the remote dialog), or empty. Windows uses that
// connection for every call to NAME until it is cancelled.
WCHAR ConnectedComputer[TargetServerChars] = {};

bool IsConnectedComputer(LPCWSTR computer)
{
    return ConnectedComputer[0] != L'\0' &&
           CompareStringOrdinal(ConnectedComputer, -1, computer, -1, TRUE) == CSTR_EQUAL;
}
} // namespace

void CloseRemoteConnection()
{
    if (ConnectedComputer[0] == L'\0')
        return;
    DisconnectFromComputer(ConnectedComputer);
    ConnectedComputer[0] = L'\0';
}

namespace {
// Personal mode has no remote management: leaving the remote computer is part
// of the switch. Returns false when the user keeps the remote connection.
bool LeaveRemoteTargetForPersonalMode(HWND dialog)
{
    if (!IsRemoteTarget())
        return true;
    int answer = AMBMessageBoxW(
        dialog,
        L"現在リモート管理を行っています。\n\nパーソナル モードに変更する前に、リモート管理からローカル管理に切り替える必要があります。\n続行すると、リモート管理は切断され自分のコンピュータのアカウントとグループが表示されます。\n\nリモート管理から切断してパーソナル モードに切り替えますか？",
        L"動作モード切替確認", MB_ICONWARNING | MB_YESNO);
    if (answer == IDNO)
        return false;
    TargetServer[0] = L'\0';
    CloseRemoteConnection();
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner != nullptr) {
        SendMessageW(owner, WM_COMMAND, CMD_REFRESH, 0);
        SetMainWindowTitle(owner);
    }
    return true;
}
} // namespace

INT_PTR CALLBACK OperatingModeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CheckRadioButton(dialog, IDC_MODE_PERSONAL, IDC_MODE_ADVANCED,
                         AppSettings.Advanced != 0 ? IDC_MODE_ADVANCED : IDC_MODE_PERSONAL);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            bool personal = IsDlgButtonChecked(dialog, IDC_MODE_PERSONAL) == BST_CHECKED;
            if (personal && !LeaveRemoteTargetForPersonalMode(dialog))
                return TRUE;
            AppSettings.Advanced = personal ? 0 : 1;
            EndDialog(dialog, 1);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

namespace {
// Whether the computer answers: an account lookup of the empty name with the
// typed text as system name, in the usual two steps. The empty text is the
// local computer. On failure the last error is that of the second call.
bool TargetAnswers(LPCWSTR computer)
{
    DWORD sidSize = 0;
    DWORD domainChars = 0;
    SID_NAME_USE use;
    if (LookupAccountNameW(computer, L"", nullptr, &sidSize, nullptr, &domainChars, &use))
        return true;
    void* sid = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sidSize + 1);
    LPWSTR domain = AllocBuffer(domainChars + 1);
    bool answered = sid != nullptr && domain != nullptr &&
                    LookupAccountNameW(computer, L"", sid, &sidSize, domain, &domainChars, &use);
    DWORD error = GetLastError();
    FreeBuffer(domain);
    FreeBuffer(sid);
    SetLastError(error);
    return answered;
}

bool IsBlank(WCHAR c)
{
    return c == L' ' || c == L'\t' || c == L'\x3000';
}

// The server argument adds its own "\\": a name typed as "\\PC1" or with blanks
// around it would reach every account call as "\\\\PC1" or " PC1 " and fail
// there, after the check had let it through. Only the bare name is checked
// and kept.
void CleanComputerName(LPWSTR text)
{
    size_t start = 0;
    while (text[start] == L'\\' || IsBlank(text[start]))
        ++start;
    size_t end = wcslen(text);
    while (end > start && IsBlank(text[end - 1]))
        --end;
    memmove(text, text + start, (end - start) * sizeof(WCHAR));
    text[end - start] = L'\0';
}

// The hint follows for a remote computer, which is not yet the target.
void ReportUnreachableTarget(HWND dialog, DWORD error, bool remote)
{
    ShowPlatformErrorOn(dialog, L"リモート コンピュータに接続できませんでした。\n(エラー詳細 : %s)",
                        L"接続エラー", error, remote);
}

// What the dialog read: the computer, and the account to connect with.
struct RemoteRequest
{
    WCHAR computer[TargetServerChars] = {};
    WCHAR user[ConnectionUserMaxChars + 1] = {};
    WCHAR password[ConnectionPasswordMaxChars + 1] = {};
};

void ReadRemoteRequest(HWND dialog, RemoteRequest* request)
{
    GetDlgItemTextW(dialog, IDC_REMOTE_NAME, request->computer,
                    static_cast<int>(TargetServerChars));
    CleanComputerName(request->computer);
    GetDlgItemTextW(dialog, IDC_REMOTE_USER, request->user,
                    static_cast<int>(ConnectionUserMaxChars + 1));
    GetDlgItemTextW(dialog, IDC_REMOTE_PASSWORD, request->password,
                    static_cast<int>(ConnectionPasswordMaxChars + 1));
}

// Once read, the password lives nowhere else: the field is emptied too (the
// edit control keeps its own copy of the text).
void WipeRemotePassword(HWND dialog, RemoteRequest* request)
{
    SecureZeroMemory(request->password, sizeof(request->password));
    SetDlgItemTextW(dialog, IDC_REMOTE_PASSWORD, L"");
}

// ERROR_SESSION_CREDENTIAL_CONFLICT: this session already reaches the server
// under another user name. Closing those connections is the user's choice:
// it also ends the mapped drives and open files on that server.
bool AskToCloseConnections(HWND dialog, LPCWSTR computer)
{
    WCHAR message[MessageChars] = {};
    FormatBounded(
        message, MessageChars,
        L"コンピュータ %s には、別のユーザー名での接続がすでにあります。Windows では、1 台のコンピュータへ同時に 2 つのユーザー名で接続することはできません。\n\nこのコンピュータへの既存の接続 (ネットワーク ドライブや共有フォルダーを含む) をすべて閉じて、もう一度接続しますか？\n閉じた接続で開いているファイルは閉じられ、保存していない変更は失われることがあります。",
        computer);
    return AMBMessageBoxW(dialog, message, L"接続の競合",
                          MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

// The explicit connection of the request; 1219 asks whether to close the
// server's connections and tries once more. Returns the status to report (0:
// connected, ERROR_CANCELLED: the user kept the other connections).
DWORD ConnectAsRequested(HWND dialog, const RemoteRequest& request)
{
    WCHAR qualified[QualifiedUserChars] = {};
    if (!QualifyConnectionUser(request.computer, request.user, qualified, QualifiedUserChars))
        return ERROR_INVALID_PARAMETER;
    DWORD status = ConnectToComputer(request.computer, qualified, request.password);
    if (status != ERROR_SESSION_CREDENTIAL_CONFLICT)
        return status;
    if (!AskToCloseConnections(dialog, request.computer))
        return ERROR_CANCELLED;
    size_t closed = 0;
    status = CloseServerConnections(request.computer, &closed);
    // Ours was among them when it was to this computer.
    if (IsConnectedComputer(request.computer))
        ConnectedComputer[0] = L'\0';
    if (status != NO_ERROR)
        return status;
    return ConnectToComputer(request.computer, qualified, request.password);
}

// Whether the requested computer is reached, with the connection first when
// a user name was given (not for this computer, which needs none). On
// failure the message has been shown.
bool ReachRequestedComputer(HWND dialog, RemoteRequest* request, bool* connected)
{
    *connected = false;
    bool connect = request->user[0] != L'\0' && request->computer[0] != L'\0';
    // Without a user name the computer is reached as the running account, so
    // an explicit connection of ours to it goes first. With one, ours stays
    // until the new one is made: the same user name reuses it, another one
    // meets it as 1219 and the user's answer.
    if (!connect && IsConnectedComputer(request->computer))
        CloseRemoteConnection();
    if (connect) {
        DWORD status = ConnectAsRequested(dialog, *request);
        WipeRemotePassword(dialog, request);
        if (status == ERROR_CANCELLED)
            return false;
        if (status != NO_ERROR) {
            ReportUnreachableTarget(dialog, status, true);
            return false;
        }
        *connected = true;
    }
    WipeRemotePassword(dialog, request);
    if (TargetAnswers(request->computer))
        return true;
    DWORD error = GetLastError();
    // The connection just made goes, unless it is the one the current target uses.
    if (*connected && !IsConnectedComputer(request->computer))
        DisconnectFromComputer(request->computer);
    *connected = false;
    ReportUnreachableTarget(dialog, error, request->computer[0] != L'\0');
    return false;
}

// OK: the typed computer becomes the target once it answers; otherwise the
// dialog stays open with the text as typed and the previous target kept. The
// connection to the computer left behind is cancelled.
void AcceptRemoteTarget(HWND dialog)
{
    RemoteRequest request;
    ReadRemoteRequest(dialog, &request);
    SetWindowTextW(dialog, L"リモート管理 (接続中...)");
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    bool connected = false;
    bool reached = ReachRequestedComputer(dialog, &request, &connected);
    SetCursor(previous);
    if (!reached) {
        SetWindowTextW(dialog, L"リモート管理");
        return;
    }
    if (!IsConnectedComputer(request.computer))
        CloseRemoteConnection();
    if (connected)
        FormatBounded(ConnectedComputer, TargetServerChars, L"%s", request.computer);
    FormatBounded(TargetServer, TargetServerChars, L"%s", request.computer);
    EndDialog(dialog, 1);
}

void InitRemoteDialog(HWND dialog)
{
    SendDlgItemMessageW(dialog, IDC_REMOTE_NAME, EM_LIMITTEXT, TargetServerChars - 1, 0);
    SetDlgItemTextW(dialog, IDC_REMOTE_NAME, TargetServer);
    SendDlgItemMessageW(dialog, IDC_REMOTE_USER, EM_LIMITTEXT, ConnectionUserMaxChars, 0);
    SendDlgItemMessageW(dialog, IDC_REMOTE_PASSWORD, EM_LIMITTEXT, ConnectionPasswordMaxChars, 0);
    ShowDialogIcon(dialog, IDC_REMOTE_NOTE_ICON, IDI_REMOTE, 16);
}

} // namespace

INT_PTR CALLBACK RemoteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitRemoteDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            AcceptRemoteTarget(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        DestroyDialogIcon(dialog, IDC_REMOTE_NOTE_ICON);
        break;
    }
    return FALSE;
}

namespace {
// Local group names take 256 characters, user names 20; read with the terminator.
constexpr size_t RenameChars = NameChars + 1;
constexpr WPARAM GroupNameLimit = 256;
constexpr WPARAM UserNameLimit = 20;

bool RenamesGroup(HWND dialog)
{
    return GetWindowLongPtrW(dialog, DWLP_USER) != 0;
}

void ReportRenameFailure(HWND dialog, bool group, DWORD status)
{
    ShowPlatformError(dialog,
                      group ? L"ローカル グループの名前を変更できませんでした。\n(エラー詳細 : %s)"
                            : L"ユーザー名を変更できませんでした。\n(エラー詳細 : %s)",
                      L"名前の変更エラー", status);
}

// The group is read first at level 1 (the only level NetLocalGroupGetInfo
// serves); a group that cannot be read (gone or renamed meanwhile) is reported
// like a failed rename. A level-0 record carries the new name into the set call.
NET_API_STATUS RenameGroup(LPCWSTR server, LPCWSTR current, LPWSTR newName)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetLocalGroupGetInfo(server, current, 1, &buffer);
    if (status == NERR_Success && buffer != nullptr) {
        LOCALGROUP_INFO_0 record = {newName};
        status =
            NetLocalGroupSetInfo(server, current, 0, reinterpret_cast<LPBYTE>(&record), nullptr);
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return status;
}

NET_API_STATUS RenameUser(LPCWSTR server, LPCWSTR current, LPWSTR newName)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(server, current, 0, &buffer);
    if (status == NERR_Success && buffer != nullptr) {
        reinterpret_cast<USER_INFO_0*>(buffer)->usri0_name = newName;
        status = NetUserSetInfo(server, current, 0, buffer, nullptr);
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return status;
}

void RenameAccount(HWND dialog)
{
    LPWSTR current = AllocBuffer(RenameChars);
    LPWSTR newName = AllocBuffer(RenameChars);
    LPWSTR server = AllocServerArgument();
    if (current != nullptr && newName != nullptr && (server != nullptr || !IsRemoteTarget())) {
        GetDlgItemTextW(dialog, IDC_RENAME_CURRENT, current, static_cast<int>(RenameChars));
        GetDlgItemTextW(dialog, IDC_RENAME_NEW, newName, static_cast<int>(RenameChars));
        bool group = RenamesGroup(dialog);
        if (newName[0] != L'\0') {
            NET_API_STATUS status = group ? RenameGroup(server, current, newName)
                                          : RenameUser(server, current, newName);
            if (status == NERR_Success)
                EndDialog(dialog, 1);
            else
                ReportRenameFailure(dialog, group, status);
        }
    }
    FreeBuffer(server);
    FreeBuffer(newName);
    FreeBuffer(current);
}

// The parameter is the main list's item: its text the current name, image 2 a
// local group.
void InitRenameDialog(HWND dialog, const LVITEMW* item)
{
    bool group = item != nullptr && item->iImage == AccountImageGroup;
    SetWindowLongPtrW(dialog, DWLP_USER, group ? 1 : 0);
    SetDlgItemTextW(dialog, IDC_RENAME_CURRENT,
                    item != nullptr && item->pszText != nullptr ? item->pszText : L"");
    SendDlgItemMessageW(dialog, IDC_RENAME_NEW, EM_LIMITTEXT,
                        group ? GroupNameLimit : UserNameLimit, 0);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    SetFocus(GetDlgItem(dialog, IDC_RENAME_NEW));
}
} // namespace

INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitRenameDialog(dialog, reinterpret_cast<const LVITEMW*>(lParam));
        return FALSE; // the focus stays on the new name
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RENAME_NEW:
            if (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == EN_UPDATE)
                EnableWindow(GetDlgItem(dialog, IDOK),
                             GetWindowTextLengthW(GetDlgItem(dialog, IDC_RENAME_NEW)) > 0);
            return TRUE;
        case IDOK:
            RenameAccount(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
