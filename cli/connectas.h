#pragma once
// "/as:USER": the account under which every computer of "/computer:LIST" is
// reached, its password read once before any computer is touched.
#include "ambcmd.h"
#include "remoteconnection.h"

struct ConnectionAccount
{
    wchar_t user[ConnectionUserMaxChars + 1] = {};
    wchar_t password[ConnectionPasswordMaxChars + 1] = {};
};

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
