#pragma once
#include <windows.h>

#include <cstddef>

// The name of the account domain of the computer that `server` names (a server
// argument: null for the local computer, "\\NAME" for a remote one): the name
// that qualifies that computer's own accounts ("NAME\user") in member calls, as
// the computer itself reports it through LsaQueryInformationPolicy
// (PolicyAccountDomainInformation). An address typed for a computer is not that
// name. Returns 0, or the Win32 status of the failing call with `buffer` empty
// (ERROR_INSUFFICIENT_BUFFER when the name does not fit `chars` WCHAR).
DWORD GetAccountDomainName(LPCWSTR server, LPWSTR buffer, size_t chars);

// The SID (LocalFree it) and name of the account domain of the computer that
// `server` names, from the same record. On a domain-joined computer this is the
// computer's own domain, not the one it is joined to. Returns 0, or the Win32
// status with *sid null and `name` empty.
DWORD GetAccountDomainSid(LPCWSTR server, PSID* sid, LPWSTR name, size_t chars);
