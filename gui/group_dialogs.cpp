// STUB: replaced by the dialog family's implementation.
#include "group_dialogs.h"

INT_PTR CALLBACK AddGroupDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK GroupSettingsDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

