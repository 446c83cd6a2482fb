#pragma once
// "/as:USER": the account under which every computer of "/computer:LIST" is
// reached, its password read once before any computer is touched.
#include "ambcmd.h"
#include "remoteconnection.h"

#include <string>
#include <vector>

// A computer's own password for the account, from a password vault: the ones
// that may be in force, newest first (a change without a recorded outcome,
// then the last applied one).
struct VaultConnectionPassword
{
    std::wstring computer;
    wchar_t passwords[2][ConnectionPasswordMaxChars + 1] = {};
    int count = 0;
};

struct ConnectionAccount
{
    wchar_t user[ConnectionUserMaxChars + 1] = {};
    wchar_t password[ConnectionPasswordMaxChars + 1] = {};
    // "/as:USER /vault:FILE": each computer's password comes from the vault.
    bool fromVault = false;
    std::vector<VaultConnectionPassword> vault;
};

// The vault's passwords of one computer (any case), or null.
const VaultConnectionPassword* FindVaultConnectionPassword(const ConnectionAccount& account,
                                                           const wchar_t* computer);

// Takes USER from the text after "/as:". False (nothing kept) when it is
// empty or longer than ConnectionUserMaxChars.
bool ReadConnectionUser(const wchar_t* text, ConnectionAccount* account);

// Asks "パスワード (USER) : " without echo on a console, or reads one line of
// standard input when it is not one. Prints the reason and returns false when
// no password came (end of input), it is too long or cannot be decoded.
bool ReadConnectionPassword(ConnectionAccount* account);

// Wipes the password (and the user name) from memory.
void WipeConnectionAccount(ConnectionAccount* account);

// The account that the runs on computers connect with (null: none, Windows
// uses a stored credential or the session's own logon).
void SetConnectionAccount(const ConnectionAccount* account);
const ConnectionAccount* GetConnectionAccount();
