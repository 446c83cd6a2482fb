#include "dialogsupport.h"

#include "ambcore.h"
#include "errortext.h"
#include "globals.h"
#include "textformat.h"

HINSTANCE InstanceOf(HWND window)
{
    if (window == nullptr)
        return GetModuleHandleW(nullptr);
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
}

void ShowPlatformError(HWND owner, const wchar_t* format, LPCWSTR caption, DWORD status)
{
    LPWSTR detail = FormatErrorText(status);
    LPWSTR message = AllocBuffer(ErrorMessageChars);
    if (message != nullptr) {
        FormatBounded(message, ErrorMessageChars, format, detail != nullptr ? detail : L"");
        AMBMessageBoxW(owner, message, caption, MB_ICONWARNING);
    }
    FreeBuffer(message);
    if (detail != nullptr)
        LocalFree(detail);
}
