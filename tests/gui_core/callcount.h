#pragma once
#include <windows.h>

// Counts the account-database calls that this test program makes, by pointing
// its import-table entries for those functions at counting wrappers.
struct PlatformCallCounts
{
    long queryDisplay = 0; // NetQueryDisplayInformation
    long groupEnum = 0;    // NetLocalGroupEnum
    long userGetInfo = 0;  // NetUserGetInfo
    long groupGetInfo = 0; // NetLocalGroupGetInfo
    long lookupName = 0;   // LookupAccountNameW
    long Total() const
    {
        return queryDisplay + groupEnum + userGetInfo + groupGetInfo + lookupName;
    }
};

// Installs the wrappers once; returns false when an entry was not found.
bool CountPlatformCalls();
PlatformCallCounts& CallCounts();

// Points this program's import-table entry of `name` (from any DLL) at
// `replacement`; returns the previous target, null when there is no such entry.
void* RedirectImport(const char* name, void* replacement);
