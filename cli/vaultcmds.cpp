// The password vault in Ambcmd: creating a vault, reading it with the
// passphrase, and rotating an account's password on every target computer
// with each new password recorded before it is set.
#include "vaultcmds.h"

#include "connectas.h"
#include "errortext.h"
#include "passwordvault.h"
#include "textformat.h"

#include <lm.h>

#include <cstdio>
#include <cwchar>

static const wchar_t CommandLineError[] = L"エラー : コマンド ラインの指定が正しくありません。\n\n";
static const wchar_t VaultPrefix[] = L"/vault:";

// ---- the command line -----------------------------------------------------

static bool SwitchIs(const wchar_t* argument, const wchar_t* expected)
{
    return CompareStringOrdinal(argument, -1, expected, -1, TRUE) == CSTR_EQUAL;
}

bool IsVaultSwitch(const wchar_t* argument)
{
    const size_t length = wcslen(VaultPrefix);
    return wcsnlen(argument, length) == length &&
           CompareStringOrdinal(argument, static_cast<int>(length), VaultPrefix,
                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

static bool IsSilent(const wchar_t* argument)
{
    return SwitchIs(argument, L"/s") || SwitchIs(argument, L"/silent");
}

// The positions after `first` may only be the silent switch.
static bool OnlySilentFrom(int first, int argumentCount, wchar_t** argv)
{
    for (int i = first; i <= argumentCount; ++i)
        if (!IsSilent(argv[i]))
            return false;
    return true;
}

// The file of a "/vault:FILE" argument, or null when it names none.
static const wchar_t* VaultPath(const wchar_t* argument)
{
    if (!IsVaultSwitch(argument))
        return nullptr;
    const wchar_t* path = argument + wcslen(VaultPrefix);
    return path[0] != L'\0' && wcslen(path) < MAX_PATH ? path : nullptr;
}

static int CommandLineFailure()
{
    PrintText(CommandLineError);
    return ExitBadCommandLine;
}

// ---- the passphrase ---------------------------------------------------------

enum SecretAnswer { SecretGiven, SecretMissing, SecretTooLong };

// Drops the rest of a line that did not fit.
static void SkipRestOfLine()
{
    wint_t c;
    do {
        c = fgetwc(stdin);
    } while (c != L'\n' && c != WEOF);
}

static void TrimLineEnd(wchar_t* text)
{
    size_t length = wcslen(text);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r'))
        text[--length] = L'\0';
}

// One line without echo from the console; the caller restores nothing.
static SecretAnswer ReadConsoleSecret(HANDLE input, DWORD mode, wchar_t* buffer, size_t chars)
{
    SetConsoleMode(input, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    DWORD read = 0;
    SecretAnswer answer = SecretMissing;
    if (ReadConsoleW(input, buffer, static_cast<DWORD>(chars - 1), &read, nullptr) && read > 0) {
        buffer[read] = L'\0';
        answer = wcschr(buffer, L'\n') != nullptr ? SecretGiven : SecretTooLong;
        if (answer == SecretTooLong) {
            wchar_t rest[64];
            while (ReadConsoleW(input, rest, 63, &read, nullptr) && read > 0) {
                rest[read] = L'\0';
                if (wcschr(rest, L'\n') != nullptr)
                    break;
            }
            SecureZeroMemory(rest, sizeof(rest));
        }
    }
    SetConsoleMode(input, mode);
    return answer;
}

// Asks for a secret: without echo on a console, else one line of standard
// input (a scheduled task fed by a protected file). Never on the command line.
static SecretAnswer ReadSecret(const wchar_t* prompt, wchar_t* buffer, size_t chars)
{
    SecureZeroMemory(buffer, chars * sizeof(wchar_t));
    PrintText(prompt);
    fflush(stdout);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    SecretAnswer answer = SecretMissing;
    if (GetConsoleMode(input, &mode)) {
        answer = ReadConsoleSecret(input, mode, buffer, chars);
    } else if (fgetws(buffer, static_cast<int>(chars), stdin) != nullptr) {
        size_t length = wcslen(buffer);
        bool whole = length > 0 && buffer[length - 1] == L'\n';
        if (!whole && !feof(stdin)) {
            SkipRestOfLine();
            answer = SecretTooLong;
        } else {
            answer = SecretGiven;
        }
    }
    PrintText(L"\n");
    TrimLineEnd(buffer);
    if (answer != SecretGiven)
        SecureZeroMemory(buffer, chars * sizeof(wchar_t));
    return answer;
}

// A passphrase buffer: room for the longest and one more to tell a longer one.
constexpr size_t PassphraseChars = VaultPassphraseMaxChars + 2;

static const wchar_t PassphrasePrompt[] = L"パスフレーズ : ";

// Reads the passphrase; prints why and returns the exit code when there is none.
static int AskPassphrase(const wchar_t* prompt, wchar_t* passphrase)
{
    switch (ReadSecret(prompt, passphrase, PassphraseChars)) {
    case SecretGiven:
        if (wcslen(passphrase) <= VaultPassphraseMaxChars)
            return ExitSuccess;
        SecureZeroMemory(passphrase, PassphraseChars * sizeof(wchar_t));
        // fall through
    case SecretTooLong:
        PrintFormatted(L"エラー : パスフレーズは %llu 文字以内で入力してください。\n\n",
                       static_cast<unsigned long long>(VaultPassphraseMaxChars));
        return ExitCommandFailed;
    case SecretMissing:
        break;
    }
    PrintText(L"エラー : パスフレーズが入力されませんでした。何も変更していません。\n\n");
    return ExitBadCommandLine;
}

static void PrintVaultError(const wchar_t* caption, const wchar_t* path, DWORD code)
{
    LPWSTR text = nullptr;
    if (code == ERROR_FILE_CORRUPT)
        PrintFormatted(
            L"エラー : %s\nファイル %s はパスワード保管庫ではないか、1 行目 (保管庫の鍵) が壊れています。\n\n",
            caption, path);
    else if (code == ERROR_REVISION_MISMATCH)
        PrintFormatted(
            L"エラー : %s\nファイル %s はこのバージョンの Ambrelle が読めない形式の保管庫です。\n\n",
            caption, path);
    else {
        text = FormatErrorText(code);
        PrintFormatted(L"エラー : %s\nファイル : %s\nエラー番号 : 0x%08X\nエラー詳細 :\n　%s\n\n",
                       caption, path, code, TextOrEmpty(text));
    }
    LocalFree(text);
}

// ---- /as:USER /vault:FILE ----------------------------------------------------

static int OpenVault(const wchar_t* path, VaultContents* contents, BCRYPT_KEY_HANDLE* key);

// The account part of "/as:" as a rotation records it: "PC\\name" and "name"
// are the same account of that computer.
static const wchar_t* AccountPart(const wchar_t* user)
{
    const wchar_t* slash = wcsrchr(user, L'\\');
    return slash != nullptr ? slash + 1 : user;
}

// The passwords of one entry that may be in force, newest first; false when
// a record does not decrypt (its line is named).
static bool TakeEntryPasswords(BCRYPT_KEY_HANDLE key, const VaultContents& contents,
                               const VaultEntry& entry, VaultConnectionPassword* out)
{
    int candidates[2] = {entry.pending, entry.applied};
    for (int index : candidates) {
        if (index < 0)
            continue;
        const VaultRecord& record = contents.records[index];
        if (DecryptVaultPassword(key, record, out->passwords[out->count],
                                 ConnectionPasswordMaxChars + 1) != 0) {
            PrintFormatted(L"エラー : 保管庫の行 %d のパスワードを復号できません。何も実行していません。\n\n",
                           record.line);
            return false;
        }
        ++out->count;
    }
    return true;
}

int ReadConnectionPasswordsFromVault(const wchar_t* argument, const ComputerList& computers,
                                     ConnectionAccount* account)
{
    const wchar_t* path = VaultPath(argument);
    if (path == nullptr)
        return CommandLineFailure();
    VaultContents contents;
    BCRYPT_KEY_HANDLE key = nullptr;
    int exitCode = OpenVault(path, &contents, &key);
    if (exitCode != ExitSuccess)
        return exitCode;
    std::vector<VaultEntry> entries = SummariseVault(contents);
    account->fromVault = true;
    for (size_t i = 0; i < computers.count && exitCode == ExitSuccess; ++i) {
        const VaultEntry* entry =
            FindVaultEntry(entries, computers.names[i], AccountPart(account->user));
        if (entry == nullptr)
            continue; // that computer fails with the reason when its turn comes
        account->vault.emplace_back();
        account->vault.back().computer = computers.names[i];
        if (!TakeEntryPasswords(key, contents, *entry, &account->vault.back()))
            exitCode = ExitCommandFailed;
    }
    CloseVaultKey(key);
    return exitCode;
}

// ---- /init ----------------------------------------------------------------

static int InitVault(const wchar_t* path)
{
    // A file that exists is never overwritten: said before the passphrase is asked.
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
        PrintVaultError(L"パスワード保管庫を作成できませんでした。", path, ERROR_FILE_EXISTS);
        return ExitCommandFailed;
    }
    wchar_t passphrase[PassphraseChars];
    wchar_t again[PassphraseChars];
    int exitCode = AskPassphrase(PassphrasePrompt, passphrase);
    if (exitCode == ExitSuccess && wcslen(passphrase) < VaultPassphraseMinChars) {
        PrintFormatted(L"エラー : パスフレーズは %llu 文字以上で入力してください。\n\n",
                       static_cast<unsigned long long>(VaultPassphraseMinChars));
        exitCode = ExitCommandFailed;
    }
    if (exitCode == ExitSuccess)
        exitCode = AskPassphrase(L"パスフレーズ (確認) : ", again);
    if (exitCode == ExitSuccess && wcscmp(passphrase, again) != 0) {
        PrintText(L"エラー : パスフレーズが一致しません。何も変更していません。\n\n");
        exitCode = ExitCommandFailed;
    }
    DWORD error = 0;
    if (exitCode == ExitSuccess)
        error = CreateVault(path, passphrase);
    SecureZeroMemory(passphrase, sizeof(passphrase));
    SecureZeroMemory(again, sizeof(again));
    if (exitCode != ExitSuccess)
        return exitCode;
    if (error != 0) {
        PrintVaultError(L"パスワード保管庫を作成できませんでした。", path, error);
        return ExitCommandFailed;
    }
    PrintFormatted(L"パスワード保管庫 %s を作成しました。\n", path);
    PrintText(L"パスフレーズを忘れると、保管庫のパスワードは誰にも読めません。\n\n");
    return ExitSuccess;
}

// ---- reading ----------------------------------------------------------------

static const wchar_t* StateName(VaultState state)
{
    switch (state) {
    case VaultPending:
        return L"保留中";
    case VaultApplied:
        return L"適用済み";
    case VaultFailed:
        return L"失敗";
    }
    return L"";
}

static const wchar_t* ProblemText(VaultProblemKind kind)
{
    switch (kind) {
    case VaultLineNotJson:
        return L"記録の形式ではありません";
    case VaultLineTooLong:
        return L"行が長すぎます";
    case VaultLineCut:
        return L"行が途中で切れています";
    case VaultLineWrongVersion:
        return L"記録の版が違います";
    case VaultLineBadField:
        return L"項目が足りないか、値が正しくありません";
    case VaultLineNoPending:
        return L"対応する保留中の記録がありません";
    }
    return L"";
}

// Lists the lines that are not records; returns whether there were any.
static bool PrintProblems(const VaultContents& contents)
{
    const size_t shown = 20;
    for (size_t i = 0; i < contents.problems.size() && i < shown; ++i)
        PrintFormatted(L"警告 : 行 %d を読み取れませんでした (%s)。この行は使いません。\n",
                       contents.problems[i].line, ProblemText(contents.problems[i].kind));
    if (contents.problems.size() > shown)
        PrintFormatted(L"警告 : ほかに %llu 行を読み取れませんでした。\n",
                       static_cast<unsigned long long>(contents.problems.size() - shown));
    if (!contents.problems.empty())
        PrintText(L"\n");
    return !contents.problems.empty();
}

static int ReadVaultFile(const wchar_t* path, VaultContents* contents)
{
    DWORD error = ReadVault(path, contents);
    if (error != 0) {
        PrintVaultError(L"パスワード保管庫を読み取れませんでした。", path, error);
        return ExitCommandFailed;
    }
    return ExitSuccess;
}

// One password line of /show; false when the record does not decrypt.
static bool PrintPasswordLine(BCRYPT_KEY_HANDLE key, const VaultRecord& record,
                              const wchar_t* label)
{
    wchar_t password[VaultPasswordChars * 2] = {};
    DWORD error = DecryptVaultPassword(key, record, password, VaultPasswordChars * 2);
    std::wstring time = VaultLocalTime(record.time);
    if (error == 0)
        PrintFormatted(L"　%s : %s  %s\n", label, time.c_str(), password);
    else
        PrintFormatted(L"　%s : %s  (行 %d のパスワードを復号できません)\n", label, time.c_str(),
                       record.line);
    SecureZeroMemory(password, sizeof(password));
    return error == 0;
}

static bool PrintEntry(BCRYPT_KEY_HANDLE key, const VaultContents& contents,
                       const VaultEntry& entry)
{
    PrintFormatted(L"[%s] %s\n", entry.computer.c_str(), entry.account.c_str());
    bool sound = true;
    if (entry.applied >= 0)
        sound = PrintPasswordLine(key, contents.records[entry.applied], L"適用済み") && sound;
    if (entry.pending >= 0) {
        for (int index : entry.unresolved)
            sound = PrintPasswordLine(key, contents.records[index], L"保留中  ") && sound;
        PrintText(
            entry.applied >= 0
                ? L"　　変更の結果が記録されていません。適用済みと保留中のどちらかが有効です。\n"
                : L"　　変更の結果が記録されていません。保留中のパスワードか、保管庫にない以前のパスワードが有効です。\n");
    }
    if (entry.applied < 0 && entry.pending < 0)
        PrintText(L"　パスワードはまだ変更されていません (変更はすべて失敗しました)。\n");
    PrintText(L"\n");
    return sound;
}

// Reads the vault and opens its key with the passphrase asked once.
static int OpenVault(const wchar_t* path, VaultContents* contents, BCRYPT_KEY_HANDLE* key)
{
    int exitCode = ReadVaultFile(path, contents);
    if (exitCode != ExitSuccess)
        return exitCode;
    wchar_t passphrase[PassphraseChars];
    exitCode = AskPassphrase(PassphrasePrompt, passphrase);
    DWORD error = exitCode == ExitSuccess ? UnlockVault(contents->header, passphrase, key) : 0;
    SecureZeroMemory(passphrase, sizeof(passphrase));
    if (exitCode != ExitSuccess)
        return exitCode;
    if (error == ERROR_INVALID_PASSWORD) {
        PrintText(L"エラー : パスフレーズが正しくありません。\n\n");
        return ExitCommandFailed;
    }
    if (error != 0) {
        PrintVaultError(L"パスワード保管庫の鍵を開けませんでした。", path, error);
        return ExitCommandFailed;
    }
    return ExitSuccess;
}

static int ShowVault(const wchar_t* path, const wchar_t* computer)
{
    VaultContents contents;
    BCRYPT_KEY_HANDLE key = nullptr;
    int exitCode = OpenVault(path, &contents, &key);
    if (exitCode != ExitSuccess)
        return exitCode;
    bool damaged = PrintProblems(contents);
    size_t shown = 0;
    for (const VaultEntry& entry : SummariseVault(contents)) {
        if (computer != nullptr &&
            CompareStringOrdinal(entry.computer.c_str(), -1, computer, -1, TRUE) != CSTR_EQUAL)
            continue;
        damaged = !PrintEntry(key, contents, entry) || damaged;
        ++shown;
    }
    CloseVaultKey(key);
    if (shown == 0 && computer != nullptr) {
        PrintFormatted(L"エラー : コンピューター %s の記録は保管庫にありません。\n\n", computer);
        return ExitCommandFailed;
    }
    if (shown == 0)
        PrintText(L"保管庫にはまだパスワードの記録がありません。\n\n");
    return damaged ? ExitCommandFailed : ExitSuccess;
}

static int ShowHistory(const wchar_t* path)
{
    VaultContents contents;
    int exitCode = ReadVaultFile(path, &contents);
    if (exitCode != ExitSuccess)
        return exitCode;
    bool damaged = PrintProblems(contents);
    PrintFormatted(L"保管庫の作成 : %s\n\n", VaultLocalTime(contents.header.created).c_str());
    for (const VaultRecord& record : contents.records) {
        PrintFormatted(L"行 %d  %s  %s  %s  %s", record.line, VaultLocalTime(record.time).c_str(),
                       record.computer.c_str(), record.account.c_str(), StateName(record.state));
        if (record.state == VaultFailed)
            PrintFormatted(L"  (0x%08X %s)", record.error, record.reason.c_str());
        PrintText(L"\n");
    }
    PrintFormatted(L"\n%llu 件の記録があります。\n\n",
                   static_cast<unsigned long long>(contents.records.size()));
    return damaged ? ExitCommandFailed : ExitSuccess;
}

int RunVaultCommand(int argumentCount, wchar_t** argv, const ComputerList& computers)
{
    const wchar_t* path = VaultPath(argv[1]);
    if (path == nullptr || computers.count > 0 || argumentCount < 2)
        return CommandLineFailure();
    // The secrets are read without the CRT keeping a copy in its buffer.
    setvbuf(stdin, nullptr, _IONBF, 0);
    const wchar_t* command = argv[2];
    if (SwitchIs(command, L"/init") && OnlySilentFrom(3, argumentCount, argv))
        return InitVault(path);
    if (SwitchIs(command, L"/history") && OnlySilentFrom(3, argumentCount, argv))
        return ShowHistory(path);
    if (SwitchIs(command, L"/show")) {
        const wchar_t* computer = nullptr;
        int next = 3;
        if (argumentCount >= 3 && !IsSilent(argv[3]) && argv[3][0] != L'/') {
            computer = argv[3];
            next = 4;
            if (computer[0] == L'\0' || wcslen(computer) > VaultMaxComputerChars)
                return CommandLineFailure();
        }
        if (OnlySilentFrom(next, argumentCount, argv))
            return ShowVault(path, computer);
    }
    return CommandLineFailure();
}

// ---- /rotate ----------------------------------------------------------------

struct RotateJob
{
    const wchar_t* name;
    VaultWriter* vault;
};

// The computer's name as records keep it: the name given, or this computer's.
static void TargetName(wchar_t* name, DWORD chars)
{
    LPCWSTR server = ServerArgument();
    if (server != nullptr) {
        while (*server == L'\\')
            ++server;
        wcsncpy_s(name, chars, server, _TRUNCATE);
    } else if (!GetComputerNameW(name, &chars)) {
        name[0] = L'\0';
    }
}

// The account's name as the computer spells it; false (reason printed) when
// it does not exist or is disabled: nothing is changed there.
static bool CheckAccount(const wchar_t* name, wchar_t* spelled, size_t chars)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(ServerArgument(), name, 1, &buffer);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントの情報を取得できませんでした。", status);
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
        return false;
    }
    const auto* user = reinterpret_cast<const USER_INFO_1*>(buffer);
    bool disabled = (user->usri1_flags & UF_ACCOUNTDISABLE) != 0;
    wcsncpy_s(spelled, chars, TextOrEmpty(user->usri1_name), _TRUNCATE);
    NetApiBufferFree(buffer);
    if (disabled)
        PrintFormatted(L"エラー : ユーザー %s は無効になっているため、パスワードを変更しません。\n",
                       name);
    return !disabled;
}

// A test stands in for a crash between the change and its outcome record.
static void TestCrashAfterChange()
{
    if (GetEnvironmentVariableW(L"AMBRELLE_TEST_EXIT_AFTER_CHANGE", nullptr, 0) > 0)
        TerminateProcess(GetCurrentProcess(), 3);
}

static int RotateOnTarget(const void* parameter)
{
    const auto& job = *static_cast<const RotateJob*>(parameter);
    wchar_t computer[VaultMaxComputerChars + 1] = {};
    wchar_t account[VaultMaxAccountChars + 1] = {};
    TargetName(computer, VaultMaxComputerChars + 1);
    if (!CheckAccount(job.name, account, VaultMaxAccountChars + 1)) {
        PrintFormatted(L"エラー : ユーザー %s のパスワードを変更できませんでした。\n\n", job.name);
        return ExitCommandFailed;
    }
    wchar_t password[VaultPasswordChars + 1] = {};
    char id[17] = {};
    DWORD error = GenerateVaultPassword(password, VaultPasswordChars + 1);
    if (error == 0)
        error = AppendVaultPending(job.vault, computer, account, password, id);
    if (error != 0) {
        SecureZeroMemory(password, sizeof(password));
        PrintNetError(L"パスワード保管庫に記録できなかったため、パスワードは変更していません。",
                      error);
        PrintFormatted(L"エラー : ユーザー %s のパスワードを変更できませんでした。\n\n", job.name);
        return ExitCommandFailed;
    }
    USER_INFO_1003 info = {password};
    NET_API_STATUS status =
        NetUserSetInfo(ServerArgument(), account, 1003, reinterpret_cast<LPBYTE>(&info), nullptr);
    SecureZeroMemory(password, sizeof(password));
    if (status == NERR_Success)
        TestCrashAfterChange();
    LPWSTR reason = status != NERR_Success ? FormatErrorText(status) : nullptr;
    DWORD recorded = AppendVaultOutcome(job.vault, id, computer, account, status, reason);
    LocalFree(reason);
    if (status != NERR_Success) {
        PrintNetError(L"パスワードを変更できませんでした。", status);
        PrintFormatted(L"エラー : ユーザー %s のパスワードを変更できませんでした。\n\n", job.name);
        return ExitCommandFailed;
    }
    if (recorded != 0) {
        PrintNetError(L"変更の結果をパスワード保管庫に記録できませんでした。", recorded);
        PrintText(
            L"新しいパスワードは保管庫に保留中として記録されています (/show で表示されます)。\n");
        PrintFormatted(
            L"エラー : ユーザー %s のパスワードは変更しましたが、結果を記録できませんでした。\n\n",
            job.name);
        return ExitCommandFailed;
    }
    PrintFormatted(L"ユーザー %s のパスワードを変更し、パスワード保管庫に記録しました。\n\n",
                   job.name);
    return ExitSuccess;
}

static void RotateOnComputer(ComputerRun& run, const void* job)
{
    run.exitCode = RotateOnTarget(job);
}

static void PrintRotatedComputer(ComputerRun& run, const void*)
{
    PrintComputerBlock(run);
    FreeTextBuffer(&run.output);
    fflush(stdout);
}

static bool ConfirmRotation(const wchar_t* name, const wchar_t* path, size_t count)
{
    if (SilentMode)
        return true;
    PrintText(L"！注意！\n");
    if (count > 1)
        PrintFormatted(
            L"%llu 台のコンピューターでユーザー %s のパスワードを新しいランダムなパスワードに変更し、\nパスワード保管庫 %s に記録します。\n\n",
            static_cast<unsigned long long>(count), name, path);
    else
        PrintFormatted(
            L"ユーザー %s のパスワードを新しいランダムなパスワードに変更し、\nパスワード保管庫 %s に記録します。\n\n",
            name, path);
    PrintText(L"実行してもよろしいですか？ (Y/N)");
    return AskYesNo() == IDYES;
}

int RunRotateCommand(int argumentCount, wchar_t** argv, const ComputerList& computers)
{
    // "/user /rotate NAME /vault:FILE [/s]": a password is never changed
    // without a vault to record it in.
    if (argumentCount < 4 || argv[3][0] == L'/' || argv[3][0] == L'\0' ||
        wcslen(argv[3]) > VaultMaxAccountChars || VaultPath(argv[4]) == nullptr ||
        !OnlySilentFrom(5, argumentCount, argv))
        return CommandLineFailure();
    const wchar_t* name = argv[3];
    const wchar_t* path = VaultPath(argv[4]);
    VaultWriter vault;
    DWORD error = OpenVaultWriter(path, &vault);
    if (error != 0) {
        PrintVaultError(L"パスワード保管庫に書き込めません。パスワードは変更していません。", path,
                        error);
        return ExitCommandFailed;
    }
    int exitCode = ExitSuccess;
    if (ConfirmRotation(name, path, computers.count > 0 ? computers.count : 1)) {
        RotateJob job = {name, &vault};
        if (computers.count <= 1) {
            exitCode = RunOnOneTarget(computers, RotateOnTarget, &job);
        } else {
            ComputerRun* runs = NewComputerRuns(computers);
            exitCode = ExitCommandFailed;
            if (runs != nullptr) {
                RunOnComputers(runs, computers.count, RotateOnComputer, PrintRotatedComputer, &job);
                exitCode = PrintComputerSummary(runs, computers.count, stdout);
                FreeComputerRuns(runs, computers.count);
            }
        }
    }
    CloseVaultWriter(&vault);
    return exitCode;
}
