#pragma once
#include <windows.h>

// Template 507: chooses personal or advanced mode (AppSettings.Advanced).
// Ends with 1 on OK, 2 on Cancel.
INT_PTR CALLBACK OperatingModeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
