#pragma once
#include <windows.h>

// Template 501: offered to an administrator whose process runs with a
// restricted token; relaunches the program with administrator rights.
// Ends with 1 after a successful relaunch, 2 on Cancel.
INT_PTR CALLBACK ElevationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Template 500, "バージョン情報": the program's name, version and rights from
// its own version resource, and buttons that open the maker's web site and a
// new mail to the maker. Ends with 1 (OK, Esc or the close box).
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
