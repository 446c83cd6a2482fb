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

// Puts the `chars` characters that fill(text, chars) writes on the clipboard,
// in a block of its own filled in place (no other copy of a password is made).
// A block the clipboard did not take is wiped before it is freed. Returns 0 or
// the error.
template <typename Fill> DWORD PutOnClipboardInPlace(HWND owner, size_t chars, Fill fill)
{
    if (!OpenClipboard(owner))
        return GetLastError();
    DWORD status = 0;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, chars * sizeof(wchar_t));
    auto* text = block != nullptr ? static_cast<wchar_t*>(GlobalLock(block)) : nullptr;
    if (text == nullptr) {
        status = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        fill(text, chars);
        GlobalUnlock(block);
        if (!EmptyClipboard() || SetClipboardData(CF_UNICODETEXT, block) == nullptr)
            status = GetLastError() != 0 ? GetLastError() : ERROR_CLIPBOARD_NOT_OPEN;
        else
            block = nullptr; // the clipboard's now
    }
    if (block != nullptr) {
        text = static_cast<wchar_t*>(GlobalLock(block));
        if (text != nullptr)
            SecureZeroMemory(text, chars * sizeof(wchar_t));
        GlobalUnlock(block);
        GlobalFree(block);
    }
    CloseClipboard();
    return status;
}
