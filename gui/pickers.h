#pragma once
#include <windows.h>

// Controls of the picker (508) and typed-names (514) templates.
#define IDC_PICKER_LIST 1000
#define IDC_TYPED_NAMES 1000

#ifndef RC_INVOKED
// Template 508: the local groups of the target computer; the checked ones are
// appended to list box 1005 of the owner.
INT_PTR CALLBACK GroupPickerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 508: the users of the target computer; the checked ones are
// appended to list box 1002 of the owner.
INT_PTR CALLBACK UserPickerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 514: names typed by hand, separated by semicolons, appended to list
// box 1002 of the owner.
INT_PTR CALLBACK TypedNamesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
