// STUB: replaced by the dialog family's implementation.
#include "hours_expiry.h"

INT_PTR CALLBACK LogonHoursDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK AccountExpiryDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

