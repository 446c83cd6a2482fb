// Ambcmd: one user or local-group operation per run on the local computer.
// Start-up, banner, rights check, the positional switch grammar and dispatch.
#include "ambcmd.h"
#include "groupcmds.h"
#include "importcmd.h"
#include "usercmds.h"

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
    fputws(L"==========================================\n", stdout);
    fputws(L"Ambrelle\n", stdout);
    fputws(L"コマンドライン ツール for x64\n", stdout);
    PrintFormatted(L"バージョン %s (%s)\n", FileVersionText, ProductVersionText);
    PrintFormatted(L"%s\n", RightsText);
    fputws(L"==========================================\n\n", stdout);
}

static void CheckAdministratorRights()
{
    if (IsUserAnAdmin())
        SetConsoleTitleW(AdminConsoleTitle);
    else if (!SilentMode)
        fputws(L"警告 : 管理者権限がないか、標準権限で実行されています。\n\n", stdout);
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
        fputws(L"処理は正常に終了しました。\n\n", stdout);
        return ExitSuccess;
    }
    PrintFormatted(family.detailsFailureLine, name);
    return ExitCommandFailed;
}

// argumentCount counts the positions after the program name.
static int RunSubCommand(const SubCommand& command, int argumentCount, wchar_t** argv)
{
    // Name must be there and must not look like a switch; where the command
    // needs a second argument, that must be there too.
    bool nameMissing = argumentCount < NamePosition || argv[NamePosition][0] == L'/';
    bool secondMissing = command.second == RequiredSecond && argumentCount < SecondPosition;
    if (nameMissing || secondMissing) {
        fputws(CommandLineError, stdout);
        return ExitBadCommandLine;
    }
    const wchar_t* name = argv[NamePosition];
    const wchar_t* second = argumentCount >= SecondPosition ? argv[SecondPosition] : nullptr;

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

static int RunFamily(const CommandFamily& family, int argumentCount, wchar_t** argv)
{
    if (argumentCount < SubSwitch) {
        family.printHelp();
        return ExitSuccess;
    }
    const wchar_t* subSwitch = argv[SubSwitch];
    // A name comes before the help test: an empty position 2 is looked up too.
    if (subSwitch[0] != L'/')
        return ShowDetails(family, subSwitch);
    if (IsHelpSwitch(subSwitch)) {
        family.printHelp();
        return ExitSuccess;
    }
    const SubCommand* command = FindSubCommand(family, subSwitch);
    if (command == nullptr)
        return ExitBadCommandLine; // unknown sub-switch: nothing more is printed
    return RunSubCommand(*command, argumentCount, argv);
}

static int Dispatch(int argumentCount, wchar_t** argv)
{
    if (argumentCount < MainSwitch || IsHelpSwitch(argv[MainSwitch])) {
        PrintUsage();
        return ExitSuccess;
    }
    if (SwitchEquals(argv[MainSwitch], L"/user"))
        return RunFamily(UserFamily, argumentCount, argv);
    if (SwitchEquals(argv[MainSwitch], L"/group"))
        return RunFamily(GroupFamily, argumentCount, argv);
    if (SwitchEquals(argv[MainSwitch], L"/import"))
        return RunImportCommand(argumentCount, argv, nullptr);
    return ExitBadCommandLine; // unknown main switch (or "/s" alone): nothing more is printed
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

    int exitCode = Dispatch(argumentCount, argv);
    LocalFree(argv);
    fflush(stdout);
    return exitCode;
}
