#include "textformat.h"

#include <cstdio>
#include <windows.h>

namespace {
thread_local TextBuffer* ThreadOutput = nullptr;
}

void AppendText(TextBuffer* buffer, const wchar_t* text, size_t length)
{
    if (buffer->failed || length == 0)
        return;
    if (buffer->length + length + 1 > buffer->capacity) {
        size_t capacity = buffer->capacity < 256 ? 256 : buffer->capacity;
        while (capacity < buffer->length + length + 1)
            capacity *= 2;
        // A new block rather than a reallocation: the old one is wiped before
        // it goes back to the heap, as the text may hold passwords shown once.
        auto* grown = static_cast<wchar_t*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, capacity * sizeof(wchar_t)));
        if (grown == nullptr) {
            buffer->failed = true;
            return;
        }
        if (buffer->text != nullptr) {
            wmemcpy(grown, buffer->text, buffer->length);
            SecureZeroMemory(buffer->text, buffer->capacity * sizeof(wchar_t));
            HeapFree(GetProcessHeap(), 0, buffer->text);
        }
        buffer->text = grown;
        buffer->capacity = capacity;
    }
    wmemcpy(buffer->text + buffer->length, text, length);
    buffer->length += length;
    buffer->text[buffer->length] = L'\0';
}

void FreeTextBuffer(TextBuffer* buffer)
{
    if (buffer->text != nullptr) {
        SecureZeroMemory(buffer->text, buffer->capacity * sizeof(wchar_t));
        HeapFree(GetProcessHeap(), 0, buffer->text);
    }
    *buffer = TextBuffer();
}

void SetThreadOutput(TextBuffer* buffer)
{
    ThreadOutput = buffer;
}

void PrintText(const wchar_t* text)
{
    if (ThreadOutput != nullptr)
        AppendText(ThreadOutput, text, wcslen(text));
    else
        fputws(text, stdout);
}

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
    PrintText(text);
    HeapFree(GetProcessHeap(), 0, text);
}

void PrintFormatted(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    PrintFormattedV(format, args);
    va_end(args);
}
