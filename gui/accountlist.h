#pragma once
#include <windows.h>

#include <lm.h>

// The date formatters of the details pane.
#include "../report/accounttimes.h"

// Which accounts FillAccountList reads.
constexpr int AccountListUsers = 1;
constexpr int AccountListGroups = 2;
constexpr int AccountListBoth = 3;

// Results of GetAccountKind.
constexpr int AccountKindOther = 0;
constexpr int AccountKindUser = 1;
constexpr int AccountKindGroup = 2;

// Image indexes of the account list; the group image tells groups from users.
constexpr int AccountImageUser = 0;
constexpr int AccountImageUserDisabled = 1;
constexpr int AccountImageGroup = 2;
constexpr int AccountImageLockout = 3; // registered as overlay image 1

// Appends the users and/or local groups of the target computer to the list.
// Returns the number of rows added; *status (if given) gets 0, or the status
// of the enumeration the target refused (the rows read before it stay).
int FillAccountList(HWND list, int kinds, DWORD* status = nullptr);

// Fill an empty details list with the properties of one account. A missing or
// empty name shows nothing.
void ShowUserDetails(HWND details, LPCWSTR name);
void ShowGroupDetails(HWND details, LPCWSTR name);

// The relative identifier of the account on the target computer; 0 when the
// name is empty or cannot be resolved.
DWORD GetAccountRid(LPCWSTR name);
// 1 when the account's relative identifier is below 1000 (predefined account).
int IsBuiltinAccount(LPCWSTR name);
// AccountKindUser, AccountKindGroup (group or alias) or AccountKindOther.
int GetAccountKind(LPCWSTR name);
// 1 when `name` is the logon name of the user running the program (any case).
int IsCurrentUser(LPCWSTR name);
// 1 while a remote computer is managed.
int IsRemoteTarget();
// The name that qualifies the target's own accounts: the local computer's
// name, or the account domain that the remote target reports for itself (an
// address as typed is not a name that member calls accept). Returns 1 when a
// name was stored; else 0 with the buffer empty and, when `status` is given,
// the reason there.
int QualifyingComputerName(LPWSTR buffer, size_t chars, DWORD* status = nullptr);
// "computer\account" for NetLocalGroupAddMembers level 3, into `buffer` of
// `chars` WCHAR, qualified by QualifyingComputerName. Returns 1 when the whole
// name was built (else the buffer is empty and `status`, when given, says why:
// the failure to learn the computer's name, or ERROR_INSUFFICIENT_BUFFER).
int MemberName(LPCWSTR accountName, LPWSTR buffer, size_t chars, DWORD* status = nullptr);
// 1 when some entry of the list box equals `text` (A-Z without regard to case).
int ListBoxContains(HWND listBox, LPCWSTR text);

// Local profile of an account: CreateUserProfile returns the platform's HRESULT
// (negative on failure); DeleteUserProfile returns nonzero on success.
HRESULT CreateUserProfile(PSID sid, LPCWSTR accountName);
BOOL DeleteUserProfile(PSID sid);
