// The import's reader: the file decoded whole (UTF-8 with or without a BOM,
// Shift_JIS, or UTF-16 with a BOM), split into RFC 4180 records, matched to
// the report's column names and checked row by row. Nothing here asks the
// platform about accounts.
#include "importinternal.h"

#include <lm.h>

#include <cstdarg>
#include <cwchar>
#include <initializer_list>

#include "reportcolumns.h"
#include "textformat.h"

namespace {
// The report's column names, and the one column only an import has; the
// report's other columns are read and dropped.
const wchar_t* const ColumnNames[ImportColumnCount] = {
    ReportColumnNames[ReportColumnKind],           ReportColumnNames[ReportColumnName],
    ReportColumnNames[ReportColumnFullName],       ReportColumnNames[ReportColumnComment],
    ReportColumnNames[ReportColumnState],          ReportColumnNames[ReportColumnMustChange],
    ReportColumnNames[ReportColumnCantChange],     ReportColumnNames[ReportColumnPasswordExpires],
    ReportColumnNames[ReportColumnAccountExpires], ReportColumnNames[ReportColumnGroups],
    ReportColumnNames[ReportColumnMembers],        L"パスワード"};
const wchar_t* const IgnoredColumns[] = {ReportColumnNames[ReportColumnId],
                                         ReportColumnNames[ReportColumnSid],
                                         ReportColumnNames[ReportColumnLockout],
                                         ReportColumnNames[ReportColumnLastLogon],
                                         ReportColumnNames[ReportColumnLastPasswordChange],
                                         ReportColumnNames[ReportColumnPasswordExpiry],
                                         ReportColumnNames[ReportColumnMicrosoftAccount]};
constexpr int IgnoredColumn = -1;
constexpr int MaxHeaderColumns = 64;

// Characters the account database refuses in names (users also refuse "@").
const wchar_t ForbiddenNameCharacters[] = L"\"/\\[]:;|=,+*?<>";
constexpr size_t UserNameMax = 20;   // LM20_UNLEN
constexpr size_t GroupNameMax = 256; // GNLEN
constexpr size_t TextFieldMax = 256; // full names and comments (MAXCOMMENTSZ)
constexpr size_t PasswordMax = 127;  // the add dialog's limit

ImportTable* NewTable()
{
    return static_cast<ImportTable*>(ImportAlloc(sizeof(ImportTable)));
}

// The line (1-based) at byte `offset` of `bytes`. Line feeds are never part of
// a multi-byte character in UTF-8 or Shift_JIS.
DWORD LineAtByte(const BYTE* bytes, size_t offset)
{
    DWORD line = 1;
    for (size_t i = 0; i < offset; ++i)
        if (bytes[i] == '\n')
            ++line;
    return line;
}

// The first line of `bytes` that code page `codePage` cannot read, or 0.
DWORD FirstUnreadableLine(const BYTE* bytes, size_t count, UINT codePage)
{
    size_t start = 0;
    while (start < count) {
        size_t end = start;
        while (end < count && bytes[end] != '\n')
            ++end;
        if (end > start && MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS,
                                               reinterpret_cast<LPCSTR>(bytes + start),
                                               static_cast<int>(end - start), nullptr, 0) == 0)
            return LineAtByte(bytes, start);
        start = end + 1;
    }
    return 0;
}

// The bytes in code page `codePage`, strictly: null when any is invalid.
LPWSTR DecodeStrict(const BYTE* bytes, size_t count, UINT codePage, size_t* chars)
{
    int needed =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCSTR>(bytes),
                            static_cast<int>(count), nullptr, 0);
    if (needed <= 0)
        return nullptr;
    auto* text =
        static_cast<LPWSTR>(ImportAlloc((static_cast<size_t>(needed) + 1) * sizeof(WCHAR)));
    if (text == nullptr)
        return nullptr;
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCSTR>(bytes),
                        static_cast<int>(count), text, needed);
    *chars = static_cast<size_t>(needed);
    return text;
}

// Decodes the whole file into table->text. UTF-16 and UTF-8 are known by their
// byte-order marks; without one, text that is valid UTF-8 is UTF-8 and any
// other is Shift_JIS, as Excel on Japanese Windows saves it.
bool Decode(ImportTable* table, const BYTE* bytes, size_t count)
{
    if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        size_t units = (count - 2) / 2;
        if ((count - 2) % 2 != 0) {
            AddProblem(table, 0, L"UTF-16 のファイルが途中で切れています。");
            return false;
        }
        table->text = static_cast<LPWSTR>(ImportAlloc((units + 1) * sizeof(WCHAR)));
        if (table->text == nullptr)
            return false;
        CopyMemory(table->text, bytes + 2, units * sizeof(WCHAR));
        table->textChars = units;
        table->encoding = L"UTF-16";
        return true;
    }
    bool bom = count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    const BYTE* body = bom ? bytes + 3 : bytes;
    size_t bodyCount = bom ? count - 3 : count;
    if (bodyCount == 0) {
        AddProblem(table, 0, L"ファイルが空です。");
        return false;
    }
    table->text = DecodeStrict(body, bodyCount, CP_UTF8, &table->textChars);
    table->encoding = bom ? L"UTF-8 (BOM)" : L"UTF-8";
    if (table->text != nullptr)
        return true;
    if (bom) {
        AddProblem(table, FirstUnreadableLine(body, bodyCount, CP_UTF8),
                   L"UTF-8 として読めないバイトがあります。");
        return false;
    }
    table->text = DecodeStrict(body, bodyCount, 932, &table->textChars);
    table->encoding = L"Shift_JIS";
    if (table->text != nullptr)
        return true;
    AddProblem(table, FirstUnreadableLine(body, bodyCount, 932),
               L"UTF-8 としても Shift_JIS としても読めない文字があります。");
    return false;
}

bool RejectNul(ImportTable* table)
{
    DWORD line = 1;
    for (size_t i = 0; i < table->textChars; ++i) {
        if (table->text[i] == L'\n')
            ++line;
        else if (table->text[i] == L'\0') {
            AddProblem(table, line, L"NUL 文字が含まれています。");
            return false;
        }
    }
    return true;
}

// ---- Records ------------------------------------------------------------------

// The parser's position. Fields are unquoted in place: a field never grows, so
// each is written over its own text and ends with a terminator.
struct Cursor
{
    LPWSTR text;
    size_t chars;
    size_t at;
    DWORD line;
};

bool AtLineEnd(const Cursor& c)
{
    return c.at >= c.chars || c.text[c.at] == L'\r' || c.text[c.at] == L'\n';
}

void SkipLineEnd(Cursor& c)
{
    if (c.at < c.chars && c.text[c.at] == L'\r')
        ++c.at;
    if (c.at < c.chars && c.text[c.at] == L'\n')
        ++c.at;
    ++c.line;
}

enum FieldResult { FieldOk, FieldBroken };

// Reads one field at the cursor into place; `field` gets its start. Stops at
// the separator (consumed), a line end or the end (not consumed).
FieldResult ReadField(ImportTable* table, Cursor& c, LPWSTR* field, bool* lastInRecord)
{
    WCHAR separator = table->separator;
    LPWSTR out = c.text + c.at;
    *field = out;
    DWORD startLine = c.line;
    if (c.at < c.chars && c.text[c.at] == L'"') {
        ++c.at;
        for (;;) {
            if (c.at >= c.chars) {
                AddProblem(table, startLine, L"引用符 (\") が閉じられていません。");
                return FieldBroken;
            }
            WCHAR ch = c.text[c.at++];
            if (ch == L'"') {
                if (c.at < c.chars && c.text[c.at] == L'"') {
                    *out++ = L'"';
                    ++c.at;
                    continue;
                }
                break;
            }
            if (ch == L'\n' || (ch == L'\r' && (c.at >= c.chars || c.text[c.at] != L'\n')))
                ++c.line;
            *out++ = ch;
        }
        if (!AtLineEnd(c) && c.text[c.at] != separator) {
            AddProblem(table, c.line,
                       L"引用符 (\") で閉じた値の後に区切り文字以外の文字があります。");
            return FieldBroken;
        }
    } else {
        while (!AtLineEnd(c) && c.text[c.at] != separator)
            *out++ = c.text[c.at++];
    }
    *lastInRecord = AtLineEnd(c);
    if (*lastInRecord)
        SkipLineEnd(c);
    else
        ++c.at; // the separator
    // The separator or line end just passed, or a character before it, takes
    // the terminator: the field is never longer than its text.
    *out = L'\0';
    return FieldOk;
}

struct Header
{
    int columns[MaxHeaderColumns]; // ImportColumn or IgnoredColumn
    LPCWSTR names[MaxHeaderColumns];
    int count;
};

// The leading ' that the report puts before = + - @ keeps a spreadsheet from
// reading a formula; it is not part of the value.
void RemoveFormulaGuard(LPWSTR field)
{
    if (field[0] == L'\'' &&
        (field[1] == L'=' || field[1] == L'+' || field[1] == L'-' || field[1] == L'@'))
        MoveMemory(field, field + 1, (wcslen(field + 1) + 1) * sizeof(WCHAR));
}

int ColumnOfName(LPCWSTR name)
{
    for (int i = 0; i < ImportColumnCount; ++i)
        if (wcscmp(name, ColumnNames[i]) == 0)
            return i;
    for (LPCWSTR ignored : IgnoredColumns)
        if (wcscmp(name, ignored) == 0)
            return IgnoredColumn;
    return -2;
}

bool ReadHeader(ImportTable* table, Cursor& c, Header& header)
{
    // The separator is the header's: the column names hold neither tabs nor commas.
    table->separator = L',';
    for (size_t i = c.at; i < c.chars && c.text[i] != L'\r' && c.text[i] != L'\n'; ++i)
        if (c.text[i] == L'\t') {
            table->separator = L'\t';
            break;
        }
    bool last = false;
    bool ok = true;
    bool seen[ImportColumnCount] = {};
    header.count = 0;
    while (!last) {
        LPWSTR name = nullptr;
        if (ReadField(table, c, &name, &last) != FieldOk)
            return false;
        if (header.count == MaxHeaderColumns) {
            AddProblem(table, 1, L"見出しの列が多すぎます (上限 %d 列)。", MaxHeaderColumns);
            return false;
        }
        int column = ColumnOfName(name);
        if (column == -2 && name[0] != L'\0') {
            AddProblem(table, 1, L"見出し「%.64s」はアカウント レポートの列名ではありません。",
                       name);
            ok = false;
        } else if (column >= 0 && seen[column]) {
            AddProblem(table, 1, L"見出し「%s」が 2 回あります。", name);
            ok = false;
        }
        if (column >= 0)
            seen[column] = true;
        header.columns[header.count] = column < 0 ? IgnoredColumn : column;
        header.names[header.count] = name;
        ++header.count;
    }
    for (int required : {ColumnKind, ColumnName})
        if (!seen[required]) {
            AddProblem(table, 1, L"必須の列「%s」がありません。", ColumnNames[required]);
            ok = false;
        }
    return ok;
}

bool IsBlankRecord(LPWSTR* fields, int count)
{
    for (int i = 0; i < count; ++i)
        if (fields[i][0] != L'\0')
            return false;
    return true;
}

// Reads the data records into rows. Stops at the first record that cannot be
// read (its quotes are broken) or at a limit.
bool ReadRecords(ImportTable* table, Cursor& c, const Header& header)
{
    table->rows = static_cast<ImportRow*>(ImportAlloc(sizeof(ImportRow) * (ImportMaxRows + 1)));
    if (table->rows == nullptr) {
        AddProblem(table, 0, L"メモリが足りません。");
        return false;
    }
    static WCHAR empty[1] = L"";
    LPWSTR fields[MaxHeaderColumns];
    while (c.at < c.chars) {
        DWORD line = c.line;
        int count = 0;
        bool last = false;
        bool extra = false;
        while (!last) {
            LPWSTR field = nullptr;
            if (ReadField(table, c, &field, &last) != FieldOk)
                return false;
            size_t length = wcslen(field);
            if (length > ImportMaxFieldChars) {
                AddProblem(table, line, L"列 %d の値が長すぎます (上限 %lu 文字)。", count + 1,
                           ImportMaxFieldChars);
                return false;
            }
            if (count < header.count)
                fields[count++] = field;
            else if (field[0] != L'\0')
                extra = true;
        }
        for (int i = count; i < header.count; ++i)
            fields[i] = empty;
        if (IsBlankRecord(fields, header.count) && !extra)
            continue;
        if (table->rowCount == ImportMaxRows) {
            AddProblem(table, 0, L"アカウントの行が多すぎます (上限 %lu 行)。", ImportMaxRows);
            return false;
        }
        if (extra)
            AddProblem(table, line, L"見出しより多くの列に値があります。");
        ImportRow& row = table->rows[table->rowCount++];
        row.line = line;
        for (LPWSTR& cell : row.cells)
            cell = empty;
        for (int i = 0; i < header.count; ++i)
            if (header.columns[i] >= 0) {
                RemoveFormulaGuard(fields[i]);
                row.cells[header.columns[i]] = fields[i];
            }
    }
    return true;
}

// ---- Values -------------------------------------------------------------------

// A cell's value quoted in a message: at most 40 characters, marked when cut.
void Shorten(LPCWSTR value, LPWSTR out, size_t chars)
{
    if (FormatBounded(out, chars, L"%.40s", value) >= 0 && wcslen(value) > 40)
        FormatBounded(out + wcslen(out), chars - wcslen(out), L"…");
}

void CellProblem(ImportTable* table, const ImportRow& row, ImportColumn column, LPCWSTR format, ...)
{
    WCHAR detail[ImportProblemChars];
    va_list args;
    va_start(args, format);
    FormatBoundedV(detail, ImportProblemChars, format, args);
    va_end(args);
    AddProblem(table, row.line, L"列「%s」: %s", ColumnNames[column], detail);
}

// -1 for an empty cell, 1 for `yes`, 0 for `no`; -2 for anything else.
int ReadChoice(LPCWSTR cell, LPCWSTR yes, LPCWSTR no)
{
    if (cell[0] == L'\0')
        return -1;
    if (wcscmp(cell, yes) == 0)
        return 1;
    if (wcscmp(cell, no) == 0)
        return 0;
    return -2;
}

bool ReadNumber(LPCWSTR& p, int maxDigits, int* value)
{
    int digits = 0;
    *value = 0;
    while (*p >= L'0' && *p <= L'9' && digits < maxDigits) {
        *value = *value * 10 + (*p - L'0');
        ++p;
        ++digits;
    }
    return digits > 0 && !(*p >= L'0' && *p <= L'9');
}

// "なし", or a local date as the report writes it ("2027/03/31 00:00"), also
// as a spreadsheet rewrites it ("2027/3/31 0:00", "2027-03-31"), in seconds
// since 1970 UTC.
bool ReadAccountExpiry(LPCWSTR cell, DWORD* seconds)
{
    if (wcscmp(cell, L"なし") == 0) {
        *seconds = TIMEQ_FOREVER;
        return true;
    }
    SYSTEMTIME local = {};
    LPCWSTR p = cell;
    int year, month, day, hour = 0, minute = 0, second = 0;
    if (!ReadNumber(p, 4, &year) || (*p != L'/' && *p != L'-'))
        return false;
    WCHAR dateSeparator = *p++;
    if (!ReadNumber(p, 2, &month) || *p++ != dateSeparator || !ReadNumber(p, 2, &day))
        return false;
    if (*p == L' ') {
        ++p;
        if (!ReadNumber(p, 2, &hour) || *p++ != L':' || !ReadNumber(p, 2, &minute))
            return false;
        if (*p == L':') {
            ++p;
            if (!ReadNumber(p, 2, &second))
                return false;
        }
    }
    if (*p != L'\0' || year < 1970 || year > 2105 || month < 1 || month > 12 || day < 1 ||
        day > 31 || hour > 23 || minute > 59 || second > 59)
        return false;
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    SYSTEMTIME utc;
    FILETIME fileTime;
    // SystemTimeToFileTime refuses a day the month does not have.
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !SystemTimeToFileTime(&utc, &fileTime))
        return false;
    ULARGE_INTEGER ticks;
    ticks.LowPart = fileTime.dwLowDateTime;
    ticks.HighPart = fileTime.dwHighDateTime;
    const ULONGLONG unixEpochSeconds = 11644473600ULL;
    ULONGLONG value = ticks.QuadPart / 10000000ULL;
    if (value <= unixEpochSeconds || value - unixEpochSeconds >= TIMEQ_FOREVER)
        return false;
    *seconds = static_cast<DWORD>(value - unixEpochSeconds);
    return true;
}

// The platform's naming rules: too long, forbidden or control characters,
// dots and spaces only, a final period.
void CheckName(ImportTable* table, const ImportRow& row)
{
    LPCWSTR name = row.cells[ColumnName];
    size_t length = wcslen(name);
    if (length == 0) {
        CellProblem(table, row, ColumnName, L"名前がありません。");
        return;
    }
    size_t max = row.group ? GroupNameMax : UserNameMax;
    WCHAR shown[64];
    Shorten(name, shown, 64);
    if (length > max) {
        CellProblem(table, row, ColumnName, L"「%s」は長すぎます (%s名は %lu 文字まで)。", shown,
                    row.group ? L"グループ" : L"ユーザー", static_cast<DWORD>(max));
        return;
    }
    bool onlyDotsAndSpaces = true;
    for (LPCWSTR p = name; *p != L'\0'; ++p) {
        if (*p < L' ' || wcschr(ForbiddenNameCharacters, *p) != nullptr ||
            (!row.group && *p == L'@')) {
            if (*p < L' ')
                CellProblem(table, row, ColumnName, L"「%s」に制御文字があります。", shown);
            else
                CellProblem(table, row, ColumnName, L"「%s」に使えない文字「%c」があります。",
                            shown, *p);
            return;
        }
        if (*p != L'.' && *p != L' ')
            onlyDotsAndSpaces = false;
    }
    if (onlyDotsAndSpaces)
        CellProblem(table, row, ColumnName, L"ピリオドとスペースだけの名前は使えません。");
    else if (name[length - 1] == L'.')
        CellProblem(table, row, ColumnName, L"「%s」の末尾にピリオドは使えません。", shown);
}

void ReadChoiceCell(ImportTable* table, const ImportRow& row, ImportColumn column, LPCWSTR yes,
                    LPCWSTR no, int* value)
{
    *value = ReadChoice(row.cells[column], yes, no);
    if (*value != -2)
        return;
    WCHAR shown[64];
    Shorten(row.cells[column], shown, 64);
    CellProblem(table, row, column, L"「%s」は読めません (「%s」か「%s」)。", shown, yes, no);
    *value = -1;
}

void CheckLength(ImportTable* table, const ImportRow& row, ImportColumn column, size_t max)
{
    if (wcslen(row.cells[column]) > max)
        CellProblem(table, row, column, L"長すぎます (%lu 文字まで)。", static_cast<DWORD>(max));
}

void CheckRowValues(ImportTable* table, ImportRow& row)
{
    LPCWSTR kind = row.cells[ColumnKind];
    if (wcscmp(kind, L"グループ") == 0) {
        row.group = true;
    } else if (wcscmp(kind, L"ユーザー") != 0) {
        WCHAR shown[64];
        Shorten(kind, shown, 64);
        if (kind[0] == L'\0')
            CellProblem(table, row, ColumnKind, L"種類がありません (「ユーザー」か「グループ」)。");
        else
            CellProblem(table, row, ColumnKind,
                        L"「%s」は種類として読めません (「ユーザー」か「グループ」)。", shown);
        row.disabled = row.mustChange = row.cantChange = row.expiringPassword = -1;
        return;
    }
    CheckName(table, row);
    CheckLength(table, row, ColumnFullName, TextFieldMax);
    CheckLength(table, row, ColumnComment, TextFieldMax);
    CheckLength(table, row, ColumnPassword, PasswordMax);
    row.disabled = row.mustChange = row.cantChange = row.expiringPassword = -1;
    if (row.group) {
        // A group has none of a user's fields; a value there is a mistake in
        // the file, not something to drop silently.
        for (ImportColumn column :
             {ColumnFullName, ColumnState, ColumnMustChange, ColumnCantChange,
              ColumnPasswordExpires, ColumnAccountExpires, ColumnGroups, ColumnPassword})
            if (row.cells[column][0] != L'\0')
                CellProblem(table, row, column, L"グループの行には指定できません。");
        return;
    }
    if (row.cells[ColumnMembers][0] != L'\0')
        CellProblem(table, row, ColumnMembers, L"ユーザーの行には指定できません。");
    ReadChoiceCell(table, row, ColumnState, L"有効", L"無効", &row.disabled);
    if (row.disabled >= 0)
        row.disabled = row.disabled == 0 ? 1 : 0; // 有効 reads 1
    ReadChoiceCell(table, row, ColumnMustChange, L"はい", L"いいえ", &row.mustChange);
    ReadChoiceCell(table, row, ColumnCantChange, L"はい", L"いいえ", &row.cantChange);
    ReadChoiceCell(table, row, ColumnPasswordExpires, L"はい", L"いいえ", &row.expiringPassword);
    LPCWSTR expiry = row.cells[ColumnAccountExpires];
    if (expiry[0] != L'\0') {
        row.hasAccountExpiry = ReadAccountExpiry(expiry, &row.accountExpiry);
        if (!row.hasAccountExpiry) {
            WCHAR shown[64];
            Shorten(expiry, shown, 64);
            CellProblem(table, row, ColumnAccountExpires,
                        L"「%s」は日時として読めません (「なし」か「2027/03/31 00:00」の形)。",
                        shown);
        }
    }
}

void CheckDuplicates(ImportTable* table)
{
    NameIndex index;
    if (!InitNameIndex(index, table->rowCount))
        return;
    for (DWORD i = 0; i < table->rowCount; ++i) {
        DWORD first = 0;
        ImportRow& row = table->rows[i];
        if (row.cells[ColumnName][0] != L'\0' &&
            !AddName(index, row.cells[ColumnName], i, &first)) {
            WCHAR shown[64];
            Shorten(row.cells[ColumnName], shown, 64);
            CellProblem(table, row, ColumnName, L"「%s」は行 %lu にもあります。", shown,
                        table->rows[first].line);
        }
    }
    FreeNameIndex(index);
}

DWORD ParseTable(ImportTable* table, const BYTE* bytes, size_t count)
{
    if (count == 0) {
        AddProblem(table, 0, L"ファイルが空です。");
        return ERROR_INVALID_DATA;
    }
    if (count > ImportMaxFileBytes) {
        AddProblem(table, 0, L"ファイルが大きすぎます (上限 %lu MB)。",
                   ImportMaxFileBytes / (1024 * 1024));
        return ERROR_INVALID_DATA;
    }
    if (!Decode(table, bytes, count) || !RejectNul(table))
        return ERROR_INVALID_DATA;
    Cursor cursor = {table->text, table->textChars, 0, 1};
    Header header;
    if (!ReadHeader(table, cursor, header) || !ReadRecords(table, cursor, header))
        return ERROR_INVALID_DATA;
    if (table->rowCount == 0) {
        AddProblem(table, 0, L"見出しの行だけで、アカウントの行がありません。");
        return ERROR_INVALID_DATA;
    }
    for (DWORD i = 0; i < table->rowCount; ++i)
        CheckRowValues(table, table->rows[i]);
    CheckDuplicates(table);
    table->rowsComplete = true;
    table->fileProblems = table->problemCount;
    table->fileProblemsNotListed = table->problemsNotListed;
    return table->problemCount + table->problemsNotListed == 0 ? 0 : ERROR_INVALID_DATA;
}
} // namespace

LPCWSTR ImportColumnName(ImportColumn column)
{
    return column >= 0 && column < ImportColumnCount ? ColumnNames[column] : L"";
}

DWORD ReadImportBytes(const BYTE* bytes, size_t count, ImportTable** table)
{
    *table = NewTable();
    if (*table == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    return ParseTable(*table, bytes, count);
}

DWORD ReadImportFile(LPCWSTR path, ImportTable** table)
{
    *table = nullptr;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    LARGE_INTEGER size = {};
    DWORD status = 0;
    BYTE* bytes = nullptr;
    DWORD read = 0;
    if (!GetFileSizeEx(file, &size)) {
        status = GetLastError();
    } else if (size.QuadPart <= ImportMaxFileBytes) {
        bytes = static_cast<BYTE*>(ImportAlloc(static_cast<size_t>(size.QuadPart) + 1));
        if (bytes == nullptr)
            status = ERROR_NOT_ENOUGH_MEMORY;
        else if (!ReadFile(file, bytes, static_cast<DWORD>(size.QuadPart), &read, nullptr))
            status = GetLastError();
    }
    CloseHandle(file);
    if (status == 0) {
        // A file over the limit is not read: its size alone gives the message.
        status = size.QuadPart > ImportMaxFileBytes
                     ? ReadImportBytes(nullptr, static_cast<size_t>(ImportMaxFileBytes) + 1, table)
                     : ReadImportBytes(bytes, read, table);
    }
    if (bytes != nullptr) {
        // The file may hold passwords.
        SecureZeroMemory(bytes, read);
        ImportFree(bytes);
    }
    return status;
}
