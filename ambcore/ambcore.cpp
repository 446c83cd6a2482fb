#define AMBCORE_BUILDING
#include "ambcore.h"

#include <cwchar>

#include "textformat.h"

int WINAPI AMBMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    return MessageBoxW(owner, text, caption, style);
}

INT_PTR WINAPI AMBDialogBoxParamW(HINSTANCE instance, UINT templateId, HWND owner,
                                  DLGPROC procedure, LPARAM param)
{
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, procedure, param);
}

static LPWSTR DuplicateString(LPCWSTR text, size_t length)
{
    auto* copy = static_cast<LPWSTR>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(WCHAR)));
    if (copy != nullptr && length > 0)
        wmemcpy(copy, text, length);
    return copy;
}

// Looks `name` up under each translation the resource declares, then under the
// usual neutral and US-English blocks.
static bool QueryVersionString(const void* block, LPCWSTR name, LPCWSTR* value, UINT* length)
{
    struct Translation
    {
        WORD language;
        WORD codePage;
    };
    const Translation* translations = nullptr;
    UINT translationBytes = 0;
    if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation",
                        reinterpret_cast<LPVOID*>(const_cast<Translation**>(&translations)),
                        &translationBytes))
        translationBytes = 0;

    const Translation fallbacks[] = {{0x0411, 1200}, {0x0409, 1200}, {0x0000, 1200}};
    size_t declared = translations ? translationBytes / sizeof(Translation) : 0;
    size_t total = declared + sizeof(fallbacks) / sizeof(fallbacks[0]);
    for (size_t i = 0; i < total; ++i) {
        const Translation& t = i < declared ? translations[i] : fallbacks[i - declared];
        WCHAR query[128];
        if (FormatBounded(query, 128, L"\\StringFileInfo\\%04x%04x\\%s", t.language, t.codePage,
                          name) < 0)
            return false;
        LPVOID found = nullptr;
        UINT foundLength = 0;
        if (VerQueryValueW(block, query, &found, &foundLength) && found != nullptr) {
            *value = static_cast<LPCWSTR>(found);
            *length = foundLength;
            return true;
        }
    }
    return false;
}

BOOL WINAPI AMBGetVersionResourceStringW(LPCWSTR path, DWORD selector, LPCWSTR name, LPWSTR* out)
{
    (void)selector;
    if (out == nullptr)
        return FALSE;
    *out = nullptr;
    BOOL ok = FALSE;
    LPCWSTR value = L"";
    size_t valueLength = 0;

    DWORD handle = 0;
    DWORD size = (path && name) ? GetFileVersionInfoSizeW(path, &handle) : 0;
    void* block = size ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size) : nullptr;
    if (block != nullptr && GetFileVersionInfoW(path, 0, size, block)) {
        UINT length = 0;
        if (QueryVersionString(block, name, &value, &length)) {
            // The stored length counts the terminator when there is one.
            valueLength = wcsnlen(value, length);
            ok = TRUE;
        }
    }
    *out = DuplicateString(value, valueLength);
    if (block != nullptr)
        HeapFree(GetProcessHeap(), 0, block);
    return ok && *out != nullptr;
}

void WINAPI AMBPointerFree(LPVOID pointer)
{
    if (pointer != nullptr)
        HeapFree(GetProcessHeap(), 0, pointer);
}
