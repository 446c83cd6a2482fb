#pragma once
// The operations behind "/group". Name is the local group as typed; the second
// argument may be null only where noted.
#include "ambcmd.h"

#include <lm.h>

// Longest member entry handed to the platform, computer prefix included.
constexpr size_t MemberEntryLength = 256;

CommandResult PrintGroupDetails(const wchar_t* name);
// comment may be null: the group gets no comment.
CommandResult AddGroup(const wchar_t* name, const wchar_t* comment);
CommandResult RenameGroup(const wchar_t* name, const wchar_t* newName);
CommandResult SetGroupComment(const wchar_t* name, const wchar_t* comment);
CommandResult AddGroupMembers(const wchar_t* name, const wchar_t* membership);
CommandResult SetGroupMembers(const wchar_t* name, const wchar_t* membership);
CommandResult DelGroupMembers(const wchar_t* name, const wchar_t* membership);
// Asks for confirmation unless SilentMode.
CommandResult DeleteGroup(const wchar_t* name);

// Fills entries (room for CountListItems(membership)) with one computer-qualified
// name each, in list order, and returns the count. Each entry's name is a block
// of MemberEntryLength characters, released by FreeMemberList. The caller has
// made sure with FindOverlongMember that every item fits.
size_t BuildMemberList(const wchar_t* membership, LOCALGROUP_MEMBERS_INFO_3* entries);
void FreeMemberList(LOCALGROUP_MEMBERS_INFO_3* entries, size_t count);

// The 1-based position of the first item whose member entry would not fit in
// MemberEntryLength characters, or 0 when all fit.
size_t FindOverlongMember(const wchar_t* membership);
