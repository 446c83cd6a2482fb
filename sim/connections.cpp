// MPR's connection functions and ADVAPI32's Credential Manager, as far as a
// program reaches other computers with them: deviceless connections to
// \\NAME\IPC$ (WNetAddConnection2W, WNetCancelConnection2W, the enumeration of
// RESOURCE_CONNECTED) and credentials of type CRED_TYPE_DOMAIN_PASSWORD.
// Both belong to the session user and live in the world, so that they outlast
// the process that made them, as a connection outlasts it on Windows until it is
// cancelled or the user logs off.
#include <windows.h>
#include <wincred.h>
#include <winnetwk.h>

#include <algorithm>

#include "api.h"

using namespace ambsim;

namespace {

const wchar_t kProvider[] = L"Microsoft Windows Network";

// "\\SERVER\IPC$": the server name, or false for any other form.
DWORD ParseRemote(const std::wstring& remote, std::wstring& server)
{
    if (remote.size() < 3 || remote[0] != L'\\' || remote[1] != L'\\' || remote[2] == L'\\')
        return ERROR_BAD_NET_NAME;
    size_t slash = remote.find(L'\\', 2);
    if (slash == std::wstring::npos || slash == 2)
        return ERROR_BAD_NET_NAME;
    server = remote.substr(2, slash - 2);
    // Only the interprocess share is simulated: disk shares are not a program's concern here.
    if (!SameText(remote.substr(slash + 1), L"IPC$") || server.size() > 255)
        return ERROR_BAD_NET_NAME;
    return 0;
}

Connection* FindConnection(World& w, const std::wstring& owner, const std::wstring& remote)
{
    for (Connection& c : w.connections)
        if (SameText(c.owner, owner) && SameText(c.remote, remote))
            return &c;
    return nullptr;
}

DWORD AddConnection(World& w, const std::wstring& remote, LPCWSTR password, LPCWSTR user)
{
    std::wstring server;
    DWORD status = ParseRemote(remote, server);
    if (status != 0)
        return status;
    Computer* target = nullptr;
    status = TargetComputer(w, (L"\\\\" + server).c_str(), ServerErrors::NetApi, target);
    if (status != 0)
        return status;
    if (target->firewallClosed) {
        NoteWait(target->connectTimeoutMs);
        return ERROR_BAD_NETPATH;
    }
    NoteRoundTrip(*target);
    Session s = CurrentSession(w);
    // No user name: the default identity (a stored credential, else the session's).
    // No password with a user name: Windows takes "the default password" of that
    // user; the stand-in has none to offer and sends an empty one (stricter).
    Identity id = CallerIdentity(w, s, server.c_str());
    if (id.source == IdentitySource::Connection)
        id = Identity{s.user, s.password, IdentitySource::PassThrough};
    if (user != nullptr && user[0] != 0)
        id = Identity{user, Str(password), IdentitySource::Connection};
    // One server name, one user name (WNetAddConnection2 reference page:
    // ERROR_SESSION_CREDENTIAL_CONFLICT). An address is another server name.
    for (const Connection& c : w.connections)
        if (SameText(c.owner, s.user) && SameText(c.server, server) && !SameText(c.user, id.user))
            return ERROR_SESSION_CREDENTIAL_CONFLICT;
    Token token;
    status = NetworkLogon(w, *target, id, token);
    if (status != 0)
        return status;
    if (FindConnection(w, s.user, remote) == nullptr)
        w.connections.push_back(Connection{s.user, remote, server, id.user, id.password});
    return 0;
}

// WNet functions return their error and set it as the last error too.
DWORD Done(DWORD status)
{
    SetLastError(status);
    return status;
}

constexpr DWORD kEnumMagic = 0x4D554E45; // "ENUM"

// An open enumeration: the connections as they were when it was opened.
struct EnumHandle
{
    DWORD magic;
    size_t next;
    std::vector<std::wstring> remotes;
};

} // namespace

extern "C" DWORD WINAPI AmbSim_WNetAddConnection2W(LPNETRESOURCEW resource, LPCWSTR password,
                                                   LPCWSTR user, DWORD flags)
{
    (void)flags; // CONNECT_TEMPORARY and the profile flags change nothing for IPC$
    return Done(Guard([&]() -> DWORD {
        if (resource == nullptr || resource->lpRemoteName == nullptr)
            return ERROR_INVALID_PARAMETER;
        // Only deviceless connections: redirecting a local device is not simulated.
        if (resource->lpLocalName != nullptr && resource->lpLocalName[0] != 0)
            return ERROR_BAD_DEVICE;
        if (resource->dwType != RESOURCETYPE_ANY && resource->dwType != RESOURCETYPE_DISK)
            return ERROR_BAD_NET_NAME;
        std::wstring remote = resource->lpRemoteName;
        return WriteWorldAloneFor(L"WNetAddConnection2W", [&](World& w) {
            return AddConnection(w, remote, password, user);
        });
    }));
}

extern "C" DWORD WINAPI AmbSim_WNetCancelConnection2W(LPCWSTR name, DWORD flags, BOOL force)
{
    (void)flags;
    (void)force; // no open files on IPC$ to force past
    return Done(Guard([&]() -> DWORD {
        if (name == nullptr)
            return ERROR_INVALID_PARAMETER;
        return WriteWorldAloneFor(L"WNetCancelConnection2W", [&](World& w) -> DWORD {
            std::wstring owner = CurrentSession(w).user;
            Connection* c = FindConnection(w, owner, name);
            if (c == nullptr)
                return ERROR_NOT_CONNECTED;
            w.connections.erase(w.connections.begin() + (c - w.connections.data()));
            return 0;
        });
    }));
}

extern "C" DWORD WINAPI AmbSim_WNetOpenEnumW(DWORD scope, DWORD type, DWORD usage,
                                             LPNETRESOURCEW resource, LPHANDLE handle)
{
    (void)usage; // ignored unless RESOURCE_GLOBALNET (reference page)
    return Done(Guard([&]() -> DWORD {
        if (handle == nullptr)
            return ERROR_INVALID_PARAMETER;
        *handle = nullptr;
        // Browsing the network (RESOURCE_GLOBALNET, RESOURCE_CONTEXT) is not simulated.
        if (scope != RESOURCE_CONNECTED && scope != RESOURCE_REMEMBERED)
            return ERROR_NOT_SUPPORTED;
        if (resource != nullptr ||
            (type != RESOURCETYPE_ANY && type != RESOURCETYPE_DISK && type != RESOURCETYPE_PRINT))
            return ERROR_INVALID_PARAMETER;
        std::vector<std::wstring> remotes;
        DWORD status = ReadWorldFor(L"WNetOpenEnumW", [&](const World& w) -> DWORD {
            std::wstring owner = CurrentSession(w).user;
            // Remembered connections are those with a device: there are none.
            if (scope == RESOURCE_CONNECTED && type == RESOURCETYPE_ANY)
                for (const Connection& c : w.connections)
                    if (SameText(c.owner, owner))
                        remotes.push_back(c.remote);
            return 0;
        });
        if (status != 0)
            return status;
        auto* e = new EnumHandle{kEnumMagic, 0, remotes};
        *handle = e;
        return 0;
    }));
}

extern "C" DWORD WINAPI AmbSim_WNetEnumResourceW(HANDLE handle, LPDWORD count, LPVOID buffer,
                                                 LPDWORD bufferSize)
{
    auto* e = static_cast<EnumHandle*>(handle);
    if (e == nullptr || e->magic != kEnumMagic)
        return Done(ERROR_INVALID_HANDLE);
    if (count == nullptr || bufferSize == nullptr || (buffer == nullptr && *bufferSize != 0))
        return Done(ERROR_INVALID_PARAMETER);
    if (e->next >= e->remotes.size()) {
        *count = 0;
        return Done(ERROR_NO_MORE_ITEMS);
    }
    auto stringBytes = [&](size_t i) {
        return (e->remotes[i].size() + 1 + wcslen(kProvider) + 1) * sizeof(wchar_t);
    };
    size_t wanted = *count == 0xFFFFFFFF ? e->remotes.size() : *count;
    size_t fit = 0, bytes = 0;
    for (size_t i = e->next; i < e->remotes.size() && fit < wanted; ++i) {
        size_t need = sizeof(NETRESOURCEW) + stringBytes(i);
        if (bytes + need > *bufferSize)
            break;
        bytes += need;
        ++fit;
    }
    if (fit == 0) {
        *bufferSize = static_cast<DWORD>(sizeof(NETRESOURCEW) + stringBytes(e->next));
        return Done(ERROR_MORE_DATA);
    }
    auto* entries = static_cast<NETRESOURCEW*>(buffer);
    auto* text = reinterpret_cast<wchar_t*>(entries + fit);
    for (size_t k = 0; k < fit; ++k) {
        const std::wstring& remote = e->remotes[e->next + k];
        NETRESOURCEW& r = entries[k];
        r = NETRESOURCEW();
        r.dwScope = RESOURCE_CONNECTED;
        r.dwType = RESOURCETYPE_ANY;
        r.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        r.lpRemoteName = text;
        memcpy(text, remote.c_str(), (remote.size() + 1) * sizeof(wchar_t));
        text += remote.size() + 1;
        r.lpProvider = text;
        memcpy(text, kProvider, sizeof kProvider);
        text += wcslen(kProvider) + 1;
    }
    e->next += fit;
    *count = static_cast<DWORD>(fit);
    return Done(0);
}

extern "C" DWORD WINAPI AmbSim_WNetCloseEnum(HANDLE handle)
{
    auto* e = static_cast<EnumHandle*>(handle);
    if (e == nullptr || e->magic != kEnumMagic)
        return Done(ERROR_INVALID_HANDLE);
    e->magic = 0;
    delete e;
    return Done(0);
}

// No simulated provider reports ERROR_EXTENDED_ERROR: there is never an extended error.
extern "C" DWORD WINAPI AmbSim_WNetGetLastErrorW(LPDWORD error, LPWSTR errorBuf, DWORD errorSize,
                                                 LPWSTR nameBuf, DWORD nameSize)
{
    if (error == nullptr)
        return ERROR_INVALID_ADDRESS;
    *error = 0;
    if (errorBuf != nullptr && errorSize != 0)
        errorBuf[0] = 0;
    if (nameBuf != nullptr && nameSize != 0)
        nameBuf[0] = 0;
    return 0;
}

// ---------------------------------------------------------------- credentials

namespace {

template <class F> BOOL CredCall(F f)
{
    DWORD status = Guard(f);
    SetLastError(status);
    return status == 0;
}

// Only the credential type that Windows itself uses to reach a computer.
bool SupportedType(DWORD type)
{
    return type == CRED_TYPE_DOMAIN_PASSWORD;
}

} // namespace

extern "C" BOOL WINAPI AmbSim_CredWriteW(PCREDENTIALW credential, DWORD flags)
{
    return CredCall([&]() -> DWORD {
        if (credential == nullptr || credential->TargetName == nullptr ||
            (flags & ~CRED_PRESERVE_CREDENTIAL_BLOB) != 0)
            return ERROR_INVALID_PARAMETER;
        if (!SupportedType(credential->Type))
            return ERROR_NOT_SUPPORTED;
        size_t targetLength = wcslen(credential->TargetName);
        if (targetLength == 0 || targetLength > CRED_MAX_DOMAIN_TARGET_NAME_LENGTH)
            return ERROR_INVALID_PARAMETER;
        // A domain credential names its user (CREDENTIALW reference page).
        if (credential->UserName == nullptr || credential->UserName[0] == 0 ||
            wcslen(credential->UserName) > CRED_MAX_USERNAME_LENGTH)
            return ERROR_BAD_USERNAME;
        if (credential->CredentialBlobSize > CRED_MAX_CREDENTIAL_BLOB_SIZE ||
            credential->CredentialBlobSize % 2 != 0 ||
            (credential->CredentialBlobSize != 0 && credential->CredentialBlob == nullptr))
            return ERROR_INVALID_PARAMETER;
        if (credential->Persist != CRED_PERSIST_SESSION &&
            credential->Persist != CRED_PERSIST_LOCAL_MACHINE &&
            credential->Persist != CRED_PERSIST_ENTERPRISE)
            return ERROR_INVALID_PARAMETER;
        std::wstring password(reinterpret_cast<const wchar_t*>(credential->CredentialBlob),
                              credential->CredentialBlobSize / sizeof(wchar_t));
        DWORD status = WriteWorldAloneFor(L"CredWriteW", [&](World& w) -> DWORD {
            std::wstring owner = CurrentSession(w).user;
            for (Credential& c : w.credentials) {
                if (SameText(c.owner, owner) && SameText(c.target, credential->TargetName)) {
                    c.user = credential->UserName;
                    if (!(flags & CRED_PRESERVE_CREDENTIAL_BLOB))
                        c.password = password;
                    return 0;
                }
            }
            if (flags & CRED_PRESERVE_CREDENTIAL_BLOB)
                return ERROR_NOT_FOUND;
            w.credentials.push_back(
                Credential{owner, credential->TargetName, credential->UserName, password});
            return 0;
        });
        SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));
        return status;
    });
}

extern "C" BOOL WINAPI AmbSim_CredReadW(LPCWSTR target, DWORD type, DWORD flags,
                                        PCREDENTIALW* credential)
{
    return CredCall([&]() -> DWORD {
        if (target == nullptr || credential == nullptr || flags != 0)
            return ERROR_INVALID_PARAMETER;
        *credential = nullptr;
        if (!SupportedType(type))
            return ERROR_NOT_FOUND;
        std::wstring targetName, user;
        DWORD status = ReadWorldFor(L"CredReadW", [&](const World& w) -> DWORD {
            std::wstring owner = CurrentSession(w).user;
            for (const Credential& c : w.credentials)
                if (SameText(c.owner, owner) && SameText(c.target, target)) {
                    targetName = c.target;
                    user = c.user;
                    return 0;
                }
            return ERROR_NOT_FOUND;
        });
        if (status != 0)
            return status;
        size_t bytes =
            sizeof(CREDENTIALW) + (targetName.size() + user.size() + 2) * sizeof(wchar_t);
        BYTE* block = AllocReturnBuffer(bytes);
        if (block == nullptr)
            return ERROR_NOT_ENOUGH_MEMORY;
        auto* c = reinterpret_cast<CREDENTIALW*>(block);
        auto* text = reinterpret_cast<wchar_t*>(block + sizeof(CREDENTIALW));
        c->Type = CRED_TYPE_DOMAIN_PASSWORD;
        c->Persist = CRED_PERSIST_LOCAL_MACHINE;
        c->TargetName = text;
        memcpy(text, targetName.c_str(), (targetName.size() + 1) * sizeof(wchar_t));
        c->UserName = text + targetName.size() + 1;
        memcpy(c->UserName, user.c_str(), (user.size() + 1) * sizeof(wchar_t));
        // A domain password is for the system alone: applications read the
        // credential without its blob (CREDENTIALW reference page).
        c->CredentialBlobSize = 0;
        c->CredentialBlob = nullptr;
        *credential = c;
        return 0;
    });
}

extern "C" BOOL WINAPI AmbSim_CredDeleteW(LPCWSTR target, DWORD type, DWORD flags)
{
    return CredCall([&]() -> DWORD {
        if (target == nullptr || flags != 0)
            return ERROR_INVALID_PARAMETER;
        if (!SupportedType(type))
            return ERROR_NOT_FOUND;
        return WriteWorldAloneFor(L"CredDeleteW", [&](World& w) -> DWORD {
            std::wstring owner = CurrentSession(w).user;
            auto it =
                std::find_if(w.credentials.begin(), w.credentials.end(), [&](const Credential& c) {
                    return SameText(c.owner, owner) && SameText(c.target, target);
                });
            if (it == w.credentials.end())
                return ERROR_NOT_FOUND;
            w.credentials.erase(it);
            return 0;
        });
    });
}

extern "C" VOID WINAPI AmbSim_CredFree(PVOID buffer)
{
    if (buffer != nullptr)
        HeapFree(GetProcessHeap(), 0, buffer);
}
