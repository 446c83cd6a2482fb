// STUB: replaced by the dialog family's implementation.
#include "password_profile.h"

INT_PTR CALLBACK PasswordResetDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK ProfileDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

void RunPasswordReset(HWND, LPCWSTR) {}
