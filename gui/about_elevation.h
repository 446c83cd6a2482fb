#pragma once
#include <windows.h>

// Template 501: offered to an administrator whose process runs with a
// restricted token; relaunches the program with administrator rights.
// Ends with 1 after a successful relaunch, 2 on Cancel.
INT_PTR CALLBACK ElevationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
