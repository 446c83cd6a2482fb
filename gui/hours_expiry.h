#pragma once
#include <windows.h>

// Controls of the logon-hours (511) and account-expiry (512) templates.

#ifndef RC_INVOKED
// Template 511; the parameter is the account name.
INT_PTR CALLBACK LogonHoursDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 512; the parameter is the account name.
INT_PTR CALLBACK AccountExpiryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
