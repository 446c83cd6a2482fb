// ADVAPI32, KERNEL32 and SHELL32 stand-ins: account lookups, the session's user
// and rights, the computer name, and starting programs as another user or elevated.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "api.h"

using namespace ambsim;

namespace {

template <class F> BOOL GuardBool(F f)
{
    DWORD status = Guard(f);
    if (status != 0) {
        SetLastError(status);
        return FALSE;
    }
    return TRUE;
}

// Copies `text` into a caller's buffer of *count characters (including the
// terminator), following the usual protocol: on success *count is the length
// without the terminator; when the buffer is too small, the length with it.
bool CopyOut(const std::wstring& text, LPWSTR buffer, DWORD* count)
{
    DWORD need = static_cast<DWORD>(text.size() + 1);
    if (buffer == nullptr || *count < need) {
        *count = need;
        return false;
    }
    memcpy(buffer, text.c_str(), need * sizeof(wchar_t));
    *count = need - 1;
    return true;
}

DWORD OpenForLookup(const World& w, LPCWSTR system, const Computer*& c)
{
    DWORD status = TargetComputer(w, system, ServerErrors::Lookup, c);
    if (status != 0)
        return status;
    return CheckAccess(w, *c, system, Interface::Lsa, false);
}

} // namespace

extern "C" BOOL WINAPI AmbSim_LookupAccountNameW(LPCWSTR system, LPCWSTR account, PSID sid,
                                                 LPDWORD cbSid, LPWSTR domain, LPDWORD cchDomain,
                                                 PSID_NAME_USE use)
{
    return GuardBool([&]() -> DWORD {
        if (cbSid == nullptr || cchDomain == nullptr || use == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"LookupAccountNameW", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = OpenForLookup(w, system, c);
            if (status != 0)
                return status;
            Resolved r;
            if (!ResolveName(w, *c, Str(account), r))
                return ERROR_NONE_MAPPED;
            std::vector<BYTE> binary;
            if (!SidToBinary(r.sid, binary))
                return ERROR_NONE_MAPPED;
            DWORD sidSize = static_cast<DWORD>(binary.size());
            DWORD domainNeed = static_cast<DWORD>(r.domain.size() + 1);
            if (sid == nullptr || *cbSid < sidSize || domain == nullptr ||
                *cchDomain < domainNeed) {
                *cbSid = sidSize;
                *cchDomain = domainNeed;
                return ERROR_INSUFFICIENT_BUFFER;
            }
            memcpy(sid, binary.data(), sidSize);
            *cbSid = sidSize;
            CopyOut(r.domain, domain, cchDomain);
            *use = r.use;
            return 0;
        });
    });
}

extern "C" BOOL WINAPI AmbSim_LookupAccountSidW(LPCWSTR system, PSID sid, LPWSTR name,
                                                LPDWORD cchName, LPWSTR domain, LPDWORD cchDomain,
                                                PSID_NAME_USE use)
{
    return GuardBool([&]() -> DWORD {
        if (cchName == nullptr || cchDomain == nullptr || use == nullptr)
            return ERROR_INVALID_PARAMETER;
        std::wstring text = SidToText(sid);
        if (text.empty())
            return ERROR_INVALID_SID;
        return ReadWorldFor(L"LookupAccountSidW", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = OpenForLookup(w, system, c);
            if (status != 0)
                return status;
            Resolved r;
            if (!ResolveSid(w, *c, text, r))
                return ERROR_NONE_MAPPED;
            // A domain's SID maps to the domain's name in both places.
            std::wstring account = r.use == SidTypeDomain ? r.domain : r.name;
            DWORD nameNeed = static_cast<DWORD>(account.size() + 1);
            DWORD domainNeed = static_cast<DWORD>(r.domain.size() + 1);
            if (name == nullptr || *cchName < nameNeed || domain == nullptr ||
                *cchDomain < domainNeed) {
                *cchName = nameNeed;
                *cchDomain = domainNeed;
                return ERROR_INSUFFICIENT_BUFFER;
            }
            CopyOut(account, name, cchName);
            CopyOut(r.domain, domain, cchDomain);
            *use = r.use;
            return 0;
        });
    });
}

extern "C" BOOL WINAPI AmbSim_GetUserNameW(LPWSTR buffer, LPDWORD pcbBuffer)
{
    return GuardBool([&]() -> DWORD {
        if (pcbBuffer == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"GetUserNameW", [&](const World& w) -> DWORD {
            // The account name alone: a domain user's domain is not part of it.
            std::wstring user = CurrentSession(w).user;
            user.erase(0, user.find(L'\\') + 1);
            // GetUserNameW counts the terminator on success too.
            DWORD need = static_cast<DWORD>(user.size() + 1);
            if (buffer == nullptr || *pcbBuffer < need) {
                *pcbBuffer = need;
                return ERROR_INSUFFICIENT_BUFFER;
            }
            memcpy(buffer, user.c_str(), need * sizeof(wchar_t));
            *pcbBuffer = need;
            return 0;
        });
    });
}

extern "C" BOOL WINAPI AmbSim_GetComputerNameW(LPWSTR buffer, LPDWORD nSize)
{
    return GuardBool([&]() -> DWORD {
        if (nSize == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"GetComputerNameW", [&](const World& w) -> DWORD {
            // Too small: ERROR_BUFFER_OVERFLOW with the size including the terminator.
            return CopyOut(w.Local().name, buffer, nSize) ? DWORD(0) : DWORD(ERROR_BUFFER_OVERFLOW);
        });
    });
}

extern "C" BOOL WINAPI AmbSim_IsUserAnAdmin()
{
    BOOL admin = FALSE;
    DWORD status = Guard([&]() -> DWORD {
        return ReadWorldFor(L"IsUserAnAdmin", [&](const World& w) -> DWORD {
            // True only for a full (elevated) administrator token, as under UAC.
            Session s = CurrentSession(w);
            admin = s.admin && s.elevated;
            return 0;
        });
    });
    if (status != 0) {
        SetLastError(status);
        return FALSE;
    }
    return admin;
}

// ---------------------------------------------------------------- processes

namespace {

// The caller's environment (or the current one) with the session variable set.
std::vector<wchar_t> ChildEnvironment(LPVOID env, DWORD flags, const Session& s)
{
    std::vector<std::wstring> vars;
    if (env != nullptr && (flags & CREATE_UNICODE_ENVIRONMENT)) {
        for (const wchar_t* p = static_cast<const wchar_t*>(env); *p; p += wcslen(p) + 1)
            vars.emplace_back(p);
    } else if (env != nullptr) {
        for (const char* p = static_cast<const char*>(env); *p; p += strlen(p) + 1) {
            int n = MultiByteToWideChar(CP_ACP, 0, p, -1, nullptr, 0);
            std::wstring w(static_cast<size_t>(n), L'\0');
            MultiByteToWideChar(CP_ACP, 0, p, -1, &w[0], n);
            w.resize(wcslen(w.c_str()));
            vars.push_back(w);
        }
    } else {
        LPWCH block = GetEnvironmentStringsW();
        for (const wchar_t* p = block; p && *p; p += wcslen(p) + 1)
            vars.emplace_back(p);
        FreeEnvironmentStringsW(block);
    }
    std::wstring prefix = std::wstring(kSessionVariable) + L"=";
    vars.erase(std::remove_if(vars.begin(), vars.end(),
                              [&](const std::wstring& v) {
                                  return v.size() >= prefix.size() &&
                                         SameText(v.substr(0, prefix.size()), prefix);
                              }),
               vars.end());
    vars.push_back(prefix + s.user + L";" + (s.admin ? L"1" : L"0") + L";" +
                   (s.elevated ? L"1" : L"0"));
    std::vector<wchar_t> block;
    for (const std::wstring& v : vars) {
        block.insert(block.end(), v.begin(), v.end());
        block.push_back(0);
    }
    block.push_back(0);
    return block;
}

DWORD StartChild(LPCWSTR app, LPCWSTR cmdline, DWORD flags, LPVOID env, LPCWSTR dir,
                 LPSTARTUPINFOW si, LPPROCESS_INFORMATION pi, const Session& s)
{
    std::vector<wchar_t> block = ChildEnvironment(env, flags, s);
    std::vector<wchar_t> line;
    if (cmdline != nullptr) {
        line.assign(cmdline, cmdline + wcslen(cmdline));
        line.push_back(0);
    }
    STARTUPINFOW fallback = {};
    fallback.cb = sizeof fallback;
    if (!CreateProcessW(app, line.empty() ? nullptr : line.data(), nullptr, nullptr, FALSE,
                        flags | CREATE_UNICODE_ENVIRONMENT, block.data(), dir, si ? si : &fallback,
                        pi))
        return GetLastError();
    return 0;
}

void RecordLaunch(const std::wstring& program, const std::wstring& commandLine, const Session& s,
                  const wchar_t* via)
{
    WriteWorld([&](World& w) -> DWORD {
        w.launches.push_back(Launch{program, commandLine, s.user, via, s.elevated, w.Now()});
        return 0;
    });
}

bool ProgramExists(LPCWSTR app)
{
    if (app == nullptr)
        return false;
    DWORD attributes = GetFileAttributesW(app);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ProfileFolderName(const Computer& c, const std::wstring& folderRoot,
                               const std::wstring& user);
DWORD MakeProfile(Computer& c, const std::wstring& sid, const std::wstring& user,
                  std::wstring& path);

// The checks of an interactive logon, in Windows' order. On success returns the
// session the new process gets.
DWORD LogOn(World& w, const std::wstring& userName, LPCWSTR domain, const std::wstring& password,
            bool withProfile, Session& session)
{
    Computer& c = w.Local();
    std::wstring dom = Str(domain);
    if (!dom.empty() && dom != L"." && !SameText(dom, c.name))
        return ERROR_LOGON_FAILURE; // a workgroup computer trusts no other domain
    User* u = c.FindUser(userName);
    if (u == nullptr)
        return ERROR_LOGON_FAILURE;
    int64_t now = w.Now();
    PasswordCheck check;
    DWORD status = CheckPassword(c, *u, password, now, check);
    ApplyPasswordCheck(c, *u, check, now);
    if (status != 0)
        return status;
    status = AccountRestrictions(c, *u, password, now, c.limitBlankPasswordUse);
    if (status != 0)
        return status;
    u->badPwCount = 0;
    u->lastLogon = now;
    ++u->numLogons;
    std::wstring sid = c.UserSid(*u);
    if (withProfile) {
        bool has = std::any_of(c.profiles.begin(), c.profiles.end(),
                               [&](const Profile& p) { return SameText(p.sid, sid); });
        std::wstring path;
        if (!has)
            MakeProfile(c, sid, u->name, path); // the first logon creates the profile
    }
    session.user = u->name;
    session.admin = InBuiltinGroup(c, *u, kRidAdministrators);
    // Only the built-in Administrator logs on with a full token; other
    // administrators get the filtered one and must elevate.
    session.elevated = session.admin && u->rid == kRidAdministrator;
    return 0;
}

} // namespace

extern "C" BOOL WINAPI AmbSim_CreateProcessWithLogonW(LPCWSTR user, LPCWSTR domain,
                                                      LPCWSTR password, DWORD logonFlags,
                                                      LPCWSTR app, LPWSTR cmdline, DWORD flags,
                                                      LPVOID env, LPCWSTR dir, LPSTARTUPINFOW si,
                                                      LPPROCESS_INFORMATION pi)
{
    return GuardBool([&]() -> DWORD {
        if (user == nullptr || pi == nullptr || si == nullptr ||
            (app == nullptr && cmdline == nullptr))
            return ERROR_INVALID_PARAMETER;
        Session session;
        DWORD status = WriteWorldFor(
            L"CreateProcessWithLogonW",
            [&](World& w) {
                return LogOn(w, user, domain, Str(password), (logonFlags & LOGON_WITH_PROFILE) != 0,
                             session);
            },
            Refusal::Kept);
        if (status != 0)
            return status;
        if (app != nullptr && !ProgramExists(app))
            return ERROR_FILE_NOT_FOUND;
        status = StartChild(app, cmdline, flags, env, dir, si, pi, session);
        if (status != 0)
            return status;
        RecordLaunch(Str(app), Str(cmdline), session, L"CreateProcessWithLogonW");
        return 0;
    });
}

extern "C" HINSTANCE WINAPI AmbSim_ShellExecuteW(HWND hwnd, LPCWSTR verb, LPCWSTR file,
                                                 LPCWSTR params, LPCWSTR dir, INT show)
{
    auto result = [](INT_PTR code) { return reinterpret_cast<HINSTANCE>(code); };
    std::wstring v = Str(verb);
    bool runAs = SameText(v, L"runas");
    bool open = v.empty() || SameText(v, L"open");
    if (!runAs && !open)
        return ShellExecuteW(hwnd, verb, file, params, dir, show);
    INT_PTR code = 42;
    DWORD status = Guard([&]() -> DWORD {
        if (DWORD f = TakeFault(L"ShellExecuteW")) {
            code = f <= 32 ? f : SE_ERR_ACCESSDENIED;
            return f;
        }
        if (file == nullptr) {
            code = SE_ERR_FNF;
            return ERROR_FILE_NOT_FOUND;
        }
        if (open) {
            // No browser or mail program here: the target is recorded, and the world
            // says whether an association answered.
            bool ok = true;
            DWORD s = WriteWorld([&](World& w) -> DWORD {
                std::wstring target = file;
                if (params != nullptr && params[0] != 0)
                    target += L" " + std::wstring(params);
                w.opened.push_back(target);
                ok = w.openSucceeds;
                return 0;
            });
            if (s != 0) {
                code = SE_ERR_ACCESSDENIED;
                return s;
            }
            if (!ok) {
                code = SE_ERR_NOASSOC;
                return ERROR_NO_ASSOCIATION;
            }
            return 0;
        }
        // RunAs: the consent prompt. An elevated administrator is not asked; a
        // refusal (or a user who is no administrator, whom this world cannot ask
        // for other credentials) fails as cancelled.
        Session session;
        bool allow = false;
        DWORD s = ReadWorld([&](const World& w) -> DWORD {
            session = CurrentSession(w);
            allow = session.admin && (session.elevated || w.consentAllow);
            return 0;
        });
        if (s != 0) {
            code = SE_ERR_ACCESSDENIED;
            return s;
        }
        if (!allow) {
            code = SE_ERR_ACCESSDENIED;
            return ERROR_CANCELLED;
        }
        if (!ProgramExists(file)) {
            code = SE_ERR_FNF;
            return ERROR_FILE_NOT_FOUND;
        }
        session.elevated = true;
        std::wstring line = L"\"" + std::wstring(file) + L"\"";
        if (params != nullptr && params[0] != 0)
            line += L" " + std::wstring(params);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(show);
        PROCESS_INFORMATION pi = {};
        s = StartChild(file, line.c_str(), 0, nullptr, dir, &si, &pi, session);
        if (s != 0) {
            code = SE_ERR_ACCESSDENIED;
            return s;
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        RecordLaunch(file, line, session, L"ShellExecuteW RunAs");
        return 0;
    });
    if (status != 0) {
        SetLastError(status);
        if (code > 32)
            code = SE_ERR_ACCESSDENIED;
        return result(code);
    }
    return result(42);
}

// ---------------------------------------------------------------- profiles

namespace {

std::wstring ProfilesRoot()
{
    return WorldFolder() + L"\\Profiles";
}

bool FolderExists(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Windows names a profile folder after the user, and after user.COMPUTER (then
// .000, .001, ...) when that folder is taken.
std::wstring ProfileFolderName(const Computer& c, const std::wstring& root,
                               const std::wstring& user)
{
    std::wstring path = root + L"\\" + user;
    if (!FolderExists(path))
        return path;
    path = root + L"\\" + user + L"." + c.name;
    for (int n = 0; FolderExists(path) && n < 1000; ++n) {
        wchar_t suffix[8];
        wsprintfW(suffix, L".%03d", n);
        path = root + L"\\" + user + L"." + c.name + suffix;
    }
    return path;
}

DWORD MakeProfile(Computer& c, const std::wstring& sid, const std::wstring& user,
                  std::wstring& path)
{
    std::wstring root = ProfilesRoot();
    CreateDirectoryW(root.c_str(), nullptr);
    path = ProfileFolderName(c, root, user);
    if (!CreateDirectoryW(path.c_str(), nullptr))
        return GetLastError();
    HANDLE hive = CreateFileW((path + L"\\NTUSER.DAT").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (hive != INVALID_HANDLE_VALUE)
        CloseHandle(hive);
    c.profiles.push_back(Profile{sid, user, path});
    return 0;
}

bool RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return RemoveDirectoryW(path.c_str()) != 0;
}

} // namespace

extern "C" HRESULT WINAPI AmbSim_CreateProfile(LPCWSTR sidString, LPCWSTR userName,
                                               LPWSTR profilePath, DWORD cchProfilePath)
{
    DWORD status = Guard([&]() -> DWORD {
        if (sidString == nullptr || userName == nullptr || userName[0] == 0)
            return ERROR_INVALID_PARAMETER;
        std::vector<BYTE> binary;
        if (!SidToBinary(sidString, binary))
            return ERROR_INVALID_SID;
        std::wstring sid = SidToText(binary.data());
        return WriteWorldFor(L"CreateProfile", [&](World& w) -> DWORD {
            Computer& c = w.Local();
            DWORD s = CheckAccess(w, c, nullptr, Interface::Sam, true);
            if (s != 0)
                return s;
            Resolved r;
            if (!ResolveSid(w, c, sid, r) || r.use != SidTypeUser)
                return ERROR_NONE_MAPPED;
            for (const Profile& p : c.profiles)
                if (SameText(p.sid, sid))
                    return ERROR_ALREADY_EXISTS;
            std::wstring planned = ProfileFolderName(c, ProfilesRoot(), userName);
            if (profilePath != nullptr && cchProfilePath < planned.size() + 1)
                return ERROR_INSUFFICIENT_BUFFER;
            std::wstring path;
            s = MakeProfile(c, sid, userName, path);
            if (s != 0)
                return s;
            if (profilePath != nullptr)
                memcpy(profilePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
            return 0;
        });
    });
    if (status == 0)
        return S_OK;
    return (status & 0x80000000u) ? static_cast<HRESULT>(status) : HRESULT_FROM_WIN32(status);
}

extern "C" BOOL WINAPI AmbSim_DeleteProfileW(LPCWSTR sidString, LPCWSTR profilePath,
                                             LPCWSTR computerName)
{
    (void)profilePath;
    return GuardBool([&]() -> DWORD {
        if (sidString == nullptr)
            return ERROR_INVALID_PARAMETER;
        std::vector<BYTE> binary;
        if (!SidToBinary(sidString, binary))
            return ERROR_INVALID_SID;
        std::wstring sid = SidToText(binary.data());
        return WriteWorldFor(L"DeleteProfileW", [&](World& w) -> DWORD {
            Computer* c = nullptr;
            DWORD s = TargetComputer(w, computerName, ServerErrors::NetApi, c);
            if (s != 0)
                return s;
            s = CheckAccess(w, *c, computerName, Interface::Sam, true);
            if (s != 0)
                return s;
            for (size_t i = 0; i < c->profiles.size(); ++i) {
                if (!SameText(c->profiles[i].sid, sid))
                    continue;
                if (FolderExists(c->profiles[i].path) && !RemoveTree(c->profiles[i].path))
                    return GetLastError() ? GetLastError() : DWORD(ERROR_ACCESS_DENIED);
                c->profiles.erase(c->profiles.begin() + static_cast<ptrdiff_t>(i));
                return 0;
            }
            return ERROR_FILE_NOT_FOUND;
        });
    });
}
