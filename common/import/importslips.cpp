// Password slips: one card per new user, ten to an A4 page with cut lines,
// for a teacher to hand out. A page of its own making only: no script, no
// font, style sheet or image from outside, every field escaped.
#include "importinternal.h"

#include <cwchar>

#include "textformat.h"

namespace {
constexpr DWORD CardsPerPage = 10;

const wchar_t PageStart[] =
    L"<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
    L"<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
    L"<title>初期パスワードの配布用カード</title>\n<style>\n"
    L"@page { size: A4 portrait; margin: 0; }\n"
    L"html, body { margin: 0; padding: 0; }\n"
    L"body { font-family: \"Yu Gothic\", \"Meiryo\", \"MS Gothic\", sans-serif; color: #000; }\n"
    L".sheet { width: 210mm; height: 296mm; display: grid; grid-template-columns: 105mm 105mm;"
    L" grid-template-rows: repeat(5, 59.2mm); break-after: page; overflow: hidden; }\n"
    L".sheet:last-child { break-after: auto; }\n"
    L".card { box-sizing: border-box; border: 0.3mm dashed #888; padding: 6mm 7mm;"
    L" overflow: hidden; }\n"
    L".card dl { margin: 0; display: grid; grid-template-columns: 26mm 1fr; row-gap: 1.6mm;"
    L" font-size: 10pt; }\n"
    L".card dt { color: #444; }\n.card dd { margin: 0; overflow-wrap: anywhere; }\n"
    L".password { font-family: \"Consolas\", \"Courier New\", monospace; font-size: 14pt;"
    L" font-weight: bold; white-space: nowrap; }\n"
    L".note { margin-top: 3mm; font-size: 9pt; }\n"
    L"</style>\n</head>\n<body>\n";
const wchar_t PageEnd[] = L"</body>\n</html>\n";
const wchar_t SheetStart[] = L"<div class=\"sheet\">\n";
const wchar_t SheetEnd[] = L"</div>\n";
const wchar_t Note[] = L"初回ログイン時にパスワードの変更が必要です。";

// The card's labels and their place in it; the values are escaped between.
const wchar_t CardStart[] = L"<div class=\"card\"><dl>\n<dt>コンピューター</dt><dd>";
const wchar_t CardUser[] = L"</dd>\n<dt>ユーザー名</dt><dd>";
const wchar_t CardFullName[] = L"</dd>\n<dt>フル ネーム</dt><dd>";
const wchar_t CardPassword[] = L"</dd>\n<dt>初期パスワード</dt><dd class=\"password\">";
const wchar_t CardEnd[] = L"</dd>\n</dl>\n<p class=\"note\">";
const wchar_t CardClose[] = L"</p></div>\n";

// The longest escape ("&quot;") is six characters for one.
constexpr size_t EscapeGrowth = 6;

bool HasSlip(const ImportRow& row)
{
    return !row.group && row.generatedPassword && row.outcome == ImportDone;
}

size_t CardChars(const ImportTable* table, const ImportRow& row)
{
    size_t fixed = wcslen(CardStart) + wcslen(CardUser) + wcslen(CardFullName) +
                   wcslen(CardPassword) + wcslen(CardEnd) + wcslen(Note) + wcslen(CardClose);
    size_t values = wcslen(table->domain) + wcslen(row.cells[ColumnName]) +
                    wcslen(row.cells[ColumnFullName]) + wcslen(row.password);
    return fixed + values * EscapeGrowth;
}

// A writer into a block sized beforehand: it never grows, so no copy of a
// password is left behind in freed memory.
struct PageText
{
    LPWSTR text;
    size_t chars;
    size_t used;
};

void Put(PageText& page, LPCWSTR text)
{
    size_t length = wcslen(text);
    if (page.used + length >= page.chars)
        return; // sized for the worst case: never reached
    CopyMemory(page.text + page.used, text, length * sizeof(WCHAR));
    page.used += length;
    page.text[page.used] = L'\0';
}

void PutEscaped(PageText& page, LPCWSTR value)
{
    for (LPCWSTR p = value; *p != L'\0'; ++p) {
        WCHAR one[2] = {*p, L'\0'};
        switch (*p) {
        case L'&':
            Put(page, L"&amp;");
            break;
        case L'<':
            Put(page, L"&lt;");
            break;
        case L'>':
            Put(page, L"&gt;");
            break;
        case L'"':
            Put(page, L"&quot;");
            break;
        case L'\'':
            Put(page, L"&#39;");
            break;
        default:
            Put(page, one);
            break;
        }
    }
}

void PutCard(PageText& page, const ImportTable* table, const ImportRow& row)
{
    Put(page, CardStart);
    PutEscaped(page, table->domain);
    Put(page, CardUser);
    PutEscaped(page, row.cells[ColumnName]);
    Put(page, CardFullName);
    PutEscaped(page, row.cells[ColumnFullName]);
    Put(page, CardPassword);
    PutEscaped(page, row.password);
    Put(page, CardEnd);
    Put(page, Note);
    Put(page, CardClose);
}

void PutPage(PageText& page, const ImportTable* table)
{
    Put(page, PageStart);
    DWORD cards = 0;
    for (DWORD i = 0; i < table->rowCount; ++i) {
        const ImportRow& row = table->rows[i];
        if (!HasSlip(row))
            continue;
        if (cards % CardsPerPage == 0) {
            if (cards > 0)
                Put(page, SheetEnd);
            Put(page, SheetStart);
        }
        PutCard(page, table, row);
        ++cards;
    }
    if (cards > 0)
        Put(page, SheetEnd);
    Put(page, PageEnd);
}

DWORD WriteWhole(LPCWSTR path, const char* bytes, DWORD size)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD status = 0;
    DWORD written = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr) || written != size)
        status = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    if (!CloseHandle(file) && status == 0)
        status = GetLastError();
    if (status != 0)
        DeleteFileW(path);
    return status;
}

// Written beside the target and moved over it once whole, as the report is:
// a failed write leaves an earlier file as it was.
DWORD WriteBeside(LPCWSTR path, const char* bytes, DWORD size)
{
    size_t length = wcslen(path);
    LPWSTR temporary = static_cast<LPWSTR>(ImportAlloc((length + 8) * sizeof(WCHAR)));
    if (temporary == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    FormatBounded(temporary, length + 8, L"%s.tmp~", path);
    DWORD status = WriteWhole(temporary, bytes, size);
    if (status == 0 && !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
        status = GetLastError();
        DeleteFileW(temporary);
    }
    ImportFree(temporary);
    return status;
}
} // namespace

DWORD WriteImportSlips(const ImportTable* table, LPCWSTR path)
{
    size_t chars = wcslen(PageStart) + wcslen(PageEnd) + 1;
    DWORD cards = 0;
    for (DWORD i = 0; i < table->rowCount; ++i) {
        if (!HasSlip(table->rows[i]))
            continue;
        chars += CardChars(table, table->rows[i]);
        ++cards;
    }
    chars += (cards / CardsPerPage + 1) * (wcslen(SheetStart) + wcslen(SheetEnd));
    PageText page = {static_cast<LPWSTR>(ImportAlloc(chars * sizeof(WCHAR))), chars, 0};
    // UTF-8 takes at most three bytes for a UTF-16 unit.
    size_t bytes = chars * 3;
    auto* utf8 = static_cast<char*>(ImportAlloc(bytes));
    DWORD status = 0;
    if (page.text == nullptr || utf8 == nullptr || bytes > MAXDWORD) {
        status = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        PutPage(page, table);
        int length = WideCharToMultiByte(CP_UTF8, 0, page.text, static_cast<int>(page.used), utf8,
                                         static_cast<int>(bytes), nullptr, nullptr);
        status = length > 0 ? WriteBeside(path, utf8, static_cast<DWORD>(length)) : GetLastError();
    }
    // The page holds the passwords.
    if (page.text != nullptr)
        SecureZeroMemory(page.text, chars * sizeof(WCHAR));
    if (utf8 != nullptr)
        SecureZeroMemory(utf8, bytes);
    ImportFree(page.text);
    ImportFree(utf8);
    return status;
}
