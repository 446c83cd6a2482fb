#include "errortext.h"

#include "textformat.h"

namespace {
// The network status codes (NERR_BASE to MAX_NERR) have their texts in the
// system's network message file, not in the system message table.
constexpr DWORD FirstNetworkCode = 2100;
constexpr DWORD LastNetworkCode = 2999;
// "エラー コード " and a DWORD in decimal fit with room to spare.
constexpr size_t CodeTextChars = 32;

// The message of `code` in `module` (null: the system message table), in the
// user's language, else in any language the table has; null when none.
LPWSTR MessageText(HMODULE module, DWORD code)
{
    DWORD source = module != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD languages[] = {LANG_USER_DEFAULT, 0};
    for (DWORD language : languages) {
        LPWSTR text = nullptr;
        DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source,
                           module, code, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        // A text that is nothing but its line end counts as none.
        if (length != 0 && text != nullptr && TrimMessageLineEnd(text, length) > 0)
            return text;
        if (text != nullptr)
            LocalFree(text);
        if (module == nullptr)
            break; // the system table already searches every language it has
    }
    return nullptr;
}

// netmsg.dll as a data file from the system folder only: no code runs, and a
// file of that name in the program's folder or the current one is never used.
LPWSTR NetworkMessageText(DWORD code)
{
    HMODULE module = LoadLibraryExW(L"netmsg.dll", nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr)
        return nullptr;
    LPWSTR text = MessageText(module, code);
    FreeLibrary(module);
    return text;
}

// The last resort: the code itself, so that a reason is never blank.
LPWSTR CodeText(DWORD code)
{
    auto* text = static_cast<LPWSTR>(LocalAlloc(LPTR, CodeTextChars * sizeof(WCHAR)));
    if (text != nullptr)
        FormatBounded(text, CodeTextChars, L"エラー コード %lu", code);
    return text;
}
} // namespace

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
    if (code >= FirstNetworkCode && code <= LastNetworkCode)
        text = NetworkMessageText(code);
    if (text == nullptr)
        text = MessageText(nullptr, code);
    if (text == nullptr)
        text = CodeText(code);
    return text;
}
