// The About and elevation dialogs.
#include "about_elevation.h"

#include <commctrl.h>
#include <shellapi.h>

#include "globals.h"
#include "resource.h"

namespace {
void InitElevationDialog(HWND dialog)
{
    HICON warning =
        static_cast<HICON>(LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, 32, 32, LR_SHARED));
    SendDlgItemMessageW(dialog, IDC_ELEVATION_ICON, STM_SETICON, reinterpret_cast<WPARAM>(warning),
                        0);
    SendDlgItemMessageW(dialog, IDOK, BCM_SETSHIELD, 0, TRUE);
    MessageBeep(MB_ICONWARNING);
}

// Starts the program again with administrator rights. The mutex is released
// first so that the new copy does not find this one running; it is taken back
// when the start failed or consent was refused.
bool RelaunchElevated(HWND dialog)
{
    LPWSTR programPath = AllocBuffer(PathChars);
    if (programPath == nullptr)
        return false;
    GetProgramPath(programPath, PathChars);
    ReleaseInstanceMutex();
    HINSTANCE result =
        ShellExecuteW(dialog, L"RunAs", programPath, nullptr, nullptr, SW_SHOWNORMAL);
    FreeBuffer(programPath);
    if (reinterpret_cast<INT_PTR>(result) > 32)
        return true;
    AcquireInstanceMutex();
    return false;
}
} // namespace

INT_PTR CALLBACK ElevationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitElevationDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (RelaunchElevated(dialog))
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
