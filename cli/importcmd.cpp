// Ambcmd /import: the account report's table read back into the computer, with
// the plan shown first (/whatif shows only the plan).
#include "importcmd.h"

#include "accountimport.h"
#include "ambcmd.h"
#include "textformat.h"

#include <cstdio>

namespace {
constexpr int FilePosition = 2;
constexpr size_t LineChars = 1024;

bool SwitchIs(const wchar_t* argument, const wchar_t* expected)
{
    return CompareStringOrdinal(argument, -1, expected, -1, TRUE) == CSTR_EQUAL;
}

bool IsSilent(const wchar_t* argument)
{
    return SwitchIs(argument, L"/s") || SwitchIs(argument, L"/silent");
}

LPCWSTR KindName(const ImportRow& row)
{
    return row.group ? L"グループ" : L"ユーザー";
}

void PrintProblems(const ImportTable* table)
{
    PrintText(L"エラー : ファイルに問題があるため、何も変更しませんでした。\n");
    for (DWORD i = 0; table != nullptr && i < table->problemCount; ++i) {
        if (table->problems[i].line == 0)
            PrintFormatted(L"　%s\n", table->problems[i].text);
        else
            PrintFormatted(L"　行 %lu: %s\n", table->problems[i].line, table->problems[i].text);
    }
    if (table != nullptr && table->problemsNotListed > 0)
        PrintFormatted(L"　(ほかに %lu 件の問題があります。)\n", table->problemsNotListed);
    PrintText(L"\n");
}

void PrintPlan(const ImportTable* table, LPWSTR line)
{
    PrintText(L"[計画]\n");
    for (DWORD i = 0; i < table->rowCount; ++i) {
        const ImportRow& row = table->rows[i];
        DescribeImportPlan(table, i, line, LineChars);
        PrintFormatted(L"行 %lu %s %s : %s%s%s%s\n", row.line, KindName(row), row.cells[ColumnName],
                       ImportActionName(row), line[0] != L'\0' ? L" (" : L"", line,
                       line[0] != L'\0' ? L")" : L"");
    }
    ImportCounts counts = CountImport(table);
    PrintFormatted(L"作成 %lu、変更 %lu、変更なし %lu\n\n", counts.create, counts.change,
                   counts.nothing);
}

void PrintResults(const ImportTable* table, LPWSTR line)
{
    PrintText(L"[結果]\n");
    for (DWORD i = 0; i < table->rowCount; ++i) {
        const ImportRow& row = table->rows[i];
        DescribeImportResult(table, i, line, LineChars);
        PrintFormatted(L"行 %lu %s %s : %s\n", row.line, KindName(row), row.cells[ColumnName],
                       line);
    }
    ImportCounts counts = CountImport(table);
    PrintFormatted(L"成功 %lu、失敗 %lu\n\n", counts.done, counts.failed);
    if (counts.passwords == 0)
        return;
    // Shown once, here only: the administrator hands them out.
    PrintText(L"[生成したパスワード] (次回ログイン時に変更が必要です。この表示は一度だけです。)\n");
    for (DWORD i = 0; i < table->rowCount; ++i) {
        const ImportRow& row = table->rows[i];
        if (row.generatedPassword && row.outcome != ImportPending)
            PrintFormatted(L"%s\t%s\n", row.cells[ColumnName], row.password);
    }
    PrintText(L"\n");
}
} // namespace

void PrintImportHelp()
{
    PrintText(
        L"/import スイッチはファイルからユーザー アカウントとローカル グループをまとめて作成・変更します。\n\n"
        L"構文 :\n"
        L"Ambcmd /import \"File\" [/whatif] [/exact]\n\n"
        L"\tFile には、アカウント レポートと同じ列名の CSV または TSV ファイル\n"
        L"\t(UTF-8 または Shift_JIS) を指定します。\n"
        L"\tファイル全体を確認してから変更します。問題のある行があると何も変更しません。\n"
        L"/whatif\n\t変更せずに、各行で行う処理 (作成・変更・変更なし) を表示します。\n"
        L"/exact\n\tファイルに記載のないグループ メンバーシップを削除します。\n\n");
}

int ParseImportCommand(int argumentCount, wchar_t** argv, ImportOptions* options)
{
    *options = ImportOptions();
    bool fileMissing = argumentCount < FilePosition || argv[FilePosition][0] == L'/';
    for (int i = FilePosition + 1; i <= argumentCount && !fileMissing; ++i) {
        if (SwitchIs(argv[i], L"/whatif"))
            options->whatIf = true;
        else if (SwitchIs(argv[i], L"/exact"))
            options->exact = true;
        else if (!IsSilent(argv[i]))
            fileMissing = true; // an argument /import does not know
    }
    if (argumentCount >= FilePosition &&
        (SwitchIs(argv[FilePosition], L"/?") || SwitchIs(argv[FilePosition], L"/help"))) {
        PrintImportHelp();
        return ExitSuccess;
    }
    if (fileMissing) {
        PrintText(L"エラー : コマンド ラインの指定が正しくありません。\n\n");
        return ExitBadCommandLine;
    }
    options->file = argv[FilePosition];
    return ImportParsed;
}

int CheckImportFile(const ImportOptions& options)
{
    ImportTable* table = nullptr;
    DWORD status = ReadImportFile(options.file, &table);
    int exitCode = ImportParsed;
    if (status != 0 && table == nullptr) {
        PrintNetError(L"ファイルを読み込めませんでした。", status);
        exitCode = ExitBadCommandLine;
    }
    FreeImportTable(table);
    return exitCode;
}

int RunImportOn(const ImportOptions& options, LPCWSTR server)
{
    ImportTable* table = nullptr;
    DWORD status = ReadImportFile(options.file, &table);
    if (status != 0 && table == nullptr) {
        PrintNetError(L"ファイルを読み込めませんでした。", status);
        return ExitBadCommandLine;
    }
    int exitCode = ExitSuccess;
    if (status == 0)
        status = PlanImport(table, server, options.exact);
    LPWSTR line = AllocText(LineChars);
    if (line == nullptr) {
        exitCode = ExitCommandFailed;
    } else if (status == ERROR_INVALID_DATA) {
        PrintProblems(table);
        exitCode = ExitBadCommandLine;
    } else if (status != 0) {
        PrintNetError(L"アカウントを読み取れませんでした。", status);
        exitCode = ExitCommandFailed;
    } else {
        PrintFormatted(L"ファイル : %s (%s、%s、%lu 行)\n\n", options.file, table->encoding,
                       table->separator == L'\t' ? L"TSV" : L"CSV", table->rowCount);
        if (options.whatIf || !SilentMode)
            PrintPlan(table, line);
        if (!options.whatIf) {
            DWORD failed = ApplyImport(table, server, nullptr, nullptr);
            PrintResults(table, line);
            exitCode = failed == 0 ? ExitSuccess : ExitCommandFailed;
        }
    }
    FreeBlock(line);
    FreeImportTable(table);
    return exitCode;
}

int RunImportCommand(int argumentCount, wchar_t** argv, LPCWSTR server)
{
    ImportOptions options;
    int exitCode = ParseImportCommand(argumentCount, argv, &options);
    return exitCode == ImportParsed ? RunImportOn(options, server) : exitCode;
}
