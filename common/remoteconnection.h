#pragma once
#include <windows.h>

#include <cstddef>

// Explicit connections to a remote computer under another account: a
// temporary connection to \\NAME\IPC$ (WNetAddConnection2W), which Windows
// then uses for every RPC call of this logon session to that server name, and
// its cancellation. Shared by Ambgui's remote dialog and Ambcmd's "/as:".

// Longest user name accepted for a connection, with its domain ("DOMAIN\user",
// "user@domain"), and longest password, in characters.
constexpr size_t ConnectionUserMaxChars = 256;
constexpr size_t ConnectionPasswordMaxChars = 256;
// Room for a computer name, a backslash, a user name and the terminator.
constexpr size_t QualifiedUserChars = 64 + 1 + ConnectionUserMaxChars + 1;

// The user name as the connection gives it: "DOMAIN\user" and "user@domain"
// are kept, a bare name is qualified with the target computer's name
// ("NAME\user": otherwise Windows would take it as an account of this
// computer's domain). False when the result does not fit `chars`.
bool QualifyConnectionUser(LPCWSTR computer, LPCWSTR user, LPWSTR qualified, size_t chars);

// Connects to \\computer\IPC$ as `user` (qualified by the caller) with
// `password` ("" is a blank password, never the default one). CONNECT_TEMPORARY:
// nothing is remembered for the next logon. Returns WNetAddConnection2W's status.
DWORD ConnectToComputer(LPCWSTR computer, LPCWSTR user, LPCWSTR password);

// Cancels the connection that ConnectToComputer made. Returns its status.
DWORD DisconnectFromComputer(LPCWSTR computer);

// Closes every connection of this logon session to that server name (mapped
// drives and other shares of it included, open files on them lose their
// handles): the way out of ERROR_SESSION_CREDENTIAL_CONFLICT. *closed counts
// the connections cancelled. Returns 0 or the status of the first failure.
DWORD CloseServerConnections(LPCWSTR computer, size_t* closed);
