// The account report's menu command: the save dialog and its proposed file
// name. The report and the policy file beside it are shared with Ambcmd
// (report/accountreport.cpp, report/accountpolicy.cpp).
#include "account_report.h"

#include <commdlg.h>

#include <cwchar>

#include "../report/accountpolicy.h"
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

namespace {
// The name the policy row gives the computer: as typed for a remote one.
void ReportedComputerName(LPWSTR name, DWORD chars)
{
    if (IsRemoteTarget())
        FormatBounded(name, chars, L"%s", TargetServer);
    else if (!GetComputerNameW(name, &chars))
        name[0] = L'\0';
}

// The policy file beside the report ("NAME.policy.EXT"), as Ambcmd /report
// writes it: one row, in the report's format.
DWORD WritePolicyBesideReport(LPCWSTR server, LPCWSTR reportPath, ReportFormat format)
{
    LPWSTR path = AllocBuffer(PathChars);
    LPWSTR computer = AllocBuffer(NameChars);
    DWORD status = ERROR_NOT_ENOUGH_MEMORY;
    AccountPolicy policy;
    if (path != nullptr && computer != nullptr) {
        status = PolicyReportPath(reportPath, path, PathChars) ? ReadAccountPolicy(server, &policy)
                                                               : ERROR_FILENAME_EXCED_RANGE;
    }
    if (status == 0) {
        ReportedComputerName(computer, static_cast<DWORD>(NameChars));
        PolicyRow row = {computer, &policy};
        LPWSTR text = FormatPolicyTable(&row, 1, format, true);
        status = text != nullptr ? WritePolicyReport(path, text) : ERROR_NOT_ENOUGH_MEMORY;
        LocalFree(text);
    }
    FreeBuffer(computer);
    FreeBuffer(path);
    return status;
}
} // namespace

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
        ReportFormat format = form == 2 ? ReportTsv : ReportCsv;
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        DWORD status = IsRemoteServerMissing(server) ? ERROR_NOT_ENOUGH_MEMORY
                                                     : WriteAccountReport(server, path, format);
        DWORD policyStatus = status == 0 ? WritePolicyBesideReport(server, path, format) : 0;
        SetCursor(previous);
        FreeBuffer(server);
        if (status != 0)
            ShowPlatformError(window,
                              L"アカウント レポートを保存できませんでした。\n(エラー詳細 : %s)",
                              L"アカウント レポートの保存エラー", status);
        else if (policyStatus != 0)
            ShowPlatformError(
                window,
                L"アカウント レポートは保存しましたが、パスワードとロックアウトのポリシーを保存できませんでした。\n(エラー詳細 : %s)",
                L"アカウント レポートの保存エラー", policyStatus);
    }
    FreeBuffer(path);
}
