// Ambcmd /import: the account report's table read back into the computer, with
// the plan shown first (/whatif shows only the plan).
#include "importcmd.h"

#include "accountimport.h"
#include "ambcmd.h"
#include "textformat.h"

#include <cstdio>
#include <cwchar>

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

// The value of "/name:VALUE" when the argument is that switch, else null.
const wchar_t* SwitchValue(const wchar_t* argument, const wchar_t* prefix)
{
    size_t length = wcslen(prefix);
    if (wcsnlen(argument, length) < length ||
        CompareStringOrdinal(argument, static_cast<int>(length), prefix, static_cast<int>(length),
                             TRUE) != CSTR_EQUAL)
        return nullptr;
    return argument + length;
}

// One switch after the file; false for one /import does not know or a
// missing value.
bool ReadImportSwitch(const wchar_t* argument, ImportOptions* options)
{
    if (SwitchIs(argument, L"/whatif"))
        options->whatIf = true;
    else if (SwitchIs(argument, L"/exact"))
        options->exact = true;
    else if (SwitchIs(argument, L"/profiles"))
        options->profiles = true;
    else if (const wchar_t* group = SwitchValue(argument, L"/remove-missing:"))
        options->removeGroup = group;
    else if (const wchar_t* form = SwitchValue(argument, L"/passwords:")) {
        if (SwitchIs(form, L"easy"))
            options->easyPasswords = true;
        else if (!SwitchIs(form, L"strong"))
            return false;
    } else if (const wchar_t* slips = SwitchValue(argument, L"/slips:"))
        options->slips = slips;
    else
        return IsSilent(argument);
    return true;
}

bool OptionsHold(const ImportOptions& options)
{
    bool emptyValue = (options.removeGroup != nullptr && options.removeGroup[0] == L'\0') ||
                      (options.slips != nullptr && options.slips[0] == L'\0');
    // /profiles belongs to the deletions.
    return !emptyValue && (!options.profiles || options.removeGroup != nullptr);
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
    PrintFormatted(L"作成 %lu、変更 %lu、変更なし %lu\n", counts.create, counts.change,
                   counts.nothing);
    if (ImportGeneratesPasswords(table))
        PrintFormatted(L"生成するパスワード : %s\n", ImportPasswordFormName(table->passwordForm));
    PrintText(L"\n");
}

// The deletions in their own section, planned or done.
void PrintRemovals(const ImportTable* table, LPWSTR line, bool applied)
{
    if (table->removeGroup == nullptr)
        return;
    PrintFormatted(L"%s (グループ %s のメンバーで、ファイルにないユーザー)\n",
                   applied ? L"[削除の結果]" : L"[削除]", table->removeGroup);
    for (DWORD i = 0; i < table->removalCount; ++i) {
        DescribeImportRemoval(table, i, line, LineChars);
        PrintFormatted(L"ユーザー %s : %s\n", table->removals[i].name, line);
    }
    ImportCounts counts = CountImport(table);
    if (applied)
        PrintFormatted(L"削除 %lu、失敗 %lu、削除しない %lu\n\n", counts.removed,
                       counts.removeFailed, counts.kept);
    else
        PrintFormatted(L"削除 %lu、削除しない %lu\n\n", counts.remove, counts.kept);
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
    PrintRemovals(table, line, true);
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
        L"Ambcmd /import \"File\" [/whatif] [/exact] [/remove-missing:Group [/profiles]]\n"
        L"       [/passwords:easy | /passwords:strong] [/slips:\"Cards.html\"]\n\n"
        L"\tFile には、アカウント レポートと同じ列名の CSV または TSV ファイル\n"
        L"\t(UTF-8 または Shift_JIS) を指定します。\n"
        L"\tファイル全体を確認してから変更します。問題のある行があると何も変更しません。\n"
        L"/whatif\n\t変更せずに、各行で行う処理 (作成・変更・変更なし) と削除を表示します。\n"
        L"/exact\n\tファイルに記載のないグループ メンバーシップを削除します。\n"
        L"/remove-missing:Group\n\tGroup のメンバーでファイルにないユーザーを、ファイルの各行の後に削除します。\n"
        L"\t組み込みのアカウント、実行中のユーザー、Administrators のメンバーは削除しません。\n"
        L"/profiles\n\t削除するユーザーのプロファイルも削除します (このコンピューターのみ)。\n"
        L"/passwords:easy\n\t生成するパスワードを入力しやすい形式 (英数字 12 文字、4 文字ずつハイフン区切り) にします。\n"
        L"\t/passwords:strong (既定) は記号を含む 16 文字です。\n"
        L"/slips:Cards.html\n\t新しいユーザーごとの配布用カード (A4 に 10 枚) を HTML で保存します。\n"
        L"\tファイルにはパスワードが含まれます。\n\n");
}

int ParseImportCommand(int argumentCount, wchar_t** argv, ImportOptions* options)
{
    *options = ImportOptions();
    bool fileMissing = argumentCount < FilePosition || argv[FilePosition][0] == L'/';
    for (int i = FilePosition + 1; i <= argumentCount && !fileMissing; ++i)
        fileMissing = !ReadImportSwitch(argv[i], options);
    fileMissing = fileMissing || !OptionsHold(*options);
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

namespace {
// Reads the file and plans it with the options; the table is returned
// whenever the file could be read (*readStatus: 0 or ERROR_INVALID_DATA).
DWORD ReadAndPlan(const ImportOptions& options, LPCWSTR server, ImportTable** table,
                  DWORD* readStatus)
{
    *readStatus = ReadImportFile(options.file, table);
    if (*table == nullptr)
        return *readStatus;
    (*table)->removeGroup = options.removeGroup;
    (*table)->deleteProfiles = options.profiles;
    (*table)->passwordForm = options.easyPasswords ? ImportPasswordsEasy : ImportPasswordsStrong;
    // The /as: account, once Ambcmd connects as another account, goes into
    // (*table)->keepAccount here so that it is never deleted.
    DWORD status = PlanImport(*table, server, options.exact);
    // A file with problems stays refused whatever the plan found.
    return *readStatus != 0 ? *readStatus : status;
}

// FILE.html becomes FILE-NAME.html for the computer NAME of a run on several.
bool SlipsPath(const ImportOptions& options, LPCWSTR server, LPWSTR path, size_t chars)
{
    if (!options.slipsPerComputer || server == nullptr)
        return FormatBounded(path, chars, L"%s", options.slips) >= 0;
    LPCWSTR name = server[0] == L'\\' && server[1] == L'\\' ? server + 2 : server;
    LPCWSTR dot = wcsrchr(options.slips, L'.');
    LPCWSTR slash = wcsrchr(options.slips, L'\\');
    if (dot == nullptr || (slash != nullptr && dot < slash))
        return FormatBounded(path, chars, L"%s-%s", options.slips, name) >= 0;
    return FormatBounded(path, chars, L"%.*s-%s%s", static_cast<int>(dot - options.slips),
                         options.slips, name, dot) >= 0;
}

// The cards of the users given a password; false when they could not be saved.
bool SaveSlips(const ImportOptions& options, const ImportTable* table, LPCWSTR server)
{
    if (options.slips == nullptr)
        return true;
    if (CountImport(table).passwords == 0) {
        PrintText(L"配布用カードにするユーザー (パスワードを生成したユーザー) はありません。\n\n");
        return true;
    }
    LPWSTR path = AllocText(MAX_PATH + 64);
    DWORD status = path == nullptr ? ERROR_NOT_ENOUGH_MEMORY
                   : SlipsPath(options, server, path, MAX_PATH + 64)
                       ? WriteImportSlips(table, path)
                       : ERROR_FILENAME_EXCED_RANGE;
    if (status != 0)
        PrintNetError(L"配布用カードを保存できませんでした。", status);
    else
        PrintFormatted(
            L"配布用カードを保存しました : %s\nファイルにはパスワードが含まれています。ほかの人が読めない場所に保管し、配布が済んだら削除してください。\n\n",
            path);
    FreeBlock(path);
    return status == 0;
}
} // namespace

bool ConfirmImportRemovals(DWORD users, size_t computers)
{
    PrintText(L"！注意！\n");
    if (computers > 1)
        PrintFormatted(L"%llu 台のコンピューターで合計 %lu 人のユーザーを削除しようとしています。\n\n",
                       static_cast<unsigned long long>(computers), users);
    else
        PrintFormatted(L"%lu 人のユーザーを削除しようとしています。\n\n", users);
    PrintSidWarning();
    if (computers > 1)
        PrintFormatted(L"%llu 台すべてで削除してもよろしいですか？ (Y/N)",
                       static_cast<unsigned long long>(computers));
    else
        PrintText(L"ユーザー アカウントを削除してもよろしいですか？ (Y/N)");
    return AskYesNo() == IDYES;
}

DWORD CountImportRemovals(const ImportOptions& options, LPCWSTR server)
{
    ImportTable* table = nullptr;
    DWORD readStatus = 0;
    DWORD status = ReadAndPlan(options, server, &table, &readStatus);
    DWORD count = status == 0 ? CountImport(table).remove : 0;
    FreeImportTable(table);
    return count;
}

int RunImportOn(const ImportOptions& options, LPCWSTR server)
{
    ImportTable* table = nullptr;
    DWORD readStatus = 0;
    DWORD status = ReadAndPlan(options, server, &table, &readStatus);
    if (table == nullptr) {
        PrintNetError(L"ファイルを読み込めませんでした。", status);
        return ExitBadCommandLine;
    }
    int exitCode = ExitSuccess;
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
        if (options.whatIf || !SilentMode) {
            PrintPlan(table, line);
            PrintRemovals(table, line, false);
        }
        DWORD removals = CountImport(table).remove;
        bool go = !options.whatIf && (removals == 0 || SilentMode || options.confirmed ||
                                      ConfirmImportRemovals(removals, 1));
        if (go) {
            DWORD failed = ApplyImport(table, server, nullptr, nullptr);
            PrintResults(table, line);
            bool saved = SaveSlips(options, table, server);
            exitCode = failed == 0 && saved ? ExitSuccess : ExitCommandFailed;
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
