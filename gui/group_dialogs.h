#pragma once
#include <windows.h>

// Controls of the add-group (504) and group-settings (505) templates. In 505
// the name (1000) is a static text.
#define IDC_GROUP_NAME 1000
#define IDC_GROUP_COMMENT 1001
#define IDC_GROUP_MEMBERS 1002
#define IDC_GROUP_ADD_MEMBERS 1003
#define IDC_GROUP_REMOVE_MEMBERS 1004

#ifndef RC_INVOKED
// Template 504: creates a local group. Ends with 1 once the group exists, 2 on Cancel.
INT_PTR CALLBACK AddGroupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 505; the parameter is the group name. Ends with 1 when description
// and members were stored, 2 on Cancel or when the group cannot be read.
INT_PTR CALLBACK GroupSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
