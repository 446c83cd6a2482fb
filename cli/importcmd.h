#pragma once
#include <windows.h>

// Ambcmd /import FILE [/whatif] [/exact]: the account import on the computer
// that `server` names (null: this computer; "\\NAME": a remote one).
// `argumentCount` counts the positions after the program name; argv[1] is
// "/import". Returns the exit code: 0 every row applied (or planned, with
// /whatif), 1 a row or the target failed, 2 a file or command-line error
// (nothing written).
int RunImportCommand(int argumentCount, wchar_t** argv, LPCWSTR server);

// The help text of /import.
void PrintImportHelp();
