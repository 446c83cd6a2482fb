#pragma once
#include <windows.h>

// The system's message text for a status code, in the user's default language,
// with one trailing line feed and then one trailing carriage return removed.
// The network codes 2100-2999 are looked up in the system's network message
// file (netmsg.dll) first. A code without text anywhere gives "エラー コード N"
// (N in decimal), never an empty text. The result is allocated with LocalAlloc
// (or by FormatMessageW) and released with LocalFree; null only when memory ran out.
LPWSTR FormatErrorText(DWORD code);

// The trimming step of FormatErrorText: removes one trailing line feed, then
// one trailing carriage return. Returns the new length.
size_t TrimMessageLineEnd(LPWSTR text, size_t length);
