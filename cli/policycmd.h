#pragma once
#include "computers.h"

// Ambcmd /policy: the password and lock-out policy of this computer or of the
// computers of "/computer:", shown as `net accounts` lists it, as CSV, TSV or
// JSON (/format:), or set with the switches of `net accounts`.
// `argumentCount` counts the positions after the program name; argv[1] is
// "/policy". Returns the exit code.
int RunPolicyCommand(int argumentCount, wchar_t** argv, const ComputerList& computers);

// The policy file beside an account report: each computer's policy as one
// row (form: ListCsv or ListTsv). Prints the result line; returns the exit code.
int WritePolicyReportFile(const wchar_t* reportPath, bool tsv, const ComputerList& computers);
