#pragma once
// The operations behind "/user". Name is the account as typed; the second
// argument may be null only where noted.
#include "ambcmd.h"

CommandResult PrintUserDetails(const wchar_t* name);
// fullName may be null: the user gets no full name.
CommandResult AddUser(const wchar_t* name, const wchar_t* fullName);
CommandResult RenameUser(const wchar_t* name, const wchar_t* newName);
CommandResult SetUserFullName(const wchar_t* name, const wchar_t* fullName);
CommandResult SetUserComment(const wchar_t* name, const wchar_t* comment);
CommandResult SetUserFlags(const wchar_t* name, const wchar_t* options);
CommandResult ChangeUserGroups(const wchar_t* name, const wchar_t* localGroups, bool remove);
CommandResult UnlockUser(const wchar_t* name);
// Both ask for confirmation unless SilentMode.
CommandResult DeleteUser(const wchar_t* name);
CommandResult ResetUserPassword(const wchar_t* name);
