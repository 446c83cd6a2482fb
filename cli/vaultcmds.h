#pragma once
// The password vault in Ambcmd: "/vault:FILE /init | /show [COMPUTER] |
// /history" and "/user /rotate NAME /vault:FILE".
#include "computers.h"

// True for "/vault:..." (any case of the switch).
bool IsVaultSwitch(const wchar_t* argument);
// "/vault:FILE ..." at position 1; argv[1] is the switch.
int RunVaultCommand(int argumentCount, wchar_t** argv, const ComputerList& computers);
// "/user /rotate NAME /vault:FILE": argv[2] is "/rotate".
int RunRotateCommand(int argumentCount, wchar_t** argv, const ComputerList& computers);
