#pragma once
#include <windows.h>

// Controls of the password and lock-out policy template (540).
#define IDC_POLICY_TARGET 1000
#define IDC_POLICY_MAX_AGE_UNLIMITED 1001
// One label, edit box and range note per value, in the order of PolicyValue
// (minimum age, maximum age, minimum length, history, threshold, duration,
// window): IDC_POLICY_EDIT + value, and so on.
#define IDC_POLICY_LABEL 1010
#define IDC_POLICY_EDIT 1020
#define IDC_POLICY_NOTE 1030

#ifndef RC_INVOKED
#include "../report/accountpolicy.h"

// What the dialog edits: the computer (server argument, null for this one) and
// its policy as read before the dialog opened.
struct PolicyDialogState
{
    LPCWSTR server;
    AccountPolicy before;
};

// Template 540 (lParam: PolicyDialogState*): the seven values; on OK the ones
// changed are put over the policy read afresh, checked against Windows' rules
// and written with NetUserModalsSet for the level(s) that changed. A value that breaks a rule or a refused write is reported and the
// dialog stays open; it ends with 1 once written and with 2 on Cancel.
INT_PTR CALLBACK PolicyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The menu command (advanced mode): reads the target computer's policy, opens
// the dialog and refreshes the main window when something was written.
void EditAccountPolicy(HWND window);
#endif
