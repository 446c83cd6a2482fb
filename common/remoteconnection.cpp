// Connections to \\NAME\IPC$ under an explicit account (WNetAddConnection2W,
// WNetCancelConnection2W) and the enumeration of this session's connections
// (WNetOpenEnumW, WNetEnumResourceW, WNetCloseEnum), as the reference pages of
// those functions describe them.
#include "remoteconnection.h"

#include "textformat.h"

#include <winnetwk.h>

#include <cwchar>

namespace {
// "\\computer\IPC$" and "\\computer" fit a computer name of 63 characters.
constexpr size_t ResourceChars = 64 + 8;

bool FormatIpcName(LPCWSTR computer, LPWSTR name)
{
    return FormatBounded(name, ResourceChars, L"\\\\%s\\IPC$", computer) > 0;
}

bool HasDomainPart(LPCWSTR user)
{
    return wcschr(user, L'\\') != nullptr || wcschr(user, L'@') != nullptr;
}

// Whether a connection's remote name is on that server: "\\computer" itself or
// "\\computer\share" (any case, as server names compare).
bool IsOnServer(LPCWSTR remote, LPCWSTR computer)
{
    if (remote == nullptr || remote[0] != L'\\' || remote[1] != L'\\')
        return false;
    size_t length = wcslen(computer);
    if (CompareStringOrdinal(remote + 2, static_cast<int>(wcsnlen(remote + 2, length)), computer,
                             static_cast<int>(length), TRUE) != CSTR_EQUAL)
        return false;
    WCHAR next = remote[2 + length];
    return next == L'\0' || next == L'\\';
}

struct ConnectionNames
{
    LPWSTR* names = nullptr;
    size_t count = 0;
    size_t capacity = 0;
};

bool AddConnectionName(ConnectionNames* list, LPCWSTR name)
{
    if (list->count == list->capacity) {
        size_t capacity = list->capacity == 0 ? 8 : list->capacity * 2;
        void* grown = list->names == nullptr
                          ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, capacity * sizeof(LPWSTR))
                          : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, list->names,
                                        capacity * sizeof(LPWSTR));
        if (grown == nullptr)
            return false;
        list->names = static_cast<LPWSTR*>(grown);
        list->capacity = capacity;
    }
    size_t chars = wcslen(name) + 1;
    auto* copy =
        static_cast<LPWSTR>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, chars * sizeof(WCHAR)));
    if (copy == nullptr)
        return false;
    wmemcpy(copy, name, chars);
    list->names[list->count++] = copy;
    return true;
}

void FreeConnectionNames(ConnectionNames* list)
{
    for (size_t i = 0; i < list->count; ++i)
        HeapFree(GetProcessHeap(), 0, list->names[i]);
    if (list->names != nullptr)
        HeapFree(GetProcessHeap(), 0, list->names);
    *list = ConnectionNames();
}

// The names to cancel of this session's connections to the server: the local
// device where there is one (a mapped drive is cancelled by its letter), else
// the remote name. The enumeration is closed before anything is cancelled.
DWORD FindServerConnections(LPCWSTR computer, ConnectionNames* found)
{
    HANDLE enumeration = nullptr;
    DWORD status = WNetOpenEnumW(RESOURCE_CONNECTED, RESOURCETYPE_ANY, 0, nullptr, &enumeration);
    if (status != NO_ERROR)
        return status;
    constexpr DWORD BufferBytes = 16 * 1024;
    void* buffer = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, BufferBytes);
    status = buffer == nullptr ? ERROR_NOT_ENOUGH_MEMORY : NO_ERROR;
    while (status == NO_ERROR) {
        DWORD count = 0xFFFFFFFF;
        DWORD size = BufferBytes;
        status = WNetEnumResourceW(enumeration, &count, buffer, &size);
        if (status != NO_ERROR)
            break;
        const auto* resources = static_cast<const NETRESOURCEW*>(buffer);
        for (DWORD i = 0; i < count && status == NO_ERROR; ++i) {
            const NETRESOURCEW& resource = resources[i];
            if (!IsOnServer(resource.lpRemoteName, computer))
                continue;
            bool hasDevice = resource.lpLocalName != nullptr && resource.lpLocalName[0] != L'\0';
            if (!AddConnectionName(found, hasDevice ? resource.lpLocalName : resource.lpRemoteName))
                status = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (status == ERROR_NO_MORE_ITEMS)
        status = NO_ERROR;
    if (buffer != nullptr)
        HeapFree(GetProcessHeap(), 0, buffer);
    WNetCloseEnum(enumeration);
    return status;
}
} // namespace

bool QualifyConnectionUser(LPCWSTR computer, LPCWSTR user, LPWSTR qualified, size_t chars)
{
    int written = HasDomainPart(user) ? FormatBounded(qualified, chars, L"%s", user)
                                      : FormatBounded(qualified, chars, L"%s\\%s", computer, user);
    return written >= 0;
}

DWORD ConnectToComputer(LPCWSTR computer, LPCWSTR user, LPCWSTR password)
{
    WCHAR remote[ResourceChars] = {};
    if (!FormatIpcName(computer, remote))
        return ERROR_BAD_NET_NAME;
    NETRESOURCEW resource = {};
    resource.dwType = RESOURCETYPE_ANY;
    resource.lpRemoteName = remote;
    return WNetAddConnection2W(&resource, password, user, CONNECT_TEMPORARY);
}

DWORD DisconnectFromComputer(LPCWSTR computer)
{
    WCHAR remote[ResourceChars] = {};
    if (!FormatIpcName(computer, remote))
        return ERROR_BAD_NET_NAME;
    // Nothing of ours is open on IPC$ once the calls are done; fForce keeps a
    // call still in flight elsewhere from holding the connection on.
    return WNetCancelConnection2W(remote, 0, TRUE);
}

DWORD CloseServerConnections(LPCWSTR computer, size_t* closed)
{
    *closed = 0;
    ConnectionNames found;
    DWORD status = FindServerConnections(computer, &found);
    for (size_t i = 0; i < found.count && status == NO_ERROR; ++i) {
        status = WNetCancelConnection2W(found.names[i], 0, TRUE);
        if (status == NO_ERROR)
            ++*closed;
    }
    FreeConnectionNames(&found);
    return status;
}
