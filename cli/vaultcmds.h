#pragma once
// The password vault in Ambcmd: "/vault:FILE /init | /show [COMPUTER] |
// /history" and "/user /rotate NAME /vault:FILE".
#include "computers.h"
#include "connectas.h"

// True for "/vault:..." (any case of the switch).
bool IsVaultSwitch(const wchar_t* argument);
// "/vault:FILE ..." at position 1; argv[1] is the switch.
int RunVaultCommand(int argumentCount, wchar_t** argv, const ComputerList& computers);
// "/user /rotate NAME /vault:FILE": argv[2] is "/rotate".
int RunRotateCommand(int argumentCount, wchar_t** argv, const ComputerList& computers);
// "/as:USER /vault:FILE": asks the passphrase once and keeps each listed
// computer's own password for USER in account. Returns the exit code to stop
// with, or ExitSuccess.
int ReadConnectionPasswordsFromVault(const wchar_t* argument, const ComputerList& computers,
                                     ConnectionAccount* account);
