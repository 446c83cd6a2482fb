// The account of "/as:USER" and the reading of its password. The password is
// never taken from the command line (other users of the computer can read a
// process's command line); a scheduled task feeds it through standard input
// from a file that only its account can read.
#include "connectas.h"

#include "textformat.h"

#include <cstdio>
#include <cwchar>

static const ConnectionAccount* CurrentAccount = nullptr;

bool ReadConnectionUser(const wchar_t* text, ConnectionAccount* account)
{
    size_t length = wcsnlen(text, ConnectionUserMaxChars + 1);
    if (length == 0 || length > ConnectionUserMaxChars)
        return false;
    wmemcpy(account->user, text, length);
    account->user[length] = L'\0';
    return true;
}

void WipeConnectionAccount(ConnectionAccount* account)
{
    SecureZeroMemory(account->password, sizeof(account->password));
    SecureZeroMemory(account->user, sizeof(account->user));
    for (VaultConnectionPassword& entry : account->vault)
        SecureZeroMemory(entry.passwords, sizeof(entry.passwords));
    account->vault.clear();
}

const VaultConnectionPassword* FindVaultConnectionPassword(const ConnectionAccount& account,
                                                           const wchar_t* computer)
{
    for (const VaultConnectionPassword& entry : account.vault)
        if (CompareStringOrdinal(entry.computer.c_str(), -1, computer, -1, TRUE) == CSTR_EQUAL)
            return &entry;
    return nullptr;
}

void SetConnectionAccount(const ConnectionAccount* account)
{
    CurrentAccount = account;
}

const ConnectionAccount* GetConnectionAccount()
{
    return CurrentAccount;
}

namespace {
enum PasswordRead { PasswordReadOk, PasswordMissing, PasswordTooLong, PasswordUndecodable };

// A console line without echo. The line's end (CR LF) is not part of it.
PasswordRead ReadConsolePassword(HANDLE input, DWORD mode, ConnectionAccount* account)
{
    SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    constexpr DWORD ChunkChars = ConnectionPasswordMaxChars + 2;
    wchar_t chunk[ChunkChars + 1] = {};
    size_t length = 0;
    bool ended = false;
    bool tooLong = false;
    while (!ended) {
        DWORD read = 0;
        if (!ReadConsoleW(input, chunk, ChunkChars, &read, nullptr) || read == 0)
            break;
        for (DWORD i = 0; i < read && !ended; ++i) {
            if (chunk[i] == L'\n' || chunk[i] == L'\r')
                ended = true;
            else if (length < ConnectionPasswordMaxChars)
                account->password[length++] = chunk[i];
            else
                tooLong = true;
        }
    }
    SecureZeroMemory(chunk, sizeof(chunk));
    SetConsoleMode(input, mode);
    PrintText(L"\n");
    if (!ended)
        return PasswordMissing;
    return tooLong ? PasswordTooLong : PasswordReadOk;
}

// The bytes of one line of standard input, without its line end.
constexpr size_t LineBytes = ConnectionPasswordMaxChars * 4 + 4;

PasswordRead ReadPipedLine(HANDLE input, char* line, size_t* length)
{
    *length = 0;
    bool any = false;
    bool tooLong = false;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!ReadFile(input, &c, 1, &read, nullptr) || read == 0)
            break;
        any = true;
        if (c == '\n')
            break;
        if (*length < LineBytes)
            line[(*length)++] = c;
        else
            tooLong = true;
    }
    if (!any)
        return PasswordMissing;
    if (*length > 0 && line[*length - 1] == '\r')
        --*length;
    return tooLong ? PasswordTooLong : PasswordReadOk;
}

// A line fed from a file: UTF-8 (a byte-order mark skipped) when it is valid
// UTF-8, else the ANSI code page, as the console's own reads take text.
PasswordRead DecodePassword(const char* bytes, size_t length, ConnectionAccount* account)
{
    if (length >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB &&
        static_cast<unsigned char>(bytes[2]) == 0xBF) {
        bytes += 3;
        length -= 3;
    }
    if (length == 0)
        return PasswordReadOk;
    int chars = static_cast<int>(ConnectionPasswordMaxChars);
    int count = static_cast<int>(length);
    int wide =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, count, account->password, chars);
    if (wide == 0 && GetLastError() == ERROR_NO_UNICODE_TRANSLATION)
        wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, count, account->password,
                                   chars);
    if (wide == 0) {
        DWORD error = GetLastError();
        SecureZeroMemory(account->password, sizeof(account->password));
        return error == ERROR_INSUFFICIENT_BUFFER ? PasswordTooLong : PasswordUndecodable;
    }
    account->password[wide] = L'\0';
    // A NUL inside the line would cut the password short without a word.
    if (wcslen(account->password) != static_cast<size_t>(wide)) {
        SecureZeroMemory(account->password, sizeof(account->password));
        return PasswordUndecodable;
    }
    return PasswordReadOk;
}

PasswordRead ReadPipedPassword(HANDLE input, ConnectionAccount* account)
{
    char* line = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, LineBytes));
    if (line == nullptr)
        return PasswordMissing;
    size_t length = 0;
    PasswordRead result = ReadPipedLine(input, line, &length);
    if (result == PasswordReadOk)
        result = DecodePassword(line, length, account);
    SecureZeroMemory(line, LineBytes);
    HeapFree(GetProcessHeap(), 0, line);
    return result;
}
} // namespace

bool ReadConnectionPassword(ConnectionAccount* account)
{
    SecureZeroMemory(account->password, sizeof(account->password));
    PrintFormatted(L"パスワード (%s) : ", account->user);
    fflush(stdout);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    bool console = GetConsoleMode(input, &mode) != FALSE;
    PasswordRead result =
        console ? ReadConsolePassword(input, mode, account) : ReadPipedPassword(input, account);
    // The prompt's line ends here, as the echo of the typed line would end it.
    if (!console)
        PrintText(L"\n");
    switch (result) {
    case PasswordReadOk:
        return true;
    case PasswordMissing:
        PrintText(L"エラー : パスワードが入力されなかったため、何も実行しませんでした。\n\n");
        break;
    case PasswordTooLong:
        PrintText(L"エラー : パスワードが長すぎます (256 文字まで)。何も実行しませんでした。\n\n");
        break;
    case PasswordUndecodable:
        PrintText(
            L"エラー : パスワードの文字を読み取れませんでした (UTF-8 またはシフト JIS で指定してください)。何も実行しませんでした。\n\n");
        break;
    }
    SecureZeroMemory(account->password, sizeof(account->password));
    return false;
}
