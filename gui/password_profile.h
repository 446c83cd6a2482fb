#pragma once
#include <windows.h>

// Controls of the password-reset (509) and profile (510) templates.

#ifndef RC_INVOKED
// The password-reset flow for `accountName`, owned by `owner` (the settings
// dialog): warning, template 509, completion message.
void RunPasswordReset(HWND owner, LPCWSTR accountName);
// Template 509; the parameter is the account name.
INT_PTR CALLBACK PasswordResetDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 510; the parameter is the account name.
INT_PTR CALLBACK ProfileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
