// Amblift: starts Ambgui from this program's folder under the computer's
// built-in Administrator account, found by its relative identifier 500 so that
// a renamed Administrator is still found.
#include <windows.h>
#include <sddl.h>

#include "accountdomain.h"
#include "ambcore.h"
#include "errortext.h"
#include "programpath.h"
#include "resource.h"
#include "textformat.h"

namespace {

constexpr int kPasswordLimit = 127;
constexpr size_t kNameChars = 256;

struct Buffers
{
    wchar_t password[kPasswordLimit + 1];
    wchar_t targetPath[MAX_PATH];
    wchar_t accountName[kNameChars];
    wchar_t domain[kNameChars];
};

Buffers* AllocateBuffers()
{
    return static_cast<Buffers*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Buffers)));
}

void FreeBuffers(Buffers* buffers)
{
    // The password must not linger in freed memory.
    SecureZeroMemory(buffers, sizeof(Buffers));
    HeapFree(GetProcessHeap(), 0, buffers);
}

// The SID of account 500 of the domain whose SID is given; LocalFree it.
PSID AdministratorSid(PSID computerSid)
{
    LPWSTR computerText = nullptr;
    if (!ConvertSidToStringSidW(computerSid, &computerText))
        return nullptr;
    wchar_t adminText[kNameChars];
    PSID adminSid = nullptr;
    if (FormatBounded(adminText, kNameChars, L"%s-500", computerText) >= 0)
        ConvertStringSidToSidW(adminText, &adminSid);
    LocalFree(computerText);
    return adminSid;
}

// Fills buffers->accountName with the built-in Administrator's current name;
// leaves it empty when a lookup fails (the start then fails and says why).
void FindAdministratorName(Buffers* buffers)
{
    // The account domain as the computer itself reports it: a lookup of the
    // computer's name finds nothing on a domain-joined computer.
    PSID computerSid = nullptr;
    if (GetAccountDomainSid(nullptr, &computerSid, buffers->domain, kNameChars) != 0)
        return;
    PSID adminSid = AdministratorSid(computerSid);
    LocalFree(computerSid);
    if (adminSid == nullptr)
        return;
    DWORD nameLength = 0;
    DWORD domainLength = 0;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, adminSid, buffers->accountName, &nameLength, buffers->domain,
                           &domainLength, &use)) {
        if (nameLength > kNameChars || domainLength > kNameChars ||
            !LookupAccountSidW(nullptr, adminSid, buffers->accountName, &nameLength,
                               buffers->domain, &domainLength, &use))
            buffers->accountName[0] = L'\0';
    }
    LocalFree(adminSid);
}

bool StartAmbguiAsAdministrator(Buffers* buffers)
{
    // A path that does not fit would be cut and could name another file.
    if (!BuildPathBesideProgram(L"Ambgui.exe", buffers->targetPath, MAX_PATH)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    FindAdministratorName(buffers);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessWithLogonW(buffers->accountName, L".", buffers->password, LOGON_WITH_PROFILE,
                                 buffers->targetPath, nullptr, 0, nullptr, nullptr, &startup,
                                 &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void ReportLogonFailure(HWND dialog, DWORD error)
{
    LPWSTR detail = FormatErrorText(error);
    wchar_t message[1024];
    FormatBounded(message, 1024,
                  L"Administrator アカウントにログインできませんでした。\n(エラー詳細 : %s)",
                  detail ? detail : L"");
    LocalFree(detail);
    AMBMessageBoxW(dialog, message, L"ログイン エラー", MB_ICONWARNING);
}

void OnOk(HWND dialog)
{
    Buffers* buffers = AllocateBuffers();
    if (buffers == nullptr)
        return;
    GetDlgItemTextW(dialog, IDC_PASSWORD, buffers->password, kPasswordLimit + 1);
    if (StartAmbguiAsAdministrator(buffers)) {
        FreeBuffers(buffers);
        EndDialog(dialog, IDOK);
        return;
    }
    DWORD error = GetLastError();
    FreeBuffers(buffers);
    ReportLogonFailure(dialog, error);
}

INT_PTR CALLBACK AdminLogonDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageW(dialog, IDC_PASSWORD, EM_LIMITTEXT, kPasswordLimit, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Amblift");
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return 0;
    }
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ADMIN_LOGON), nullptr, AdminLogonDialog, 0);
    if (mutex != nullptr)
        CloseHandle(mutex);
    return 0;
}
