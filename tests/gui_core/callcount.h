#pragma once
#include <windows.h>

// Counts the account-database calls that this test program makes, by pointing
// its import-table entries for those functions at counting wrappers (on any
// thread: the counts are interlocked).
struct PlatformCallCounts
{
    LONG queryDisplay = 0; // NetQueryDisplayInformation
    LONG groupEnum = 0;    // NetLocalGroupEnum
    LONG userGetInfo = 0;  // NetUserGetInfo
    LONG groupGetInfo = 0; // NetLocalGroupGetInfo
    LONG lookupName = 0;   // LookupAccountNameW
    LONG groupMembers = 0; // NetLocalGroupGetMembers
    LONG Total() const
    {
        return queryDisplay + groupEnum + userGetInfo + groupGetInfo + lookupName + groupMembers;
    }
};

// Installs the wrappers once; returns false when an entry was not found.
bool CountPlatformCalls();
PlatformCallCounts& CallCounts();

// Points this program's import-table entry of `name` (from any DLL) at
// `replacement`; returns the previous target, null when there is no such entry.
void* RedirectImport(const char* name, void* replacement);
