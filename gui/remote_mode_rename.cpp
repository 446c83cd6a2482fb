// Dialogs of the target computer, the operating mode and renaming.
#include "remote_mode_rename.h"

#include "accountlist.h"
#include "ambcore.h"
#include "dialogicon.h"
#include "globals.h"
#include "mainwindow.h"
#include "resource.h"
#include "errortext.h"
#include "textformat.h"

namespace {
// Personal mode has no remote management: leaving the remote computer is part
// of the switch. Returns false when the user keeps the remote connection.
bool LeaveRemoteTargetForPersonalMode(HWND dialog)
{
    if (!IsRemoteTarget())
        return true;
    int answer = AMBMessageBoxW(
        dialog,
        L"現在リモート管理を行っています。\n\nパーソナル モードに変更する前に、リモート管理から"
        L"ローカル管理に切り替える必要があります。\n続行すると、リモート管理は切断され自分のコンピ"
        L"ュ"
        L"ータのアカウントとグループが表示されます。\n\nリモート管理から切断してパーソナル "
        L"モードに切"
        L"り替えますか？",
        L"動作モード切替確認", MB_ICONWARNING | MB_YESNO);
    if (answer == IDNO)
        return false;
    TargetServer[0] = L'\0';
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

void ReportUnreachableTarget(HWND dialog, DWORD error)
{
    LPWSTR message = AllocBuffer(ErrorMessageChars);
    LPWSTR detail = FormatErrorText(error);
    if (message != nullptr) {
        FormatBounded(message, ErrorMessageChars,
                      L"リモート コンピュータに接続できませんでした。\n(エラー詳細 : %s)",
                      detail != nullptr ? detail : L"");
        AMBMessageBoxW(dialog, message, L"接続エラー", MB_ICONWARNING);
    }
    if (detail != nullptr)
        LocalFree(detail);
    FreeBuffer(message);
}

// OK: the typed computer becomes the target once it answers; otherwise the
// dialog stays open with the text as typed.
void AcceptRemoteTarget(HWND dialog)
{
    WCHAR typed[TargetServerChars] = {};
    GetDlgItemTextW(dialog, IDC_REMOTE_NAME, typed, static_cast<int>(TargetServerChars));
    SetWindowTextW(dialog, L"リモート管理 (接続中...)");
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    bool answered = TargetAnswers(typed);
    DWORD error = GetLastError();
    SetCursor(previous);
    if (answered) {
        FormatBounded(TargetServer, TargetServerChars, L"%s", typed);
        EndDialog(dialog, 1);
        return;
    }
    ReportUnreachableTarget(dialog, error);
    SetWindowTextW(dialog, L"リモート管理");
}

void InitRemoteDialog(HWND dialog)
{
    SendDlgItemMessageW(dialog, IDC_REMOTE_NAME, EM_LIMITTEXT, TargetServerChars - 1, 0);
    SetDlgItemTextW(dialog, IDC_REMOTE_NAME, TargetServer);
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

// STUB: the rename dialog comes with its template.
INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}
