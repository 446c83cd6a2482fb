// Ambcmd /policy: the password and lock-out policy (NetUserModalsGet and
// NetUserModalsSet through report/accountpolicy.cpp). Every value is checked
// before any computer is touched; the rules between two values are checked
// against each computer's own policy before it is written.
#include "policycmd.h"

#include "listing.h"

#include "../report/accountpolicy.h"

#include <lm.h>

#include <cstdio>
#include <cwchar>

namespace {
const wchar_t CommandLineError[] = L"エラー : コマンド ラインの指定が正しくありません。\n\n";
const wchar_t ReadCaption[] = L"パスワードとロックアウトのポリシーを取得できませんでした。";
const wchar_t WriteCaption[] = L"パスワードとロックアウトのポリシーを書き込めませんでした。";
const wchar_t FailureLine[] = L"エラー : パスワードとロックアウトのポリシーを変更できませんでした。\n\n";
// The longest part of a bad value that a message repeats.
constexpr size_t ShownValueChars = 24;

// The switches of `net accounts`, with what each takes.
struct PolicySwitch
{
    const wchar_t* name;
    PolicyValue value;
    const wchar_t* accepted;
};
const PolicySwitch Switches[] = {
    {L"/minpwage", PolicyMinAge, L"0 から 998 の数値 (日)"},
    {L"/maxpwage", PolicyMaxAge, L"1 から 999 の数値 (日) または unlimited"},
    {L"/minpwlen", PolicyMinLength, L"0 から 14 の数値"},
    {L"/uniquepw", PolicyHistory, L"0 から 8 の数値"},
    {L"/lockoutthreshold", PolicyThreshold, L"0 から 999 の数値 (0 : ロックアウトしない)"},
    {L"/lockoutduration", PolicyDuration,
     L"0 から 99999 の数値 (分。0 : 管理者が解除するまで)"},
    {L"/lockoutwindow", PolicyWindow, L"1 から 99999 の数値 (分)"},
};
constexpr size_t SwitchCount = sizeof(Switches) / sizeof(Switches[0]);

// What the command line asks for: values to set (given[v]) or a form to show.
struct PolicyRequest
{
    bool given[PolicyValueCount] = {};
    DWORD units[PolicyValueCount] = {};
    ListForm form = ListText;
    bool formGiven = false;
};

bool AnyGiven(const PolicyRequest& request)
{
    for (bool given : request.given)
        if (given)
            return true;
    return false;
}

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix)
{
    size_t length = wcslen(prefix);
    return CompareStringOrdinal(text, static_cast<int>(wcsnlen(text, length)), prefix,
                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// a is exactly b (length characters), whatever the case.
bool EqualsNoCase(const wchar_t* a, const wchar_t* b, size_t length)
{
    return wcsnlen(a, length + 1) == length &&
           CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

const PolicySwitch* FindSwitch(const wchar_t* argument, const wchar_t** valueText)
{
    const wchar_t* colon = wcschr(argument, L':');
    if (colon == nullptr)
        return nullptr;
    size_t length = static_cast<size_t>(colon - argument);
    for (const PolicySwitch& s : Switches) {
        if (wcslen(s.name) == length &&
            CompareStringOrdinal(argument, static_cast<int>(length), s.name,
                                 static_cast<int>(length), TRUE) == CSTR_EQUAL) {
            *valueText = colon + 1;
            return &s;
        }
    }
    return nullptr;
}

// A decimal number within range, "unlimited" where the value allows it, and
// for the lock-out duration 0, the local policy's "until an administrator
// unlocks". Any length of digits is read without overflow.
bool ParseUnits(const PolicySwitch& s, const wchar_t* text, DWORD* units)
{
    PolicyRange range = PolicyValueRange(s.value);
    if (s.value == PolicyMaxAge && EqualsNoCase(text, L"unlimited", wcslen(L"unlimited"))) {
        *units = PolicyUnlimited;
        return true;
    }
    if (text[0] == L'\0')
        return false;
    unsigned long long number = 0;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p < L'0' || *p > L'9')
            return false;
        number = number * 10 + static_cast<unsigned>(*p - L'0');
        if (number > range.max)
            return false;
    }
    if (s.value == PolicyDuration && number == 0) {
        *units = PolicyUnlimited;
        return true;
    }
    if (number < range.min)
        return false;
    *units = static_cast<DWORD>(number);
    return true;
}

void PrintBadValue(const PolicySwitch& s, const wchar_t* text)
{
    size_t length = wcslen(text);
    bool cut = length > ShownValueChars;
    PrintFormatted(L"エラー : %s の値 \"%.*s%s\" は指定できません。\n指定できる値 : %s\n\n",
                   s.name, static_cast<int>(cut ? ShownValueChars : length), text,
                   cut ? L"..." : L"", s.accepted);
}

// Returns 0 when understood, else the exit code after the message.
int ParseRequest(int argumentCount, wchar_t** argv, PolicyRequest* request)
{
    for (int i = 2; i <= argumentCount; ++i) {
        const wchar_t* argument = argv[i];
        if (EqualsNoCase(argument, L"/s", 2) || EqualsNoCase(argument, L"/silent", 7))
            continue;
        if (StartsWithNoCase(argument, L"/format:") && !request->formGiven) {
            if (!ParseListForm(argument, &request->form)) {
                PrintText(CommandLineError);
                return ExitBadCommandLine;
            }
            request->formGiven = true;
            continue;
        }
        const wchar_t* valueText = nullptr;
        const PolicySwitch* s = FindSwitch(argument, &valueText);
        if (s == nullptr || request->given[s->value]) {
            PrintText(CommandLineError);
            return ExitBadCommandLine;
        }
        if (!ParseUnits(*s, valueText, &request->units[s->value])) {
            PrintBadValue(*s, valueText);
            return ExitBadCommandLine;
        }
        request->given[s->value] = true;
    }
    if (request->formGiven && AnyGiven(*request)) {
        PrintText(CommandLineError);
        return ExitBadCommandLine;
    }
    return 0;
}

// ---- Showing -------------------------------------------------------------------

void PrintPolicyLines(const AccountPolicy& policy)
{
    size_t widest = 0;
    for (int v = 0; v < PolicyValueCount; ++v) {
        const wchar_t* label = PolicyValueLabel(static_cast<PolicyValue>(v));
        size_t width = DisplayWidth(label, wcslen(label));
        widest = width > widest ? width : widest;
    }
    for (int v = 0; v < PolicyValueCount; ++v) {
        const wchar_t* label = PolicyValueLabel(static_cast<PolicyValue>(v));
        wchar_t value[32];
        FormatPolicyValue(policy, static_cast<PolicyValue>(v), value, 32);
        int pad = static_cast<int>(widest - DisplayWidth(label, wcslen(label)));
        PrintFormatted(L"%s%*s : %s\n", label, pad, L"", value);
    }
    PrintText(L"\n");
}

int ShowPolicy(const void*)
{
    AccountPolicy policy;
    DWORD status = ReadAccountPolicy(ServerArgument(), &policy);
    if (status != 0) {
        PrintNetError(ReadCaption, status);
        return ExitCommandFailed;
    }
    PrintPolicyLines(policy);
    PrintText(L"処理は正常に終了しました。\n\n");
    return ExitSuccess;
}

// ---- Setting -------------------------------------------------------------------

struct SetJob
{
    const PolicyRequest* request;
};

AccountPolicy WithRequest(const AccountPolicy& before, const PolicyRequest& request)
{
    AccountPolicy after = before;
    for (int v = 0; v < PolicyValueCount; ++v)
        if (request.given[v])
            SetPolicyValue(&after, static_cast<PolicyValue>(v), request.units[v]);
    return after;
}

void PrintChanges(const AccountPolicy& before, const AccountPolicy& after,
                  const PolicyRequest& request)
{
    for (int v = 0; v < PolicyValueCount; ++v) {
        if (!request.given[v])
            continue;
        wchar_t from[32], to[32];
        FormatPolicyValue(before, static_cast<PolicyValue>(v), from, 32);
        FormatPolicyValue(after, static_cast<PolicyValue>(v), to, 32);
        PrintFormatted(L"　%s : %s → %s\n", PolicyValueLabel(static_cast<PolicyValue>(v)), from,
                       to);
    }
    PrintText(L"\n");
}

// The value that NetUserModalsSet named in parm_err, where the platform named one.
void PrintRefusedValue(DWORD parmErr)
{
    struct
    {
        DWORD parm;
        PolicyValue value;
    } const names[] = {{MODALS_MIN_PASSWD_LEN_PARMNUM, PolicyMinLength},
                       {MODALS_MAX_PASSWD_AGE_PARMNUM, PolicyMaxAge},
                       {MODALS_MIN_PASSWD_AGE_PARMNUM, PolicyMinAge},
                       {MODALS_PASSWD_HIST_LEN_PARMNUM, PolicyHistory},
                       {MODALS_LOCKOUT_DURATION_PARMNUM, PolicyDuration},
                       {MODALS_LOCKOUT_OBSERVATION_WINDOW_PARMNUM, PolicyWindow},
                       {MODALS_LOCKOUT_THRESHOLD_PARMNUM, PolicyThreshold}};
    for (const auto& name : names)
        if (name.parm == parmErr)
            PrintFormatted(L"受け付けられなかった値 : %s\n\n", PolicyValueLabel(name.value));
}

int SetPolicy(const void* job)
{
    const PolicyRequest& request = *static_cast<const SetJob*>(job)->request;
    AccountPolicy before;
    DWORD status = ReadAccountPolicy(ServerArgument(), &before);
    if (status != 0) {
        PrintNetError(ReadCaption, status);
        PrintText(FailureLine);
        return ExitCommandFailed;
    }
    AccountPolicy after = WithRequest(before, request);
    PolicyValue other = PolicyValueCount;
    PolicyValue problem = FindPolicyProblem(after, &other);
    if (problem != PolicyValueCount) {
        wchar_t message[512];
        DescribePolicyProblem(after, problem, other, message, 512);
        PrintFormatted(L"エラー : %s\n何も変更していません。\n\n", message);
        return ExitBadCommandLine;
    }
    if (!SilentMode) {
        PrintText(L"パスワードとロックアウトのポリシーを次のとおり変更します。\n");
        PrintChanges(before, after, request);
        PrintText(L"よろしいですか？ (Y/N)");
        if (AskYesNo() != IDYES)
            return ExitSuccess;
        PrintText(L"\n");
    }
    DWORD parmErr = 0;
    status = WriteAccountPolicy(ServerArgument(), before, after, &parmErr);
    if (status != 0) {
        PrintNetError(WriteCaption, status);
        if (status == ERROR_INVALID_PARAMETER)
            PrintRefusedValue(parmErr);
        PrintText(FailureLine);
        return ExitCommandFailed;
    }
    PrintText(L"パスワードとロックアウトのポリシーを変更しました。\n\n");
    return ExitSuccess;
}

// ---- Several computers -----------------------------------------------------------

struct JobRun
{
    JobOnTarget run;
    const void* job;
};

void RunJobOnComputer(ComputerRun& run, const void* job)
{
    const auto& jobRun = *static_cast<const JobRun*>(job);
    run.exitCode = jobRun.run(jobRun.job);
}

void PrintFinishedComputer(ComputerRun& run, const void*)
{
    PrintComputerBlock(run);
    FreeTextBuffer(&run.output);
    fflush(stdout);
}

int RunJobEverywhere(JobOnTarget run, const void* job, const ComputerList& computers)
{
    if (computers.count <= 1)
        return RunOnOneTarget(computers, run, job);
    ComputerRun* runs = NewComputerRuns(computers);
    if (runs == nullptr)
        return ExitCommandFailed;
    JobRun jobRun = {run, job};
    RunOnComputers(runs, computers.count, RunJobOnComputer, PrintFinishedComputer, &jobRun);
    int exitCode = PrintComputerSummary(runs, computers.count, stdout);
    FreeComputerRuns(runs, computers.count);
    return exitCode;
}

// ---- The tables ------------------------------------------------------------------

// Each computer's policy, read on its own thread into its slot.
struct TableJob
{
    ComputerRun* runs;
    AccountPolicy* policies;
};

void ReadPolicyWork(ComputerRun& run, const void* job)
{
    const auto& table = *static_cast<const TableJob*>(job);
    size_t index = static_cast<size_t>(&run - table.runs);
    run.status = ReadAccountPolicy(ServerArgument(), &table.policies[index]);
    if (run.status != 0)
        PrintNetError(ReadCaption, run.status);
    run.exitCode = run.status == 0 ? ExitSuccess : ExitCommandFailed;
}

ReportFormat ReportFormatOf(ListForm form)
{
    return form == ListTsv ? ReportTsv : form == ListJson ? ReportJson : ReportCsv;
}

// The computer's own name for this computer, so that every row names one.
void LocalComputerName(wchar_t* name, DWORD chars)
{
    if (!GetComputerNameW(name, &chars))
        name[0] = L'\0';
}

// Reads every computer (this one when the list is empty) and builds the
// table; failures are printed to `failures` (null: not again, their computers
// have been reported already). Returns the text (LocalFree) or
// null, with *exitCode set.
LPWSTR GatherPolicyTable(const ComputerList& computers, ReportFormat format, bool crlf,
                         FILE* failures, int* exitCode)
{
    wchar_t localName[MAX_COMPUTERNAME_LENGTH + 1];
    LPWSTR text = nullptr;
    if (computers.count == 0) {
        AccountPolicy policy;
        DWORD status = ReadAccountPolicy(nullptr, &policy);
        if (status != 0) {
            PrintNetError(ReadCaption, status);
            *exitCode = ExitCommandFailed;
            return nullptr;
        }
        LocalComputerName(localName, MAX_COMPUTERNAME_LENGTH + 1);
        PolicyRow row = {localName, &policy};
        text = FormatPolicyTable(&row, 1, format, crlf);
        *exitCode = text != nullptr ? ExitSuccess : ExitCommandFailed;
        return text;
    }
    ComputerRun* runs = NewComputerRuns(computers);
    auto* policies = static_cast<AccountPolicy*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, computers.count * sizeof(AccountPolicy)));
    auto* rows = static_cast<PolicyRow*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, computers.count * sizeof(PolicyRow)));
    *exitCode = ExitCommandFailed;
    if (runs != nullptr && policies != nullptr && rows != nullptr) {
        TableJob job = {runs, policies};
        RunOnComputers(runs, computers.count, ReadPolicyWork, nullptr, &job);
        for (size_t i = 0; i < computers.count; ++i)
            rows[i] = {computers.names[i], runs[i].status == 0 ? &policies[i] : nullptr};
        text = FormatPolicyTable(rows, computers.count, format, crlf);
        *exitCode = ExitSuccess;
        for (size_t i = 0; i < computers.count; ++i) {
            if (runs[i].exitCode == ExitSuccess)
                continue;
            *exitCode = ExitCommandFailed;
            if (failures != nullptr)
                fwprintf(failures, L"[%ls]\n%ls", runs[i].name,
                         runs[i].output.text != nullptr ? runs[i].output.text : L"");
        }
        if (failures != nullptr)
            *exitCode = PrintComputerSummary(runs, computers.count, failures);
        if (text == nullptr)
            *exitCode = ExitCommandFailed;
    }
    if (runs != nullptr)
        FreeComputerRuns(runs, computers.count);
    FreeBlock(policies);
    FreeBlock(rows);
    return text;
}

int PrintPolicyTable(ListForm form, const ComputerList& computers)
{
    int exitCode = ExitSuccess;
    // The data stays whole on standard output; what failed goes to standard error.
    LPWSTR text = GatherPolicyTable(computers, ReportFormatOf(form), false, stderr, &exitCode);
    if (text != nullptr)
        PrintText(text);
    LocalFree(text);
    fflush(stdout);
    return exitCode;
}

bool ConfirmSeveralComputers(size_t count)
{
    if (SilentMode)
        return true;
    PrintText(L"！注意！\n");
    PrintFormatted(
        L"%llu 台のコンピューターでパスワードとロックアウトのポリシーを変更しようとしています。\n\n",
        static_cast<unsigned long long>(count));
    PrintFormatted(L"%llu 台すべてで実行してもよろしいですか？ (Y/N)",
                   static_cast<unsigned long long>(count));
    return AskYesNo() == IDYES;
}

void PrintPolicyHelp()
{
    PrintText(L"/policy スイッチはパスワードとロックアウトのポリシーの表示と設定に使用します。\n\n");
    PrintText(L"構文 :\n");
    PrintText(L"Ambcmd /policy [/format:csv | /format:tsv | /format:json]\n");
    PrintText(L"Ambcmd /policy [/minpwlen:N] [/maxpwage:日数 | /maxpwage:unlimited] [/minpwage:日数]\n");
    PrintText(L"               [/uniquepw:N] [/lockoutthreshold:N] [/lockoutduration:分]\n");
    PrintText(L"               [/lockoutwindow:分]\n\n");
    PrintText(L"値を指定しないと、現在のポリシーを net accounts と同じ順で表示します。\n");
    PrintText(L"/format を付けると CSV、TSV または JSON (オブジェクトの配列) で出力します。\n\n");
    for (const PolicySwitch& s : Switches)
        PrintFormatted(L"%s\n\t%s : %s\n", s.name, PolicyValueLabel(s.value), s.accepted);
    PrintText(L"\nロックアウト カウンターのリセットはロックアウト期間以下、パスワードの\n");
    PrintText(L"変更禁止期間は有効期間以下にしてください。変更の前に確認を求めます (/s で省略)。\n");
    PrintText(L"先頭に /computer:一覧 を付けると、一覧のコンピューターすべてで実行します。\n\n");
}
} // namespace

int RunPolicyCommand(int argumentCount, wchar_t** argv, const ComputerList& computers)
{
    if (argumentCount >= 2 && (EqualsNoCase(argv[2], L"/?", 2) || EqualsNoCase(argv[2], L"/help", 5))) {
        PrintPolicyHelp();
        return ExitSuccess;
    }
    PolicyRequest request;
    int exitCode = ParseRequest(argumentCount, argv, &request);
    if (exitCode != 0)
        return exitCode;
    if (request.formGiven && request.form != ListText)
        return PrintPolicyTable(request.form, computers);
    if (!AnyGiven(request))
        return RunJobEverywhere(ShowPolicy, nullptr, computers);
    if (computers.count > 1) {
        if (!ConfirmSeveralComputers(computers.count))
            return ExitSuccess;
        // Answered once for all computers.
        SilentMode = true;
    }
    SetJob job = {&request};
    return RunJobEverywhere(SetPolicy, &job, computers);
}

int WritePolicyReportFile(const wchar_t* reportPath, bool tsv, const ComputerList& computers)
{
    wchar_t path[MAX_PATH];
    if (!PolicyReportPath(reportPath, path, MAX_PATH)) {
        PrintNetError(ReadCaption, ERROR_FILENAME_EXCED_RANGE);
        return ExitCommandFailed;
    }
    int exitCode = ExitSuccess;
    LPWSTR text = GatherPolicyTable(computers, tsv ? ReportTsv : ReportCsv, true, nullptr, &exitCode);
    if (text == nullptr) {
        PrintFormatted(L"エラー : パスワードとロックアウトのポリシーを %s に保存できませんでした。\n\n",
                       path);
        return ExitCommandFailed;
    }
    DWORD status = WritePolicyReport(path, text);
    LocalFree(text);
    if (status != 0) {
        PrintNetError(L"パスワードとロックアウトのポリシーを保存できませんでした。", status);
        return ExitCommandFailed;
    }
    PrintFormatted(L"パスワードとロックアウトのポリシーを %s に保存しました。\n\n", path);
    return exitCode;
}
