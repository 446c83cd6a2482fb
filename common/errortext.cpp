#include "errortext.h"

static LPWSTR EmptyLocalString()
{
    return static_cast<LPWSTR>(LocalAlloc(LPTR, sizeof(WCHAR)));
}

size_t TrimMessageLineEnd(LPWSTR text, size_t length)
{
    // At most one line feed and then one carriage return go; nothing else.
    if (length > 0 && text[length - 1] == L'\n')
        text[--length] = L'\0';
    if (length > 0 && text[length - 1] == L'\r')
        text[--length] = L'\0';
    return length;
}

LPWSTR FormatErrorText(DWORD code)
{
    LPWSTR text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0x400, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        if (text != nullptr)
            LocalFree(text);
        return EmptyLocalString();
    }
    TrimMessageLineEnd(text, length);
    return text;
}
