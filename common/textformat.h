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
// converts to the console code page. Long texts are not cut.
void PrintFormatted(const wchar_t* format, ...);
void PrintFormattedV(const wchar_t* format, va_list args);
