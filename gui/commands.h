#pragma once
#include <windows.h>

// Carries out the main window's account commands: the ones that open a dialog
// or delete an account (40001 to 40008, 40011, 40016).
void RunAccountCommand(HWND window, int command);
