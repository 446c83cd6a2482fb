// CreateProcessW for test programs, tried again when Wine fails to bring the
// new process up at all (now and then it cannot map the shared user data and
// the child dies before running any code). Such a start did nothing, and a
// test never means a start to fail, so trying again is safe.
#pragma once

#include <windows.h>

#include <cstdio>

inline BOOL CreateProcessRetrying(LPCWSTR application, LPWSTR commandLine, BOOL inheritHandles,
                                  DWORD flags, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info)
{
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(application, commandLine, nullptr, nullptr, inheritHandles, flags,
                           nullptr, nullptr, startup, info))
            return TRUE;
        DWORD error = GetLastError();
        // A missing program is not a start-up accident.
        if (attempt == 3 || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return FALSE;
        fwprintf(stderr, L"CreateProcessW failed (%lu, attempt %d); starting again\n", error,
                 attempt);
        Sleep(200);
        SetLastError(error);
    }
}
