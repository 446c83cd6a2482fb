// Dialogs of the target computer, the operating mode and renaming.
#include "remote_mode_rename.h"

#include "accountlist.h"
#include "ambcore.h"
#include "globals.h"
#include "mainwindow.h"
#include "resource.h"

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
