#pragma once
#include <windows.h>

// The account report: every user and local group of a computer, one row each,
// as a UTF-8 text table that spreadsheet programs open.

enum ReportFormat { ReportCsv, ReportTsv };

// Writes the report of the computer named by `server` (a server argument: null
// for the local computer) to `path`. The rows go to a temporary file in the
// same folder, which replaces `path` only once it is complete; on failure it is
// removed and `path` stays as it was. Returns 0 or the status of the failing
// call (a Win32 or a network status).
DWORD WriteAccountReport(LPCWSTR server, LPCWSTR path, ReportFormat format);

// The file name the save dialog proposes: "Ambrelle-<computer>-<yyyymmdd>.csv",
// with the managed computer's name and today's date. Returns 1 when it fitted.
int DefaultReportFileName(LPWSTR buffer, size_t chars);

// The menu command: asks for the file and writes the report of the target
// computer, showing a message when that fails.
void SaveAccountReport(HWND window);
