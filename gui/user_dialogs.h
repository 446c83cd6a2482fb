#pragma once
#include <windows.h>

// Controls of the add-user (502, 700) and user-settings (503, 701) templates.
// The personal templates lack some of them; ids are shared by both dialogs.
#define IDC_USER_NAME 1000        // edit (add), static with the account name (settings)
#define IDC_USER_FULL_NAME 1001   // edit
#define IDC_USER_DESCRIPTION 1002 // edit, advanced templates only
#define IDC_USER_PASSWORD 1003    // password edit (add)
#define IDC_USER_UNLOCK 1003      // button (settings)
#define IDC_USER_CONFIRM 1004     // password edit (add)
#define IDC_USER_GROUPS 1005      // list box, multiple selection
#define IDC_USER_GROUP_ADD 1006
#define IDC_USER_GROUP_REMOVE 1007
#define IDC_USER_MUST_CHANGE 1008 // advanced templates only
#define IDC_USER_CANT_CHANGE 1009
#define IDC_USER_NEVER_EXPIRES 1010 // advanced templates only
#define IDC_USER_DISABLED 1011
#define IDC_USER_RESET_PASSWORD 1012 // settings
#define IDC_USER_PROFILE 1013        // settings, advanced only
#define IDC_USER_LOGON_HOURS 1014    // settings, advanced only
#define IDC_USER_EXPIRY 1015         // settings, advanced only

#ifndef RC_INVOKED
// Templates 502 (advanced) and 700 (personal): creates a local user. Ends with 1
// once the account exists, 2 on Cancel.
INT_PTR CALLBACK AddUserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Templates 503 (advanced) and 701 (personal); the parameter is the account
// name. Ends with 1 when the changes were written, 2 on Cancel.
INT_PTR CALLBACK UserSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Membership changes that did not take: the group names, one per line, and
// the platform's code of the first failure. The names take at most half of
// the composed warning, so that the platform's text still fits behind them.
constexpr size_t FailedGroupNamesChars = 1024;
struct MembershipFailures
{
    LPWSTR names; // FailedGroupNamesChars buffer or null, owned by the caller
    DWORD firstError;
    int count;
};

// Removes the account from every local group of its own that the list box no
// longer holds (by SID). Returns how many removals succeeded; failed removals,
// and an account or group list that could not be read (no removal then), are
// recorded in `failures` when it is not null.
int RemoveUnlistedGroups(HWND listBox, LPCWSTR server, LPCWSTR accountName,
                         MembershipFailures* failures);
#endif
