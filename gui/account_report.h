#pragma once
#include <windows.h>

// The account report of the managed computer, saved from the menu.
#include "../report/accountreport.h"

// The file name the save dialog proposes: "Ambrelle-<computer>-<yyyymmdd>.csv",
// with the managed computer's name and today's date. Returns 1 when it fitted.
int DefaultReportFileName(LPWSTR buffer, size_t chars);

// The menu command: asks for the file and writes the report of the target
// computer, showing a message when that fails.
void SaveAccountReport(HWND window);
