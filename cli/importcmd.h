#pragma once
#include <windows.h>

// Ambcmd /import FILE [/whatif] [/exact] [/remove-missing:GROUP [/profiles]]
// [/passwords:easy|strong] [/slips:FILE.html]: the account import on the computer
// that `server` names (null: this computer; "\\NAME": a remote one).
// `argumentCount` counts the positions after the program name; argv[1] is
// "/import". Returns the exit code: 0 every row applied (or planned, with
// /whatif), 1 a row or the target failed, 2 a file or command-line error
// (nothing written).
int RunImportCommand(int argumentCount, wchar_t** argv, LPCWSTR server);

// The same in steps, for a run on several computers: the command line is read
// once (ParseImportCommand returns ImportParsed, or the exit code after the
// help text or the command-line error), the file checked once for being
// readable (CheckImportFile: ImportParsed or ExitBadCommandLine, after the
// message), then each computer gets RunImportOn.
constexpr int ImportParsed = -1;
struct ImportOptions
{
    const wchar_t* file = nullptr;
    bool whatIf = false;
    bool exact = false;
    const wchar_t* removeGroup = nullptr; // /remove-missing:GROUP
    bool profiles = false;                // /profiles
    bool easyPasswords = false;           // /passwords:easy
    const wchar_t* slips = nullptr;       // /slips:FILE.html
    // Set by the run on several computers: the deletions were confirmed once
    // for all, and each computer writes its own slips file (FILE-NAME.html).
    bool confirmed = false;
    bool slipsPerComputer = false;
};
int ParseImportCommand(int argumentCount, wchar_t** argv, ImportOptions* options);
int CheckImportFile(const ImportOptions& options);
int RunImportOn(const ImportOptions& options, LPCWSTR server);
// How many users the import would delete on that computer (0 when it cannot
// be planned there: its own run reports why).
DWORD CountImportRemovals(const ImportOptions& options, LPCWSTR server);
// The SID warning and the question before deleting `users` users on
// `computers` computers (one: this or the named computer). True when
// answered yes.
bool ConfirmImportRemovals(DWORD users, size_t computers);

// The help text of /import.
void PrintImportHelp();
