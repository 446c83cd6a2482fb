#pragma once
#include <windows.h>

#ifdef AMBCORE_BUILDING
#define AMBCORE_API extern "C" __declspec(dllexport)
#else
#define AMBCORE_API extern "C" __declspec(dllimport)
#endif

// A modal message box owned by `owner`; returns the id of the button pressed.
AMBCORE_API int WINAPI AMBMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);

// DialogBoxParamW's contract: a modal dialog from template `templateId` of
// `instance`; returns the value the procedure passed to EndDialog.
AMBCORE_API INT_PTR WINAPI AMBDialogBoxParamW(HINSTANCE instance, UINT templateId, HWND owner,
                                              DLGPROC procedure, LPARAM param);

// Stores in *out a new string holding the version-resource value `name`
// ("FileDescription", "FileVersion", ...) of the file at `path`. A missing
// value or an unreadable file stores an empty string, so *out may always be
// shown and given to AMBPointerFree. `selector` is reserved (0).
AMBCORE_API BOOL WINAPI AMBGetVersionResourceStringW(LPCWSTR path, DWORD selector, LPCWSTR name,
                                                     LPWSTR* out);

// Frees a string from AMBGetVersionResourceStringW; null is accepted.
AMBCORE_API void WINAPI AMBPointerFree(LPVOID pointer);
