#pragma once
#include <windows.h>

#include <lm.h>

#include "globals.h"

// Small helpers that the main window's commands and every dialog share.

// The module instance a window was created from (its dialog templates live there).
HINSTANCE InstanceOf(HWND window);

// A warning owned by `owner`: `format` has one "%s", which takes the platform's
// text for `status` (the "(エラー詳細 : %s)" line of the error messages).
// On a remote target the hint line for the code follows (RemoteErrorHint).
void ShowPlatformError(HWND owner, const wchar_t* format, LPCWSTR caption, DWORD status);
// The same for a computer that is remote or not whatever the target is now
// (the remote dialog's computer before it becomes the target).
void ShowPlatformErrorOn(HWND owner, const wchar_t* format, LPCWSTR caption, DWORD status,
                         bool remote);

// True when a remote computer is managed but its server argument could not be
// made: the call must not fall back to the local computer.
bool IsRemoteServerMissing(LPCWSTR server);

// The level-4 record of a user of the target computer, read now; null on
// failure, with the platform's status in *status. Free with NetApiBufferFree.
USER_INFO_4* ReadUserRecord(LPCWSTR name, NET_API_STATUS* status);

// The common save dialog: `path` (PathChars WCHAR) holds the proposed name and
// receives the chosen one; an existing file is replaced only after asking.
// Returns the chosen filter's index (1 for the first), or 0 when cancelled.
DWORD AskSaveFileName(HWND owner, LPWSTR path, LPCWSTR filter, LPCWSTR title, LPCWSTR extension);

// Reads a user's level-4 record of the target computer afresh, lets `change`
// alter it and writes the whole record back, so that every field written
// meanwhile elsewhere stays as it is. Returns the status of the failing call.
template <typename Change> NET_API_STATUS UpdateUserRecord(LPCWSTR name, Change change)
{
    NET_API_STATUS status = NERR_Success;
    USER_INFO_4* record = ReadUserRecord(name, &status);
    if (record == nullptr)
        return status;
    change(record);
    LPWSTR server = AllocServerArgument();
    if (IsRemoteServerMissing(server))
        status = ERROR_NOT_ENOUGH_MEMORY;
    else
        status = NetUserSetInfo(server, name, 4, reinterpret_cast<LPBYTE>(record), nullptr);
    FreeBuffer(server);
    NetApiBufferFree(record);
    return status;
}
