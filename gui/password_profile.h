#pragma once
#include <windows.h>

// Controls of the password-reset (509) and profile (510) templates.

// Template 509
#define IDC_RESET_PASSWORD 1003
#define IDC_RESET_CONFIRMATION 1004

// Template 510
#define IDC_PROFILE_PATH 1000
#define IDC_PROFILE_SCRIPT 1001
#define IDC_PROFILE_HOME_LOCAL 1002
#define IDC_PROFILE_HOME_NETWORK 1003
#define IDC_PROFILE_LOCAL_PATH 1004
#define IDC_PROFILE_DRIVE 1005
#define IDC_PROFILE_NETWORK_LABEL 1006
#define IDC_PROFILE_NETWORK_PATH 1007
#define IDC_PROFILE_CREATE 1008
#define IDC_PROFILE_DELETE 1009

#ifndef RC_INVOKED
// The password-reset flow for `accountName`, owned by `owner` (the settings
// dialog): warning, template 509, completion message.
void RunPasswordReset(HWND owner, LPCWSTR accountName);
// Template 509; the parameter is the account name. Ends with 1 when the
// password was set, 2 on Cancel.
INT_PTR CALLBACK PasswordResetDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 510; the parameter is the account name. Ends with 1 when the
// profile fields were written, 2 on Cancel or when the account cannot be read.
INT_PTR CALLBACK ProfileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
