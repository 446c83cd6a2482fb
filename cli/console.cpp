// Console helpers shared by the front end and the commands: the confirmation
// prompt, the error block, semicolon lists and time lines.
#include "ambcmd.h"

#include "accountdomain.h"
#include "errortext.h"
#include "remotehints.h"
#include "textformat.h"

#include <cstdio>
#include <cwchar>

wchar_t* AllocText(size_t count)
{
    return static_cast<wchar_t*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (count == 0 ? 1 : count) * sizeof(wchar_t)));
}

void FreeBlock(void* block)
{
    if (block != nullptr)
        HeapFree(GetProcessHeap(), 0, block);
}

wchar_t* DuplicateText(const wchar_t* text)
{
    size_t length = text == nullptr ? 0 : wcslen(text);
    wchar_t* copy = AllocText(length + 1);
    if (copy != nullptr && length > 0)
        wmemcpy(copy, text, length);
    return copy;
}

const wchar_t* TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? text : L"";
}

int AskYesNo()
{
    // The prompt has no line break; it must be on the screen before we wait.
    fflush(stdout);
    wchar_t answer[2] = {};
    if (fgetws(answer, 2, stdin) == nullptr)
        return IDNO; // end of input: nobody said yes
    // Only the first character counts; the rest of the line goes, so that a
    // later read starts on a fresh line. An empty line has had its line feed read.
    if (answer[0] != L'\n') {
        wint_t c;
        do {
            c = fgetwc(stdin);
        } while (c != L'\n' && c != WEOF);
    }
    return (answer[0] == L'Y' || answer[0] == L'y') ? IDYES : IDNO;
}

void PrintSidWarning()
{
    PrintText(L"ユーザーやローカル グループはセキュリティ識別子 (Security Identifier。以下 SID)\n");
    PrintText(
        L"と呼ばれる識別子を持っており、Windows 上ではこの SID によって管理されています。\n\n");
    PrintText(L"削除後、同一名でローカル グループを再作成した場合も新たに SID が発行され、\n");
    PrintText(L"システム上ではまったく異なるものとして扱われます。\n\n");
}

void PrintNetError(const wchar_t* caption, DWORD code)
{
    LPWSTR text = FormatErrorText(code);
    PrintFormatted(L"エラー : %s\n", caption);
    PrintFormatted(L"エラー番号 : 0x%08X\n", code);
    PrintFormatted(L"エラー詳細 :\n　%s\n\n", TextOrEmpty(text));
    LocalFree(text);
    PrintRemoteHint(code);
}

void PrintRemoteHint(DWORD code)
{
    LPCWSTR hint = ServerArgument() != nullptr ? RemoteErrorHint(code) : nullptr;
    if (hint != nullptr)
        PrintFormatted(L"%s\n\n", hint);
}

wchar_t* NextListItem(wchar_t* list, wchar_t** context)
{
    wchar_t* cursor = list != nullptr ? list : *context;
    if (cursor == nullptr)
        return nullptr;
    while (*cursor == L';')
        ++cursor;
    if (*cursor == L'\0') {
        *context = cursor;
        return nullptr;
    }
    wchar_t* item = cursor;
    while (*cursor != L'\0' && *cursor != L';')
        ++cursor;
    if (*cursor == L';')
        *cursor++ = L'\0';
    *context = cursor;
    return item;
}

size_t CountListItems(const wchar_t* list)
{
    wchar_t* copy = DuplicateText(list);
    if (copy == nullptr)
        return 0;
    size_t count = 0;
    wchar_t* context = nullptr;
    for (wchar_t* item = NextListItem(copy, &context); item != nullptr;
         item = NextListItem(nullptr, &context))
        ++count;
    FreeBlock(copy);
    return count;
}

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
static const ULONGLONG UnixEpochAsFileTime = 116444736000000000ULL;

DWORD CurrentUnixTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return static_cast<DWORD>((ticks.QuadPart - UnixEpochAsFileTime) / 10000000ULL);
}

void PrintLocalTime(const wchar_t* format, DWORD seconds)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(seconds) * 10000000ULL + UnixEpochAsFileTime;
    FILETIME utcFile;
    utcFile.dwLowDateTime = ticks.LowPart;
    utcFile.dwHighDateTime = ticks.HighPart;
    SYSTEMTIME utc = {};
    SYSTEMTIME local = {};
    FileTimeToSystemTime(&utcFile, &utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    PrintFormatted(format, static_cast<unsigned>(local.wYear), static_cast<unsigned>(local.wMonth),
                   static_cast<unsigned>(local.wDay), static_cast<unsigned>(local.wHour),
                   static_cast<unsigned>(local.wMinute));
}

// ---- The target computer of a thread --------------------------------------

static thread_local TargetComputer* ThreadTarget = nullptr;
// The local computer's name, learnt on first use by the main thread only:
// worker threads always have a remote target.
static TargetComputer LocalTarget;

void SetThreadTarget(TargetComputer* target)
{
    ThreadTarget = target;
}

bool PrepareTargetComputer(TargetComputer* target, const wchar_t* name)
{
    *target = TargetComputer();
    target->name = name;
    size_t chars = wcslen(name) + 3;
    target->serverArgument = AllocText(chars);
    if (target->serverArgument == nullptr)
        return false;
    FormatBounded(target->serverArgument, chars, L"\\\\%s", name);
    return true;
}

void ReleaseTargetComputer(TargetComputer* target)
{
    FreeBlock(target->serverArgument);
    FreeBlock(target->domainName);
    *target = TargetComputer();
}

LPCWSTR ServerArgument()
{
    return ThreadTarget != nullptr ? ThreadTarget->serverArgument : nullptr;
}

// The local computer's NetBIOS name from the process heap, or null.
static wchar_t* GetLocalComputerName()
{
    DWORD size = 0;
    GetComputerNameW(nullptr, &size); // learns the size, terminator included
    if (size == 0)
        return nullptr;
    wchar_t* name = AllocText(size);
    if (name != nullptr && !GetComputerNameW(name, &size)) {
        FreeBlock(name);
        return nullptr;
    }
    return name;
}

// Longest account domain name (a NetBIOS or DNS label) with its terminator.
static const size_t DomainNameChars = 256;

const wchar_t* MemberDomainName(DWORD* status)
{
    TargetComputer* target = ThreadTarget != nullptr ? ThreadTarget : &LocalTarget;
    if (!target->domainLearnt) {
        target->domainLearnt = true;
        if (target == &LocalTarget) {
            target->domainName = GetLocalComputerName();
        } else {
            // The computer's own name for its accounts: an address it was
            // named by is not accepted in member names.
            target->domainName = AllocText(DomainNameChars);
            target->domainStatus = target->domainName == nullptr
                                       ? ERROR_NOT_ENOUGH_MEMORY
                                       : GetAccountDomainName(target->serverArgument,
                                                              target->domainName, DomainNameChars);
            if (target->domainStatus != 0) {
                FreeBlock(target->domainName);
                target->domainName = nullptr;
            }
        }
    }
    *status = target->domainStatus;
    if (target == &LocalTarget)
        return TextOrEmpty(target->domainName);
    return target->domainName;
}
