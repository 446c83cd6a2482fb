// The account report's menu command: the save dialog and its proposed file
// name. The report itself is shared with Ambcmd (report/accountreport.cpp).
#include "account_report.h"

#include <commdlg.h>

#include <cwchar>

#include "accountlist.h"
#include "dialogsupport.h"
#include "globals.h"
#include "textformat.h"

int DefaultReportFileName(LPWSTR buffer, size_t chars)
{
    LPWSTR computer = AllocBuffer(NameChars);
    if (computer == nullptr)
        return 0;
    DWORD size = static_cast<DWORD>(NameChars);
    if (IsRemoteTarget())
        FormatBounded(computer, NameChars, L"%s", TargetServer);
    else if (!GetComputerNameW(computer, &size))
        computer[0] = L'\0';
    // An address or a name may hold characters that a file name cannot.
    for (LPWSTR p = computer; *p != L'\0'; ++p)
        if (*p < L' ' || wcschr(L"\\/:*?\"<>|", *p) != nullptr)
            *p = L'_';
    SYSTEMTIME today;
    GetLocalTime(&today);
    int result = FormatBounded(buffer, chars, L"Ambrelle-%s-%04d%02d%02d.csv", computer,
                               today.wYear, today.wMonth, today.wDay) >= 0
                     ? 1
                     : 0;
    FreeBuffer(computer);
    return result;
}

void SaveAccountReport(HWND window)
{
    LPWSTR path = AllocBuffer(PathChars);
    if (path == nullptr)
        return;
    if (!DefaultReportFileName(path, PathChars))
        path[0] = L'\0';
    DWORD form = AskSaveFileName(
        window, path, L"CSV (コンマ区切り) (*.csv)\0*.csv\0TSV (タブ区切り) (*.tsv)\0*.tsv\0",
        L"アカウント レポートの保存", L"csv");
    if (form != 0) {
        LPWSTR server = AllocServerArgument();
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        DWORD status = IsRemoteServerMissing(server)
                           ? ERROR_NOT_ENOUGH_MEMORY
                           : WriteAccountReport(server, path, form == 2 ? ReportTsv : ReportCsv);
        SetCursor(previous);
        FreeBuffer(server);
        if (status != 0)
            ShowPlatformError(window,
                              L"アカウント レポートを保存できませんでした。\n(エラー詳細 : %s)",
                              L"アカウント レポートの保存エラー", status);
    }
    FreeBuffer(path);
}
