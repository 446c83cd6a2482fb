#pragma once
#include <cstdarg>
#include <cstddef>
#include <cwchar>

// One formatting rule for the whole code base: Microsoft's. In these wide
// formats "%s" takes a wide string (and "%S" a narrow one), whatever the
// compiler's C99 printf setting. Everything goes through the CRT's _vsnwprintf,
// which keeps that rule under mingw-w64 as under MSVC.

// Formats into buf (count characters including the terminator). The result is
// always terminated; text that does not fit is cut. Returns the number of
// characters written, or -1 when the text was cut.
int FormatBounded(wchar_t* buf, size_t count, const wchar_t* format, ...);
int FormatBoundedV(wchar_t* buf, size_t count, const wchar_t* format, va_list args);

// Formats and writes to standard output through the CRT's wide output, which
// converts to the console code page. Long texts are not cut. Both go through
// PrintText.
void PrintFormatted(const wchar_t* format, ...);
void PrintFormattedV(const wchar_t* format, va_list args);

// Text gathered in memory instead of written: a zero-filled block from the
// process heap that grows as needed. A failed growth is kept in `failed` and
// drops the rest. Release with FreeTextBuffer.
struct TextBuffer
{
    wchar_t* text = nullptr;
    size_t length = 0;
    size_t capacity = 0;
    bool failed = false;
};
void AppendText(TextBuffer* buffer, const wchar_t* text, size_t length);
void FreeTextBuffer(TextBuffer* buffer);

// Writes text to standard output, or, while the calling thread has an output
// buffer, appends it there: so the same printing code can run on several
// threads at once, each gathering its own output to be written whole later.
void PrintText(const wchar_t* text);
// The calling thread's output buffer (null: standard output again).
void SetThreadOutput(TextBuffer* buffer);
