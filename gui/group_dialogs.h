#pragma once
#include <windows.h>

// Controls of the add-group (504) and group-settings (505) templates.

#ifndef RC_INVOKED
// Template 504: creates a local group. Ends with 1 once the group exists, 2 on Cancel.
INT_PTR CALLBACK AddGroupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 505; the parameter is the group name. Ends with 1 when description
// and members were stored, 2 on Cancel.
INT_PTR CALLBACK GroupSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
