#pragma once
#include <windows.h>

// The system's message text for a status code, in the user's default language,
// with one trailing line feed and then one trailing carriage return removed.
// Never fails: a code without text gives an empty string. The result is
// allocated with LocalAlloc (or by FormatMessageW) and released with LocalFree.
LPWSTR FormatErrorText(DWORD code);

// The trimming step of FormatErrorText: removes one trailing line feed, then
// one trailing carriage return. Returns the new length.
size_t TrimMessageLineEnd(LPWSTR text, size_t length);
