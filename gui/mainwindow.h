#pragma once
#include <windows.h>

#include "globals.h"

// A local group's name may be 256 characters long; with its terminator it needs
// one more than the usual name buffer. A name cut short could name another
// account, which would then be shown, changed or deleted instead.
constexpr size_t AccountNameChars = NameChars + 1;

// The main window of Ambgui: its procedure (registered with the window class)
// and the helpers that the account commands and dialogs share with it.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Subclass procedure of the account list: lets Enter reach the list.
LRESULT CALLBACK AccountListSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);

// 1 when the token makes the current user an administrator of this computer
// (the process token, or its linked full token under UAC); then *restricted
// (if given) tells whether the process runs with the restricted one.
int IsAdministratorMember(int* restricted);

// Titles: "Ambrelle - ローカル コンピュータ" or "... リモート コンピュータ (name)"
// after TargetServer, and the one shown while a computer's lists are read.
void SetMainWindowTitle(HWND window);
void SetLoadingTitle(HWND window);

// Menu item and toolbar button states of one command.
void SetMenuCommandEnabled(HWND window, int command, bool enabled);
void SetToolbarButtonState(HWND window, int command, BYTE state);

// Shows or hides "リモート管理(&R)" in the menu and on the toolbar.
void ShowRemoteCommand(HWND window, bool show);
