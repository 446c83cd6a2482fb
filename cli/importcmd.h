#pragma once
#include <windows.h>

// Ambcmd /import FILE [/whatif] [/exact]: the account import on the computer
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
};
int ParseImportCommand(int argumentCount, wchar_t** argv, ImportOptions* options);
int CheckImportFile(const ImportOptions& options);
int RunImportOn(const ImportOptions& options, LPCWSTR server);

// The help text of /import.
void PrintImportHelp();
