#include "dialogsupport.h"

#include <commdlg.h>

#include "accountlist.h"
#include "ambcore.h"
#include "errortext.h"
#include "globals.h"
#include "remotehints.h"
#include "textformat.h"

HINSTANCE InstanceOf(HWND window)
{
    if (window == nullptr)
        return GetModuleHandleW(nullptr);
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
}

void ShowPlatformError(HWND owner, const wchar_t* format, LPCWSTR caption, DWORD status)
{
    ShowPlatformErrorOn(owner, format, caption, status, IsRemoteTarget());
}

void ShowPlatformErrorOn(HWND owner, const wchar_t* format, LPCWSTR caption, DWORD status,
                         bool remote)
{
    LPWSTR detail = FormatErrorText(status);
    LPWSTR message = AllocBuffer(ErrorMessageChars);
    if (message != nullptr) {
        FormatBounded(message, ErrorMessageChars, format, detail != nullptr ? detail : L"");
        LPCWSTR hint = remote ? RemoteErrorHint(status) : nullptr;
        if (hint != nullptr) {
            size_t used = wcslen(message);
            FormatBounded(message + used, ErrorMessageChars - used, L"\n\n%s", hint);
        }
        AMBMessageBoxW(owner, message, caption, MB_ICONWARNING);
    }
    FreeBuffer(message);
    if (detail != nullptr)
        LocalFree(detail);
}

bool IsRemoteServerMissing(LPCWSTR server)
{
    return server == nullptr && IsRemoteTarget();
}

USER_INFO_4* ReadUserRecord(LPCWSTR name, NET_API_STATUS* status)
{
    LPWSTR server = AllocServerArgument();
    LPBYTE record = nullptr;
    *status = IsRemoteServerMissing(server) ? ERROR_NOT_ENOUGH_MEMORY
                                            : NetUserGetInfo(server, name, 4, &record);
    FreeBuffer(server);
    if (*status == NERR_Success && record != nullptr)
        return reinterpret_cast<USER_INFO_4*>(record);
    if (record != nullptr)
        NetApiBufferFree(record);
    if (*status == NERR_Success)
        *status = ERROR_INVALID_DATA;
    return nullptr;
}

DWORD AskSaveFileName(HWND owner, LPWSTR path, LPCWSTR filter, LPCWSTR title, LPCWSTR extension)
{
    OPENFILENAMEW save = {};
    save.lStructSize = sizeof(save);
    save.hwndOwner = owner;
    save.lpstrFilter = filter;
    save.nFilterIndex = 1;
    save.lpstrFile = path;
    save.nMaxFile = static_cast<DWORD>(PathChars);
    save.lpstrTitle = title;
    save.lpstrDefExt = extension;
    save.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetSaveFileNameW(&save) ? save.nFilterIndex : 0;
}
