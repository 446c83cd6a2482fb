#include "textformat.h"

#include <cstdio>
#include <windows.h>

int FormatBoundedV(wchar_t* buf, size_t count, const wchar_t* format, va_list args)
{
    if (buf == nullptr || count == 0)
        return -1;
    int written = _vsnwprintf(buf, count, format, args);
    if (written < 0 || static_cast<size_t>(written) >= count) {
        buf[count - 1] = L'\0';
        return -1;
    }
    return written;
}

int FormatBounded(wchar_t* buf, size_t count, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = FormatBoundedV(buf, count, format, args);
    va_end(args);
    return written;
}

void PrintFormattedV(const wchar_t* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int needed = _vscwprintf(format, measure);
    va_end(measure);
    if (needed < 0)
        return;
    size_t count = static_cast<size_t>(needed) + 1;
    auto* text = static_cast<wchar_t*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(wchar_t)));
    if (text == nullptr)
        return;
    _vsnwprintf(text, count, format, args);
    fputws(text, stdout);
    HeapFree(GetProcessHeap(), 0, text);
}

void PrintFormatted(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    PrintFormattedV(format, args);
    va_end(args);
}
