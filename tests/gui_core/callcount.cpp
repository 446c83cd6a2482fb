#include "callcount.h"

#include <lm.h>

#include <cstring>

namespace {
PlatformCallCounts counts;

using QueryDisplayFn = NET_API_STATUS(WINAPI*)(LPCWSTR, DWORD, DWORD, DWORD, DWORD, LPDWORD,
                                               PVOID*);
using GroupEnumFn = NET_API_STATUS(WINAPI*)(LPCWSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD,
                                            PDWORD_PTR);
using UserGetInfoFn = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
using GroupGetInfoFn = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
using GroupMembersFn = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*, DWORD, LPDWORD,
                                               LPDWORD, PDWORD_PTR);
using LookupNameFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, PSID, LPDWORD, LPWSTR, LPDWORD, PSID_NAME_USE);

QueryDisplayFn realQueryDisplay;
GroupEnumFn realGroupEnum;
UserGetInfoFn realUserGetInfo;
GroupGetInfoFn realGroupGetInfo;
LookupNameFn realLookupName;
GroupMembersFn realGroupMembers;

NET_API_STATUS WINAPI CountQueryDisplay(LPCWSTR a, DWORD b, DWORD c, DWORD d, DWORD e, LPDWORD f,
                                        PVOID* g)
{
    InterlockedIncrement(&counts.queryDisplay);
    return realQueryDisplay(a, b, c, d, e, f, g);
}
NET_API_STATUS WINAPI CountGroupEnum(LPCWSTR a, DWORD b, LPBYTE* c, DWORD d, LPDWORD e, LPDWORD f,
                                     PDWORD_PTR g)
{
    InterlockedIncrement(&counts.groupEnum);
    return realGroupEnum(a, b, c, d, e, f, g);
}
NET_API_STATUS WINAPI CountUserGetInfo(LPCWSTR a, LPCWSTR b, DWORD c, LPBYTE* d)
{
    InterlockedIncrement(&counts.userGetInfo);
    return realUserGetInfo(a, b, c, d);
}
NET_API_STATUS WINAPI CountGroupGetInfo(LPCWSTR a, LPCWSTR b, DWORD c, LPBYTE* d)
{
    InterlockedIncrement(&counts.groupGetInfo);
    return realGroupGetInfo(a, b, c, d);
}
BOOL WINAPI CountLookupName(LPCWSTR a, LPCWSTR b, PSID c, LPDWORD d, LPWSTR e, LPDWORD f,
                            PSID_NAME_USE g)
{
    InterlockedIncrement(&counts.lookupName);
    return realLookupName(a, b, c, d, e, f, g);
}

NET_API_STATUS WINAPI CountGroupMembers(LPCWSTR a, LPCWSTR b, DWORD c, LPBYTE* d, DWORD e,
                                        LPDWORD f, LPDWORD g, PDWORD_PTR h)
{
    InterlockedIncrement(&counts.groupMembers);
    return realGroupMembers(a, b, c, d, e, f, g, h);
}

template <class F> bool Install(F& real, const char* name, F wrapper)
{
    if (real != nullptr)
        return true;
    real = reinterpret_cast<F>(RedirectImport(name, reinterpret_cast<void*>(wrapper)));
    return real != nullptr;
}
} // namespace

bool CountPlatformCalls()
{
    bool ok = Install(realQueryDisplay, "NetQueryDisplayInformation", &CountQueryDisplay);
    ok = Install(realGroupEnum, "NetLocalGroupEnum", &CountGroupEnum) && ok;
    ok = Install(realUserGetInfo, "NetUserGetInfo", &CountUserGetInfo) && ok;
    ok = Install(realGroupGetInfo, "NetLocalGroupGetInfo", &CountGroupGetInfo) && ok;
    ok = Install(realLookupName, "LookupAccountNameW", &CountLookupName) && ok;
    // Only a program that reads the members has this entry.
    Install(realGroupMembers, "NetLocalGroupGetMembers", &CountGroupMembers);
    return ok;
}

PlatformCallCounts& CallCounts()
{
    return counts;
}

void* RedirectImport(const char* name, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; descriptor->Name != 0; ++descriptor) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0)
                continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            return previous;
        }
    }
    return nullptr;
}
