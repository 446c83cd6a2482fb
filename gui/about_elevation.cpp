// The About and elevation dialogs.
#include "about_elevation.h"

#include <commctrl.h>
#include <shellapi.h>

#include "ambcore.h"
#include "dialogicon.h"
#include "dpi.h"
#include "globals.h"
#include "programpath.h"
#include "resource.h"
#include "textformat.h"

namespace {
void InitElevationDialog(HWND dialog)
{
    // The system's large icon size at the dialog's scale (32 at 96 DPI).
    int size = ScaleToDpi(32, DpiForWindow(dialog));
    HICON warning =
        static_cast<HICON>(LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, size, size, LR_SHARED));
    SendDlgItemMessageW(dialog, IDC_ELEVATION_ICON, STM_SETICON, reinterpret_cast<WPARAM>(warning),
                        0);
    SendDlgItemMessageW(dialog, IDOK, BCM_SETSHIELD, 0, TRUE);
    MessageBeep(MB_ICONWARNING);
}

// Starts the program again with administrator rights. The mutex is released
// first so that the new copy does not find this one running; it is taken back
// when the start failed or consent was refused.
bool RelaunchElevated(HWND dialog)
{
    LPWSTR programPath = AllocBuffer(PathChars);
    if (programPath == nullptr)
        return false;
    // A path that does not fit would be cut and start some other file: that is a
    // failed start, and the mutex is never let go.
    if (!GetStartedProgramPath(programPath, PathChars)) {
        FreeBuffer(programPath);
        return false;
    }
    ReleaseInstanceMutex();
    HINSTANCE result =
        ShellExecuteW(dialog, L"RunAs", programPath, nullptr, nullptr, SW_SHOWNORMAL);
    FreeBuffer(programPath);
    if (reinterpret_cast<INT_PTR>(result) > 32)
        return true;
    AcquireInstanceMutex();
    return false;
}
} // namespace

INT_PTR CALLBACK ElevationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitElevationDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (RelaunchElevated(dialog))
                EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// ---- About -------------------------------------------------------------------

namespace {
// The maker's addresses; the reserved .example domain reaches nobody until
// real ones are published.
const wchar_t MakerWebSite[] = L"https://www.dunmarrow.example/ambrelle/";
const wchar_t MakerMail[] = L"mailto:support@dunmarrow.example";

constexpr size_t VersionLineChars = 64;

// Shows one value of the program's version resource in a static control.
void ShowVersionValue(HWND dialog, int id, LPCWSTR value)
{
    SetDlgItemTextW(dialog, id, value != nullptr ? value : L"");
}

void InitAboutDialog(HWND dialog)
{
    ShowDialogIcon(dialog, IDC_ABOUT_ICON, IDI_APP, 48);

    LPWSTR programPath = AllocBuffer(PathChars);
    LPWSTR versionLine = AllocBuffer(VersionLineChars);
    LPWSTR description = nullptr;
    LPWSTR fileVersion = nullptr;
    LPWSTR productVersion = nullptr;
    LPWSTR rights = nullptr;
    // A path that does not fit is not cut and read: the values stay empty, as for
    // a file without a version resource.
    if (programPath != nullptr && GetStartedProgramPath(programPath, PathChars)) {
        AMBGetVersionResourceStringW(programPath, 0, L"FileDescription", &description);
        AMBGetVersionResourceStringW(programPath, 0, L"FileVersion", &fileVersion);
        AMBGetVersionResourceStringW(programPath, 0, L"ProductVersion", &productVersion);
        AMBGetVersionResourceStringW(programPath, 0, L"LegalCopyright", &rights);
    }

    ShowVersionValue(dialog, IDC_ABOUT_NAME, description);
    if (versionLine != nullptr) {
        // Long version strings are cut to the line's 64 characters.
        FormatBounded(versionLine, VersionLineChars, L"Version %s (%s)",
                      fileVersion != nullptr ? fileVersion : L"",
                      productVersion != nullptr ? productVersion : L"");
        ShowVersionValue(dialog, IDC_ABOUT_VERSION, versionLine);
    }
    ShowVersionValue(dialog, IDC_ABOUT_RIGHTS, rights);
    SetDlgItemTextW(dialog, IDC_ABOUT_PLATFORM, L"このプログラムは 64 ビット版 (x64) です。");

    AMBPointerFree(rights);
    AMBPointerFree(productVersion);
    AMBPointerFree(fileVersion);
    AMBPointerFree(description);
    FreeBuffer(versionLine);
    FreeBuffer(programPath);
}

// Opens `target` with its registered program; the dialog stays open either way.
void OpenWithShell(HWND dialog, LPCWSTR target, LPCWSTR failure)
{
    HINSTANCE result = ShellExecuteW(dialog, L"Open", target, nullptr, nullptr, SW_SHOWDEFAULT);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        AMBMessageBoxW(dialog, failure, L"Ambrelle", MB_ICONWARNING);
}

} // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAboutDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ABOUT_WEB:
            OpenWithShell(dialog, MakerWebSite,
                          L"Web サイトをブラウザで開くことができませんでした。");
            return TRUE;
        case IDC_ABOUT_MAIL:
            OpenWithShell(dialog, MakerMail, L"メール作成画面を開くことができませんでした。");
            return TRUE;
        case IDOK:
        case IDCANCEL: // Esc and the close box end it like OK
            DestroyDialogIcon(dialog, IDC_ABOUT_ICON);
            EndDialog(dialog, 1);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        DestroyDialogIcon(dialog, IDC_ABOUT_ICON);
        break;
    }
    return FALSE;
}
