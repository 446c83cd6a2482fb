#pragma once
#include <windows.h>

// Controls of the add-user (502, 700) and user-settings (503, 701) templates.

#ifndef RC_INVOKED
// Templates 502 (advanced) and 700 (personal): creates a local user. Ends with 1
// once the account exists, 2 on Cancel.
INT_PTR CALLBACK AddUserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Templates 503 (advanced) and 701 (personal); the parameter is the account
// name. Ends with 1 when the changes were written, 2 on Cancel.
INT_PTR CALLBACK UserSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
