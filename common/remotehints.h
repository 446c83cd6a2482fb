#pragma once
#include <windows.h>

// The most likely reason a remote computer refused, for the codes that
// administrators meet when they manage a computer over the network: one line
// in Japanese that names the help page, or null for any other code. Shown only
// for a remote target: on this computer these codes have other causes.
LPCWSTR RemoteErrorHint(DWORD code);
