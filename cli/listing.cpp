// "/user /list", "/group /list" and "/report". The accounts are read by the
// account report's own code (report/accountreport.cpp), so that every form
// carries the report's columns and values; the text form is a table of some
// of them, aligned by the columns each text takes on the console.
#include "listing.h"
#include "policycmd.h"

#include "textformat.h"

#include <cstdio>
#include <cwchar>

namespace {
// The fields of a report row (report/accountreport.cpp), in order.
enum ReportColumn {
    KindColumn,
    NameColumn,
    IdColumn,
    FullNameColumn,
    CommentColumn,
    SidColumn,
    StateColumn,
    LockoutColumn,
    MembersColumn = 16,
    MicrosoftAccountColumn = 17,
    ReportColumnCount = 18
};
constexpr WCHAR RowMark = 0x1E;
constexpr WCHAR FieldMark = 0x1F;
constexpr WCHAR ItemMark = 0x1D;
constexpr size_t MaxTableColumns = 7;
constexpr size_t CountChars = 24;

const wchar_t* const UserColumns[] = {L"名前",        L"ID",   L"状態",
                                      L"フル ネーム", L"説明", L"Microsoft アカウント"};
const wchar_t* const GroupColumns[] = {L"名前", L"ID", L"説明", L"メンバー数"};
const wchar_t ComputerColumn[] = L"コンピューター";

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix)
{
    size_t length = wcslen(prefix);
    return CompareStringOrdinal(text, static_cast<int>(wcsnlen(text, length)), prefix,
                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

ReportFormat ReportFormatOf(ListForm form)
{
    switch (form) {
    case ListCsv:
        return ReportCsv;
    case ListTsv:
        return ReportTsv;
    case ListJson:
        return ReportJson;
    case ListText:
        break;
    }
    return ReportFields;
}

// UTF-8 rows as UTF-16 text from the process heap (null when out of memory).
wchar_t* RowsAsText(const ReportRows& rows)
{
    int length = static_cast<int>(rows.length);
    int chars = length == 0 ? 0
                            : MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<char*>(rows.bytes),
                                                  length, nullptr, 0);
    wchar_t* text = AllocText(static_cast<size_t>(chars) + 1);
    if (text != nullptr && chars > 0)
        MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<char*>(rows.bytes), length, text, chars);
    return text;
}

void PrintRows(const ReportRows& rows)
{
    wchar_t* text = RowsAsText(rows);
    if (text != nullptr)
        PrintText(text);
    FreeBlock(text);
}

// ---- The text table -----------------------------------------------------------

// The rows of one computer in ReportFields form, split into their fields.
struct FieldRows
{
    const wchar_t* computer = nullptr; // null: no computer column
    wchar_t* text = nullptr;
    const wchar_t** fields = nullptr; // ReportColumnCount per row
    size_t rowCount = 0;
};

bool SplitFieldRows(const ReportRows& rows, const wchar_t* computer, FieldRows* split)
{
    split->computer = computer;
    split->text = RowsAsText(rows);
    if (split->text == nullptr)
        return false;
    size_t count = 0;
    for (const wchar_t* p = split->text; *p != L'\0'; ++p)
        if (*p == RowMark)
            ++count;
    split->fields = static_cast<const wchar_t**>(HeapAlloc(
        GetProcessHeap(), HEAP_ZERO_MEMORY, (count + 1) * ReportColumnCount * sizeof(wchar_t*)));
    if (split->fields == nullptr)
        return false;
    wchar_t* p = split->text;
    while (*p != L'\0' && split->rowCount < count) {
        const wchar_t** row = split->fields + split->rowCount * ReportColumnCount;
        size_t field = 0;
        row[field++] = p;
        for (; *p != RowMark && *p != L'\0'; ++p) {
            if (*p == FieldMark) {
                *p = L'\0';
                if (field < ReportColumnCount)
                    row[field++] = p + 1;
            }
        }
        for (; field < ReportColumnCount; ++field)
            row[field] = L"";
        if (*p == RowMark)
            *p++ = L'\0';
        ++split->rowCount;
    }
    return true;
}

void FreeFieldRows(FieldRows* split)
{
    FreeBlock(split->text);
    FreeBlock(split->fields);
    *split = FieldRows();
}

size_t CountItems(const wchar_t* field)
{
    if (field[0] == L'\0')
        return 0;
    size_t count = 1;
    for (const wchar_t* p = field; *p != L'\0'; ++p)
        if (*p == ItemMark)
            ++count;
    return count;
}

// The cells of one table row; `number` holds the member count's text.
size_t TableCells(int kinds, const wchar_t* computer, const wchar_t* const* row,
                  const wchar_t** cells, wchar_t* number)
{
    size_t n = 0;
    if (computer != nullptr)
        cells[n++] = computer;
    cells[n++] = row[NameColumn];
    cells[n++] = row[IdColumn];
    if (kinds == ReportUsers) {
        bool locked = wcscmp(row[LockoutColumn], L"はい") == 0;
        cells[n++] = locked ? L"ロックアウト" : row[StateColumn];
        cells[n++] = row[FullNameColumn];
        cells[n++] = row[CommentColumn];
        cells[n++] = row[MicrosoftAccountColumn];
    } else {
        cells[n++] = row[CommentColumn];
        FormatBounded(number, CountChars, L"%llu",
                      static_cast<unsigned long long>(CountItems(row[MembersColumn])));
        cells[n++] = number;
    }
    return n;
}

size_t HeaderCells(int kinds, bool withComputer, const wchar_t** cells)
{
    size_t n = 0;
    if (withComputer)
        cells[n++] = ComputerColumn;
    const wchar_t* const* names = kinds == ReportUsers ? UserColumns : GroupColumns;
    size_t count = kinds == ReportUsers ? 6 : 4;
    for (size_t i = 0; i < count; ++i)
        cells[n++] = names[i];
    return n;
}

// Numbers stand to the right of their column.
bool IsNumberColumn(int kinds, bool withComputer, size_t column)
{
    size_t first = withComputer ? 1 : 0;
    return column == first + 1 || (kinds == ReportGroups && column == first + 3);
}

void PrintSpaces(size_t count)
{
    wchar_t spaces[65];
    while (count > 0) {
        size_t n = count < 64 ? count : 64;
        wmemset(spaces, L' ', n);
        spaces[n] = L'\0';
        PrintText(spaces);
        count -= n;
    }
}

void PrintTableRow(const wchar_t** cells, size_t count, const size_t* widths, int kinds,
                   bool withComputer)
{
    for (size_t i = 0; i < count; ++i) {
        size_t width = DisplayWidth(cells[i], wcslen(cells[i]));
        size_t pad = widths[i] > width ? widths[i] - width : 0;
        bool last = i + 1 == count;
        if (IsNumberColumn(kinds, withComputer, i))
            PrintSpaces(pad);
        PrintText(cells[i]);
        if (!IsNumberColumn(kinds, withComputer, i) && !last)
            PrintSpaces(pad);
        if (!last)
            PrintSpaces(2);
    }
    PrintText(L"\n");
}

void PrintTable(int kinds, const FieldRows* sources, size_t sourceCount, bool withComputer)
{
    const wchar_t* cells[MaxTableColumns];
    wchar_t number[CountChars];
    size_t widths[MaxTableColumns] = {};
    size_t columns = HeaderCells(kinds, withComputer, cells);
    for (size_t i = 0; i < columns; ++i)
        widths[i] = DisplayWidth(cells[i], wcslen(cells[i]));
    for (size_t s = 0; s < sourceCount; ++s)
        for (size_t r = 0; r < sources[s].rowCount; ++r) {
            TableCells(kinds, sources[s].computer, sources[s].fields + r * ReportColumnCount, cells,
                       number);
            for (size_t i = 0; i < columns; ++i) {
                size_t width = DisplayWidth(cells[i], wcslen(cells[i]));
                if (width > widths[i])
                    widths[i] = width;
            }
        }
    HeaderCells(kinds, withComputer, cells);
    PrintTableRow(cells, columns, widths, kinds, withComputer);
    for (size_t i = 0; i < columns; ++i) {
        for (size_t d = 0; d < widths[i]; ++d)
            PrintText(L"-");
        PrintText(i + 1 < columns ? L"  " : L"\n");
    }
    for (size_t s = 0; s < sourceCount; ++s)
        for (size_t r = 0; r < sources[s].rowCount; ++r) {
            TableCells(kinds, sources[s].computer, sources[s].fields + r * ReportColumnCount, cells,
                       number);
            PrintTableRow(cells, columns, widths, kinds, withComputer);
        }
    PrintText(L"\n");
}

// ---- Lists --------------------------------------------------------------------

struct ListJob
{
    int kinds;
    ListForm form;
    bool severalComputers;
};

const wchar_t* ListFailureCaption(int kinds)
{
    return kinds == ReportUsers ? L"ユーザー アカウントの一覧を取得できませんでした。"
                                : L"ローカル グループの一覧を取得できませんでした。";
}

// The rows of the thread's target computer; a failure is printed.
DWORD GatherListRows(const ListJob& job, const wchar_t* computer, ReportRows* rows)
{
    ReportOptions options;
    options.format = ReportFormatOf(job.form);
    options.kinds = job.kinds;
    options.computerColumn = job.form == ListText ? nullptr : computer;
    options.crlf = false;
    DWORD status = ReadReportRows(ServerArgument(), options, rows);
    if (status != 0)
        PrintNetError(ListFailureCaption(job.kinds), status);
    return status;
}

void PrintJsonStart()
{
    PrintText(L"[\n");
}

void PrintJsonEnd(bool anyRows)
{
    PrintText(anyRows ? L"\n]\n" : L"]\n");
}

// Prints the rows of the computers that answered, as one table or document.
void PrintListOutput(const ListJob& job, ComputerRun* runs, size_t count,
                     const wchar_t* const* computers)
{
    if (job.form == ListText) {
        auto* sources = static_cast<FieldRows*>(HeapAlloc(
            GetProcessHeap(), HEAP_ZERO_MEMORY, (count == 0 ? 1 : count) * sizeof(FieldRows)));
        if (sources == nullptr)
            return;
        size_t used = 0;
        for (size_t i = 0; i < count; ++i)
            if (runs[i].status == 0) {
                if (SplitFieldRows(runs[i].rows, computers[i], &sources[used]))
                    ++used;
                else
                    FreeFieldRows(&sources[used]);
            }
        PrintTable(job.kinds, sources, used, computers[0] != nullptr);
        for (size_t i = 0; i < count; ++i)
            FreeFieldRows(&sources[i]);
        FreeBlock(sources);
        return;
    }
    if (job.form == ListJson) {
        PrintJsonStart();
        bool any = false;
        for (size_t i = 0; i < count; ++i) {
            if (runs[i].status != 0 || runs[i].rows.rowCount == 0)
                continue;
            if (any)
                PrintText(L",\n");
            PrintRows(runs[i].rows);
            any = true;
        }
        PrintJsonEnd(any);
        return;
    }
    ReportRows header;
    if (ReadReportHeader(ReportFormatOf(job.form), job.severalComputers, false, &header) == 0)
        PrintRows(header);
    FreeReportRows(&header);
    for (size_t i = 0; i < count; ++i)
        if (runs[i].status == 0)
            PrintRows(runs[i].rows);
}

void GatherListWork(ComputerRun& run, const void* job)
{
    run.status = GatherListRows(*static_cast<const ListJob*>(job), run.name, &run.rows);
    run.exitCode = run.status == 0 ? ExitSuccess : ExitCommandFailed;
}

int ListOneTarget(const ListJob& job)
{
    ComputerRun run;
    run.status = GatherListRows(job, nullptr, &run.rows);
    const wchar_t* noComputer[] = {nullptr};
    if (run.status == 0)
        PrintListOutput(job, &run, 1, noComputer);
    FreeReportRows(&run.rows);
    return run.status == 0 ? ExitSuccess : ExitCommandFailed;
}

// The failures of several computers: on standard output after a table, on
// standard error after the other forms, which stay whole for the program
// that reads them.
int PrintListFailures(const ListJob& job, const ComputerRun* runs, size_t count)
{
    FILE* stream = job.form == ListText ? stdout : stderr;
    for (size_t i = 0; i < count; ++i) {
        if (runs[i].exitCode == ExitSuccess)
            continue;
        if (stream == stdout) {
            PrintComputerBlock(runs[i]);
        } else {
            fputws(L"[", stream);
            fputws(runs[i].name, stream);
            fputws(L"]\n", stream);
            if (runs[i].output.text != nullptr)
                fputws(runs[i].output.text, stream);
        }
    }
    return PrintComputerSummary(runs, count, stream);
}

int ListOnOneTarget(const void* job)
{
    return ListOneTarget(*static_cast<const ListJob*>(job));
}
} // namespace

bool ParseListForm(const wchar_t* argument, ListForm* form)
{
    *form = ListText;
    if (argument == nullptr || EqualsNoCase(argument, L"/s") || EqualsNoCase(argument, L"/silent"))
        return true;
    if (!StartsWithNoCase(argument, L"/format:"))
        return false;
    const wchar_t* name = argument + wcslen(L"/format:");
    if (EqualsNoCase(name, L"csv"))
        *form = ListCsv;
    else if (EqualsNoCase(name, L"tsv"))
        *form = ListTsv;
    else if (EqualsNoCase(name, L"json"))
        *form = ListJson;
    else
        return false;
    return true;
}

int RunAccountList(int kinds, ListForm form, const ComputerList& computers)
{
    ListJob job = {kinds, form, computers.count > 1};
    if (computers.count <= 1)
        return RunOnOneTarget(computers, ListOnOneTarget, &job);
    ComputerRun* runs = NewComputerRuns(computers);
    if (runs == nullptr)
        return ExitCommandFailed;
    RunOnComputers(runs, computers.count, GatherListWork, nullptr, &job);
    PrintListOutput(job, runs, computers.count, computers.names);
    fflush(stdout);
    int exitCode = PrintListFailures(job, runs, computers.count);
    FreeComputerRuns(runs, computers.count);
    return exitCode;
}

// ---- The report file ------------------------------------------------------------

namespace {
const wchar_t ReportFailureCaption[] = L"アカウント レポートを作成できませんでした。";
const wchar_t ReportReadCaption[] = L"アカウントの情報を取得できませんでした。";

int PrintReportResult(const wchar_t* path, DWORD status)
{
    if (status != 0) {
        PrintNetError(ReportFailureCaption, status);
        PrintFormatted(L"エラー : アカウント レポート %s を保存できませんでした。\n\n", path);
        return ExitCommandFailed;
    }
    PrintFormatted(L"アカウント レポートを %s に保存しました。\n\n", path);
    return ExitSuccess;
}

struct ReportJob
{
    ReportFormat format;
};

struct ReportFile
{
    const wchar_t* path;
    ReportFormat format;
};

int WriteReportOnOneTarget(const void* job)
{
    const auto& file = *static_cast<const ReportFile*>(job);
    return PrintReportResult(file.path,
                             WriteAccountReport(ServerArgument(), file.path, file.format));
}

void GatherReportWork(ComputerRun& run, const void* job)
{
    ReportOptions options;
    options.format = static_cast<const ReportJob*>(job)->format;
    options.computerColumn = run.name;
    run.status = ReadReportRows(ServerArgument(), options, &run.rows);
    if (run.status != 0)
        PrintNetError(ReportReadCaption, run.status);
    run.exitCode = run.status == 0 ? ExitSuccess : ExitCommandFailed;
}

// One file with a computer column: the header, then each computer that
// answered, in the order given.
DWORD WriteSeveralComputers(const wchar_t* path, ReportFormat format, const ComputerRun* runs,
                            size_t count)
{
    auto* parts = static_cast<ReportRows*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (count + 1) * sizeof(ReportRows)));
    if (parts == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD status = ReadReportHeader(format, true, true, &parts[0]);
    size_t used = 1;
    for (size_t i = 0; i < count; ++i)
        if (runs[i].status == 0)
            parts[used++] = runs[i].rows; // borrowed, released with the runs
    if (status == 0)
        status = WriteReportParts(path, parts, used);
    FreeReportRows(&parts[0]);
    FreeBlock(parts);
    return status;
}
} // namespace

namespace {
int WriteAccountsFile(const wchar_t* path, ReportFormat format, const ComputerList& computers)
{
    if (computers.count <= 1) {
        ReportFile file = {path, format};
        return RunOnOneTarget(computers, WriteReportOnOneTarget, &file);
    }
    ComputerRun* runs = NewComputerRuns(computers);
    if (runs == nullptr)
        return ExitCommandFailed;
    ReportJob job = {format};
    RunOnComputers(runs, computers.count, GatherReportWork, nullptr, &job);
    for (size_t i = 0; i < computers.count; ++i)
        if (runs[i].exitCode != ExitSuccess)
            PrintComputerBlock(runs[i]);
    int fileResult =
        PrintReportResult(path, WriteSeveralComputers(path, format, runs, computers.count));
    int exitCode = PrintComputerSummary(runs, computers.count, stdout);
    FreeComputerRuns(runs, computers.count);
    return fileResult != ExitSuccess ? fileResult : exitCode;
}
} // namespace

// The accounts' table, then the policy of the same computers in a file of its
// own beside it (the table's columns stay the import's).
int RunAccountReport(const wchar_t* path, ListForm form, const ComputerList& computers)
{
    ReportFormat format = form == ListTsv ? ReportTsv : ReportCsv;
    int exitCode = WriteAccountsFile(path, format, computers);
    if (exitCode == ExitCommandFailed && computers.count <= 1)
        return exitCode;
    int policyCode = WritePolicyReportFile(path, format == ReportTsv, computers);
    return exitCode != ExitSuccess ? exitCode : policyCode;
}

// ---- Display width ------------------------------------------------------------

namespace {
// East Asian Wide and Fullwidth characters (Unicode's EastAsianWidth W and F)
// of the Basic Multilingual Plane; a surrogate pair (most of the rest are
// wide ideographs and emoji) counts two.
bool IsWideCharacter(wchar_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE10 && c <= 0xFE19) || (c >= 0xFE30 && c <= 0xFE6F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}
} // namespace

size_t DisplayWidth(const wchar_t* text, size_t length)
{
    // The console shows text in its code page: in a double-byte code page
    // (932 on a Japanese Windows) a character takes as many columns as it
    // has bytes there, which is also how the output is converted.
    CPINFO info = {};
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2) {
        int bytes = length == 0 ? 0
                                : WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length),
                                                      nullptr, 0, nullptr, nullptr);
        if (bytes > 0 || length == 0)
            return static_cast<size_t>(bytes);
    }
    size_t width = 0;
    for (size_t i = 0; i < length; ++i) {
        if (IS_HIGH_SURROGATE(text[i]) && i + 1 < length && IS_LOW_SURROGATE(text[i + 1])) {
            width += 2;
            ++i;
        } else {
            width += IsWideCharacter(text[i]) ? 2 : 1;
        }
    }
    return width;
}
