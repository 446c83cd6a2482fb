#pragma once
#include <windows.h>

// Small helpers that the main window's commands and every dialog share.

// The module instance a window was created from (its dialog templates live there).
HINSTANCE InstanceOf(HWND window);

// A warning owned by `owner`: `format` has one "%s", which takes the platform's
// text for `status` (the "(エラー詳細 : %s)" line of the error messages).
void ShowPlatformError(HWND owner, const wchar_t* format, LPCWSTR caption, DWORD status);
