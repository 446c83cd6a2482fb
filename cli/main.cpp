// Ambcmd: one user or local-group operation per run, on the local computer or
// on the computers that "/computer:" names; lists and the account report.
// Start-up, banner, rights check, the positional switch grammar and dispatch.
#include "ambcmd.h"
#include "connectas.h"
#include "groupcmds.h"
#include "importcmd.h"
#include "listing.h"
#include "policycmd.h"
#include "remotestatus.h"
#include "usercmds.h"
#include "vaultcmds.h"

#include "textformat.h"

#include <clocale>
#include <cstdio>
#include <cwchar>
#include <shellapi.h>
#include <shlobj.h>

bool SilentMode = false;

static const wchar_t ConsoleTitle[] = L"Ambrelle コマンドライン ツール";
static const wchar_t AdminConsoleTitle[] = L"管理者: Ambrelle コマンドライン ツール";
static const wchar_t FileVersionText[] = L"1.00";
static const wchar_t ProductVersionText[] = L"1.00.2014.102";
// The same wording as LegalCopyright in the version resource.
static const wchar_t RightsText[] = L"Copyright (C) 2014-2026 Dunmarrow. All rights reserved.";
static const wchar_t CommandLineError[] = L"エラー : コマンド ラインの指定が正しくありません。\n\n";

// Positions on the command line, counted from 1 after the program name.
enum ArgumentPosition { MainSwitch = 1, SubSwitch = 2, NamePosition = 3, SecondPosition = 4 };

// Switches compare without regard to the case of ASCII letters only.
static bool SwitchEquals(const wchar_t* argument, const wchar_t* expected)
{
    for (;; ++argument, ++expected) {
        wchar_t a = *argument;
        wchar_t b = *expected;
        if (a >= L'A' && a <= L'Z')
            a = static_cast<wchar_t>(a - L'A' + L'a');
        if (b >= L'A' && b <= L'Z')
            b = static_cast<wchar_t>(b - L'A' + L'a');
        if (a != b)
            return false;
        if (a == L'\0')
            return true;
    }
}

static bool IsSilentSwitch(const wchar_t* argument)
{
    return SwitchEquals(argument, L"/s") || SwitchEquals(argument, L"/silent");
}

static bool IsHelpSwitch(const wchar_t* argument)
{
    return SwitchEquals(argument, L"/help") || SwitchEquals(argument, L"/?");
}

static void PrintBanner()
{
    PrintText(L"==========================================\n");
    PrintText(L"Ambrelle\n");
    PrintText(L"コマンドライン ツール for x64\n");
    PrintFormatted(L"バージョン %s (%s)\n", FileVersionText, ProductVersionText);
    PrintFormatted(L"%s\n", RightsText);
    PrintText(L"==========================================\n\n");
}

static void CheckAdministratorRights()
{
    if (IsUserAnAdmin())
        SetConsoleTitleW(AdminConsoleTitle);
    else if (!SilentMode)
        PrintText(L"警告 : 管理者権限がないか、標準権限で実行されています。\n\n");
}

// One sub-switch of a family. Commands that take no second argument ignore it.
typedef CommandResult (*CommandHandler)(const wchar_t* name, const wchar_t* second);

enum SecondArgument {
    NoSecond,       // the command reads only Name
    OptionalSecond, // position 4 may be missing (the add commands)
    RequiredSecond  // position 4 must be given
};

struct SubCommand
{
    const wchar_t* switchName;
    const wchar_t* aliasName; // null when the sub-switch has no second spelling
    CommandHandler handler;
    SecondArgument second;
    // Result lines: the first "%s" is Name, a second one the second argument.
    const wchar_t* successLine;
    const wchar_t* failureLine;
};

// Adapters for the operations whose parameters differ from a handler's.
static CommandResult RunDeleteUser(const wchar_t* name, const wchar_t*)
{
    return DeleteUser(name);
}
static CommandResult RunAssignUserGroups(const wchar_t* name, const wchar_t* second)
{
    return ChangeUserGroups(name, second, false);
}
static CommandResult RunRemoveUserGroups(const wchar_t* name, const wchar_t* second)
{
    return ChangeUserGroups(name, second, true);
}
static CommandResult RunUnlockUser(const wchar_t* name, const wchar_t*)
{
    return UnlockUser(name);
}
static CommandResult RunResetUserPassword(const wchar_t* name, const wchar_t*)
{
    return ResetUserPassword(name);
}
static CommandResult RunDeleteGroup(const wchar_t* name, const wchar_t*)
{
    return DeleteGroup(name);
}

// In matching order: the first match wins.
static const SubCommand UserCommands[] = {
    {L"/add", nullptr, AddUser, OptionalSecond, L"ユーザー %s は正常に作成されました。\n\n",
     L"エラー : ユーザー %s を作成できませんでした。\n\n"},
    {L"/rename", nullptr, RenameUser, RequiredSecond,
     L"ユーザー名を %s から %s に変更しました。\n\n",
     L"エラー : ユーザー名を %s から %s に変更できませんでした。\n\n"},
    {L"/remove", L"/delete", RunDeleteUser, NoSecond, L"ユーザー %s は正常に削除されました。\n\n",
     L"エラー : ユーザー %s を削除できませんでした。\n\n"},
    {L"/fullname", nullptr, SetUserFullName, RequiredSecond,
     L"ユーザー %s のフル ネームを %s に設定しました。\n\n",
     L"エラー : ユーザー %s のフル ネームを設定できませんでした。\n\n"},
    {L"/comment", L"/description", SetUserComment, RequiredSecond,
     L"ユーザー %s のコメントを設定しました。\n\n",
     L"エラー : ユーザー %s のコメントを設定できませんでした。\n\n"},
    {L"/flags", nullptr, SetUserFlags, RequiredSecond, L"ユーザー %s のフラグを設定しました。\n\n",
     L"エラー : ユーザー %s のフラグを設定できませんでした。\n\n"},
    {L"/setgroup", nullptr, RunAssignUserGroups, RequiredSecond,
     L"ユーザー %s を指定されたローカル グループへ割り当てました。\n\n",
     L"エラー : ユーザー %s を指定されたローカル グループへ割り当てできませんでした。\n\n"},
    {L"/delgroup", nullptr, RunRemoveUserGroups, RequiredSecond,
     L"指定されたローカル グループからユーザー %s を削除しました\n\n",
     L"エラー : 指定されたローカル グループからユーザー %s を削除できませんでした。\n\n"},
    {L"/unlock", nullptr, RunUnlockUser, NoSecond,
     L"ユーザー %s のロックアウトは解除されました。\n\n",
     L"エラー : ユーザー %s のロックアウトを解除できませんでした。\n\n"},
    {L"/passreset", nullptr, RunResetUserPassword, NoSecond,
     L"ユーザー %s のパスワードは正常にリセットされました。\n\n",
     L"エラー : ユーザー %s のパスワードをリセットできませんでした。\n\n"},
};

static const SubCommand GroupCommands[] = {
    {L"/add", nullptr, AddGroup, OptionalSecond,
     L"ローカル グループ名 %s は正常に作成されました。\n\n",
     L"エラー : ローカル グループ名 %s を作成できませんでした。\n\n"},
    {L"/rename", nullptr, RenameGroup, RequiredSecond,
     L"ローカル グループ名を %s から %s に変更しました。\n\n",
     L"エラー : ローカル グループ名を %s から %s に変更できませんでした。\n\n"},
    {L"/remove", L"/delete", RunDeleteGroup, NoSecond,
     L"ローカル グループ %s は正常に削除されました。\n\n",
     L"エラー : ローカル グループ %s を削除できませんでした。\n\n"},
    {L"/comment", L"/description", SetGroupComment, RequiredSecond,
     L"ローカル グループ %s のコメントを設定しました。\n\n",
     L"エラー : ローカル グループ %s のコメントを設定できませんでした。\n\n"},
    {L"/adduser", nullptr, AddGroupMembers, RequiredSecond,
     L"ローカル グループ %s のメンバーシップは正しく追加されました。\n\n",
     L"エラー : ローカル グループ %s のメンバーシップを追加できませんでした\n\n"},
    {L"/setuser", nullptr, SetGroupMembers, RequiredSecond,
     L"ローカル グループ %s のメンバーシップ置換は正常に終了しました。\n\n",
     L"エラー : ローカル グループ %s のメンバーシップ置換ができませんでした。\n\n"},
    {L"/deluser", nullptr, DelGroupMembers, RequiredSecond,
     L"ローカル グループ %s からメンバーシップが削除されました。\n\n",
     L"エラー : ローカル グループ %s からメンバーシップを削除できませんでした。\n\n"},
};

struct CommandFamily
{
    const SubCommand* commands;
    size_t commandCount;
    void (*printHelp)();
    CommandResult (*printDetails)(const wchar_t* name);
    const wchar_t* detailsFailureLine;
};

static const CommandFamily UserFamily = {
    UserCommands, sizeof(UserCommands) / sizeof(UserCommands[0]), PrintUserHelp, PrintUserDetails,
    L"ユーザー %s の情報を取得できませんでした。\n\n"};

static const CommandFamily GroupFamily = {
    GroupCommands, sizeof(GroupCommands) / sizeof(GroupCommands[0]), PrintGroupHelp,
    PrintGroupDetails, L"ローカル グループ %s の情報を取得できませんでした。\n\n"};

static const SubCommand* FindSubCommand(const CommandFamily& family, const wchar_t* subSwitch)
{
    for (size_t i = 0; i < family.commandCount; ++i) {
        const SubCommand& command = family.commands[i];
        if (SwitchEquals(subSwitch, command.switchName) ||
            (command.aliasName != nullptr && SwitchEquals(subSwitch, command.aliasName)))
            return &command;
    }
    return nullptr;
}

static int ShowDetails(const CommandFamily& family, const wchar_t* name)
{
    if (family.printDetails(name) == ResultSuccess) {
        PrintText(L"処理は正常に終了しました。\n\n");
        return ExitSuccess;
    }
    PrintFormatted(family.detailsFailureLine, name);
    return ExitCommandFailed;
}

static int RunCommand(const SubCommand& command, const wchar_t* name, const wchar_t* second)
{
    switch (command.handler(name, second)) {
    case ResultSuccess:
        PrintFormatted(command.successLine, name, TextOrEmpty(second));
        return ExitSuccess;
    case ResultFailure:
        PrintFormatted(command.failureLine, name, TextOrEmpty(second));
        return ExitCommandFailed;
    case ResultDeclined:
        break;
    }
    return ExitSuccess;
}

// What runs on each target computer: the details of an account, or a command.
struct TargetJob
{
    const CommandFamily* family;
    const SubCommand* command; // null: the details of name
    const wchar_t* name;
    const wchar_t* second;
};

static int RunTargetJob(const void* job)
{
    const auto& target = *static_cast<const TargetJob*>(job);
    if (target.command == nullptr)
        return ShowDetails(*target.family, target.name);
    return RunCommand(*target.command, target.name, target.second);
}

struct JobRun
{
    JobOnTarget run;
    const void* job;
};

static void RunJobOnComputer(ComputerRun& run, const void* job)
{
    const auto& jobRun = *static_cast<const JobRun*>(job);
    run.exitCode = jobRun.run(jobRun.job);
}

static void PrintFinishedComputer(ComputerRun& run, const void*)
{
    PrintComputerBlock(run);
    FreeTextBuffer(&run.output);
    fflush(stdout);
}

// The warning of a command that asks for confirmation, when it is to run on
// several computers: asked once, before any computer is touched.
static const wchar_t* SeveralComputersWarning(const SubCommand& command)
{
    if (command.handler == RunDeleteUser)
        return L"%llu 台のコンピューターでユーザー %s を削除しようとしています。\n\n";
    if (command.handler == RunResetUserPassword)
        return L"%llu 台のコンピューターでユーザー %s のパスワードを強制リセットしようとしています。\n\n";
    if (command.handler == RunDeleteGroup)
        return L"%llu 台のコンピューターでローカル グループ %s を削除しようとしています。\n\n";
    return nullptr;
}

static bool ConfirmSeveralComputers(const SubCommand& command, const wchar_t* name, size_t count)
{
    const wchar_t* warning = SeveralComputersWarning(command);
    if (warning == nullptr || SilentMode)
        return true;
    PrintText(L"！注意！\n");
    PrintFormatted(warning, static_cast<unsigned long long>(count), name);
    PrintFormatted(L"%llu 台すべてで実行してもよろしいですか？ (Y/N)",
                   static_cast<unsigned long long>(count));
    return AskYesNo() == IDYES;
}

// Runs a job on the local computer, on one named computer after a line that
// names it, or on several at once, each computer's output in a block of its own.
static int RunJobOnTargets(JobOnTarget run, const void* job, const ComputerList& computers)
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

static int RunOnTargets(const TargetJob& job, const ComputerList& computers)
{
    if (computers.count > 1 && job.command != nullptr) {
        if (!ConfirmSeveralComputers(*job.command, job.name, computers.count))
            return ExitSuccess;
        // Answered once for all: the commands' own prompts are not asked again.
        SilentMode = true;
    }
    return RunJobOnTargets(RunTargetJob, &job, computers);
}

static int RunImportOnTarget(const void* options)
{
    return RunImportOn(*static_cast<const ImportOptions*>(options), ServerArgument());
}

static void CountRemovalsOnComputer(ComputerRun& run, const void* options)
{
    run.status = CountImportRemovals(*static_cast<const ImportOptions*>(options), ServerArgument());
}

static void KeepCount(ComputerRun&, const void*)
{
}

// The deletions of /remove-missing on several computers: planned on each
// first (writing nothing), then asked once for all before any is touched.
static bool ConfirmRemovalsOnComputers(const ImportOptions& options, const ComputerList& computers)
{
    ComputerRun* runs = NewComputerRuns(computers);
    if (runs == nullptr)
        return false;
    RunOnComputers(runs, computers.count, CountRemovalsOnComputer, KeepCount, &options);
    DWORD users = 0;
    for (size_t i = 0; i < computers.count; ++i)
        users += runs[i].status;
    FreeComputerRuns(runs, computers.count);
    return users == 0 || ConfirmImportRemovals(users, computers.count);
}

// "/import FILE [switches]": the command line and the file are checked once,
// before any computer is touched.
static int RunImport(int argumentCount, wchar_t** argv, const ComputerList& computers)
{
    ImportOptions options;
    int exitCode = ParseImportCommand(argumentCount, argv, &options);
    if (exitCode == ImportParsed && computers.count > 1)
        exitCode = CheckImportFile(options);
    if (exitCode != ImportParsed)
        return exitCode;
    if (computers.count > 1) {
        bool ask = options.removeGroup != nullptr && !options.whatIf && !SilentMode;
        if (ask && !ConfirmRemovalsOnComputers(options, computers))
            return ExitSuccess;
        options.confirmed = true;
        options.slipsPerComputer = true;
    }
    return RunJobOnTargets(RunImportOnTarget, &options, computers);
}

// argumentCount counts the positions after the program name.
static int RunSubCommand(const CommandFamily& family, const SubCommand& command, int argumentCount,
                         wchar_t** argv, const ComputerList& computers)
{
    // Name must be there and must not look like a switch; where the command
    // needs a second argument, that must be there too.
    bool nameMissing = argumentCount < NamePosition || argv[NamePosition][0] == L'/';
    bool secondMissing = command.second == RequiredSecond && argumentCount < SecondPosition;
    if (nameMissing || secondMissing) {
        PrintText(CommandLineError);
        return ExitBadCommandLine;
    }
    TargetJob job = {&family, &command, argv[NamePosition],
                     argumentCount >= SecondPosition ? argv[SecondPosition] : nullptr};
    return RunOnTargets(job, computers);
}

static int RunList(const CommandFamily& family, int argumentCount, wchar_t** argv,
                   const ComputerList& computers)
{
    ListForm form;
    if (!ParseListForm(argumentCount >= NamePosition ? argv[NamePosition] : nullptr, &form)) {
        PrintText(CommandLineError);
        return ExitBadCommandLine;
    }
    return RunAccountList(&family == &UserFamily ? ReportUsers : ReportGroups, form, computers);
}

static int RunFamily(const CommandFamily& family, int argumentCount, wchar_t** argv,
                     const ComputerList& computers)
{
    if (argumentCount < SubSwitch) {
        family.printHelp();
        return ExitSuccess;
    }
    const wchar_t* subSwitch = argv[SubSwitch];
    // A name comes before the help test: an empty position 2 is looked up too.
    if (subSwitch[0] != L'/') {
        TargetJob job = {&family, nullptr, subSwitch, nullptr};
        return RunOnTargets(job, computers);
    }
    if (IsHelpSwitch(subSwitch)) {
        family.printHelp();
        return ExitSuccess;
    }
    if (SwitchEquals(subSwitch, L"/list"))
        return RunList(family, argumentCount, argv, computers);
    if (&family == &UserFamily && SwitchEquals(subSwitch, L"/rotate"))
        return RunRotateCommand(argumentCount, argv, computers);
    const SubCommand* command = FindSubCommand(family, subSwitch);
    if (command == nullptr)
        return ExitBadCommandLine; // unknown sub-switch: nothing more is printed
    return RunSubCommand(family, *command, argumentCount, argv, computers);
}

// "/report FILE [/format:csv|tsv]": the report file is position 2.
static int RunReport(int argumentCount, wchar_t** argv, const ComputerList& computers)
{
    ListForm form = ListCsv;
    bool valid =
        argumentCount >= SubSwitch && argv[SubSwitch][0] != L'\0' && argv[SubSwitch][0] != L'/' &&
        ParseListForm(argumentCount >= NamePosition ? argv[NamePosition] : nullptr, &form) &&
        form != ListJson;
    if (!valid) {
        PrintText(CommandLineError);
        return ExitBadCommandLine;
    }
    return RunAccountReport(argv[SubSwitch], form == ListTsv ? ListTsv : ListCsv, computers);
}

// "/remote /status": this computer's readiness to be managed from others; it
// reads only this computer's settings, so a target list is a command-line error.
static int RunRemote(int argumentCount, wchar_t** argv, const ComputerList& computers)
{
    bool extra = false;
    for (int i = SubSwitch + 1; i <= argumentCount; ++i)
        extra = extra || !IsSilentSwitch(argv[i]);
    if (argumentCount < SubSwitch || !SwitchEquals(argv[SubSwitch], L"/status") || extra ||
        computers.count > 0) {
        PrintText(CommandLineError);
        return ExitBadCommandLine;
    }
    return PrintRemoteStatus();
}

static int Dispatch(int argumentCount, wchar_t** argv, const ComputerList& computers)
{
    if (argumentCount < MainSwitch || IsHelpSwitch(argv[MainSwitch])) {
        PrintUsage();
        return ExitSuccess;
    }
    if (SwitchEquals(argv[MainSwitch], L"/user"))
        return RunFamily(UserFamily, argumentCount, argv, computers);
    if (SwitchEquals(argv[MainSwitch], L"/group"))
        return RunFamily(GroupFamily, argumentCount, argv, computers);
    if (SwitchEquals(argv[MainSwitch], L"/report"))
        return RunReport(argumentCount, argv, computers);
    if (SwitchEquals(argv[MainSwitch], L"/import"))
        return RunImport(argumentCount, argv, computers);
    if (SwitchEquals(argv[MainSwitch], L"/remote"))
        return RunRemote(argumentCount, argv, computers);
    if (SwitchEquals(argv[MainSwitch], L"/policy"))
        return RunPolicyCommand(argumentCount, argv, computers);
    if (IsVaultSwitch(argv[MainSwitch]))
        return RunVaultCommand(argumentCount, argv, computers);
    return ExitBadCommandLine; // unknown main switch (or "/s" alone): nothing more is printed
}

// "/computer:LIST" at position 1 names the target computers; it is taken
// away, and the other arguments keep their positions counted after it.
static bool IsComputerSwitch(const wchar_t* argument)
{
    static const wchar_t prefix[] = L"/computer:";
    size_t length = wcslen(prefix);
    return wcsnlen(argument, length) == length &&
           CompareStringOrdinal(argument, static_cast<int>(length), prefix,
                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// "/as:USER" directly after "/computer:LIST": the account to connect with.
static bool IsAsSwitch(const wchar_t* argument)
{
    static const wchar_t prefix[] = L"/as:";
    size_t length = wcslen(prefix);
    return wcsnlen(argument, length) == length &&
           CompareStringOrdinal(argument, static_cast<int>(length), prefix,
                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// "/as:" anywhere but directly after "/computer:" is a command-line error.
static bool HasStrayAsSwitch(int argumentCount, wchar_t** arguments)
{
    for (int i = MainSwitch; i <= argumentCount; ++i)
        if (IsAsSwitch(arguments[i]))
            return true;
    return false;
}

// Takes "/as:USER" at position 1 of arguments (after "/computer:") away and
// reads the password once. Returns the exit code to stop with, or ExitSuccess
// to go on.
static int TakeConnectionAccount(int* argumentCount, wchar_t*** arguments,
                                 const ComputerList& computers, ConnectionAccount* account,
                                 bool* given)
{
    const wchar_t* vault = nullptr;
    *given = false;
    if (*argumentCount >= MainSwitch && IsAsSwitch((*arguments)[MainSwitch])) {
        if (!ReadConnectionUser((*arguments)[MainSwitch] + wcslen(L"/as:"), account)) {
            PrintText(CommandLineError);
            return ExitBadCommandLine;
        }
        *given = true;
        ++*arguments;
        --*argumentCount;
        // "/vault:FILE" right after it: each computer's password from the vault.
        if (*argumentCount >= MainSwitch && IsVaultSwitch((*arguments)[MainSwitch])) {
            vault = (*arguments)[MainSwitch];
            ++*arguments;
            --*argumentCount;
        }
    }
    if (HasStrayAsSwitch(*argumentCount, *arguments)) {
        PrintText(CommandLineError);
        return ExitBadCommandLine;
    }
    if (*given && vault != nullptr)
        return ReadConnectionPasswordsFromVault(vault, computers, account);
    if (*given && !ReadConnectionPassword(account))
        return ExitBadCommandLine;
    return ExitSuccess;
}

int wmain(int, wchar_t**)
{
    SetConsoleTitleW(ConsoleTitle);
    _wsetlocale(LC_ALL, L"");

    // The platform's own splitting rules ("" is an empty argument; no wildcards).
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr)
        return ExitBadCommandLine;
    int argumentCount = argc - 1;

    for (int i = 1; i < argc; ++i) {
        if (IsSilentSwitch(argv[i]))
            SilentMode = true;
    }
    if (!SilentMode)
        PrintBanner();
    CheckAdministratorRights();

    ComputerList computers;
    wchar_t** arguments = argv;
    int exitCode = ExitSuccess;
    bool targetsNamed = argumentCount >= MainSwitch && IsComputerSwitch(argv[MainSwitch]);
    if (targetsNamed) {
        if (!ReadComputerList(argv[MainSwitch] + wcslen(L"/computer:"), &computers))
            exitCode = ExitBadCommandLine;
        // Position 1 is now the argument after the switch.
        arguments = argv + 1;
        --argumentCount;
    }
    // The account and its password outlive every run on the computers and are
    // wiped at the end, whichever way the run ends.
    ConnectionAccount account;
    bool accountGiven = false;
    if (exitCode == ExitSuccess) {
        if (targetsNamed)
            exitCode = TakeConnectionAccount(&argumentCount, &arguments, computers, &account,
                                             &accountGiven);
        else if (HasStrayAsSwitch(argumentCount, arguments)) {
            PrintText(CommandLineError);
            exitCode = ExitBadCommandLine;
        }
    }
    if (accountGiven)
        SetConnectionAccount(&account);
    if (exitCode == ExitSuccess)
        exitCode = Dispatch(argumentCount, arguments, computers);
    SetConnectionAccount(nullptr);
    WipeConnectionAccount(&account);
    FreeComputerList(&computers);
    LocalFree(argv);
    fflush(stdout);
    return exitCode;
}
