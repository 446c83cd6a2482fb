#pragma once
#include <windows.h>

// Template 507: chooses personal or advanced mode (AppSettings.Advanced).
// Ends with 1 on OK, 2 on Cancel.
INT_PTR CALLBACK OperatingModeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Template 506: chooses the computer whose accounts are managed and stores it
// in TargetServer once it answers. Ends with 1 when a target was stored, 2 on
// Cancel.
// With a user name it first connects to \\NAME\IPC$ under that account; the
// connection lasts until Ambgui leaves that computer (CloseRemoteConnection).
INT_PTR CALLBACK RemoteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Cancels the explicit connection of the remote dialog, if there is one: on
// leaving that computer and at exit.
void CloseRemoteConnection();

// Template 513; the parameter is the main list's LVITEMW of the selected
// account (its text the current name, image 2 a local group). Ends with 1
// when the name was changed, 2 on Cancel.
INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
