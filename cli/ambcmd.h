#pragma once
// Shared by the front end and the command families of Ambcmd.
#include <windows.h>

#include <cstddef>

// How a command ended. The front end turns it into the result line and the
// exit code; Declined means a confirmation was not answered yes, which ends the
// program without a result line.
enum CommandResult { ResultSuccess, ResultFailure, ResultDeclined };

// Exit codes: 0 success (also usage, help and a declined confirmation), 1 a
// command printed its failure line, 2 the command line was not understood.
enum ExitCode { ExitSuccess = 0, ExitCommandFailed = 1, ExitBadCommandLine = 2 };

// True when any argument is "/s" or "/silent": no banner, warnings or prompts.
extern bool SilentMode;

// The computer the commands of a thread work on. Each thread that runs
// commands on a remote computer sets one; without it they work on the local
// computer.
struct TargetComputer
{
    const wchar_t* name = nullptr;     // as given, without backslashes
    wchar_t* serverArgument = nullptr; // "\\" and the name
    wchar_t* domainName = nullptr;     // learnt on first use by MemberDomainName
    DWORD domainStatus = 0;
    bool domainLearnt = false;
};
// Makes target the calling thread's computer (null: the local computer). The
// caller keeps target and releases it with ReleaseTargetComputer.
void SetThreadTarget(TargetComputer* target);
// Fills target for a computer name; false when out of memory.
bool PrepareTargetComputer(TargetComputer* target, const wchar_t* name);
void ReleaseTargetComputer(TargetComputer* target);
// The server argument of every platform call: null for the local computer,
// "\\NAME" for the thread's remote computer.
LPCWSTR ServerArgument();
// The name that qualifies the target's own accounts in member lists ("NAME\user"),
// learnt once per target: the local computer's name, or the remote
// computer's account domain as it reports it. Null with *status set when a
// remote computer cannot tell it; on the local computer never null
// (empty when the name is not known).
const wchar_t* MemberDomainName(DWORD* status);

// Reads the answer to a prompt ending in "(Y/N)". IDYES when the answer line
// begins with Y or y; IDNO for anything else, an empty line or end of input.
int AskYesNo();

// Prints the error block for a failed platform call; on a remote target the
// hint line for the code follows it (PrintRemoteHint).
void PrintNetError(const wchar_t* caption, DWORD code);
void PrintRemoteHint(DWORD code);

// The paragraph of both deletion warnings on security identifiers: a deleted
// account's SID is gone for good, even when the name is created again.
void PrintSidWarning();

// Number of items of a semicolon-separated list: empty items are skipped,
// spaces belong to the names. A null or empty list counts 0.
size_t CountListItems(const wchar_t* list);

// A semicolon-separated list split in place: the first call takes a writable
// copy of the list, later calls null. Returns the next non-empty item or null.
wchar_t* NextListItem(wchar_t* list, wchar_t** context);

// A zero-filled copy of text from the process heap, or null when out of memory.
wchar_t* DuplicateText(const wchar_t* text);

// Zero-filled blocks from the process heap (count characters) and their release.
wchar_t* AllocText(size_t count);
void FreeBlock(void* block);

// The text itself, or the empty string for a null pointer (platform records
// may leave a string field null).
const wchar_t* TextOrEmpty(const wchar_t* text);

// Seconds since 1970-01-01 UTC now.
DWORD CurrentUnixTime();

// Prints a time given in seconds since 1970-01-01 UTC as local
// "YYYY/MM/DD hh:mm" inside format, which holds the five numbers.
void PrintLocalTime(const wchar_t* format, DWORD seconds);

// The usage and help texts.
void PrintUsage();
void PrintUserHelp();
void PrintGroupHelp();
