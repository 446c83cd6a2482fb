// ADVAPI32's token stand-ins: the session's access token as a program asks it
// whether it is an administrator. OpenProcessToken is the real one; the elevation
// and the groups of the token come from the simulated session, everything else
// from the real token.
#include <windows.h>

#include <map>
#include <mutex>

#include "api.h"

using namespace ambsim;

namespace {

constexpr wchar_t kAdministratorsSid[] = L"S-1-5-32-544";

// The tokens of one logon under UAC: an administrator gets a filtered token and a
// full one linked to each other (TOKEN_ELEVATION_TYPE reference page); anyone
// else gets one token without a link (TokenElevationTypeDefault).
struct SessionToken
{
    std::vector<std::wstring> sids; // the user, its domain groups, extra SIDs, aliases
    bool admin = false;             // Administrators among them
    bool elevated = false;          // the process token is the full one
};

// Handles given out as TokenLinkedToken, with whether each is the full token.
// They are real token handles (the caller closes them with CloseHandle), so a
// value can come back from OpenProcessToken later: that call forgets it.
std::mutex g_linkedLock;
std::map<HANDLE, bool> g_linked;

bool LinkedTokenIsFull(HANDLE token, bool& full)
{
    std::lock_guard<std::mutex> lock(g_linkedLock);
    auto it = g_linked.find(token);
    if (it == g_linked.end())
        return false;
    full = it->second;
    return true;
}

void ForgetLinkedToken(HANDLE token)
{
    std::lock_guard<std::mutex> lock(g_linkedLock);
    g_linked.erase(token);
}

bool Holds(const std::vector<std::wstring>& sids, const std::wstring& sid)
{
    for (const std::wstring& s : sids)
        if (SameText(s, sid))
            return true;
    return false;
}

// The account of the session user: a local account, or DOMAIN\name of the domain
// the computer has joined.
const User* SessionAccount(const World& w, const Session& s, const Computer*& database)
{
    size_t slash = s.user.find(L'\\');
    database = &w.Local();
    if (slash != std::wstring::npos) {
        std::wstring domain = s.user.substr(0, slash);
        const Computer* joined = w.JoinedDomain(w.Local());
        if (joined != nullptr && SameText(domain, joined->name))
            database = joined;
        else if (!SameText(domain, w.Local().name))
            return nullptr;
    }
    return database->FindUser(s.user.substr(slash == std::wstring::npos ? 0 : slash + 1));
}

// The groups LSA puts into the token at logon: the user, its domain's global
// groups, the extra SIDs of the session (Entra ID roles S-1-12-1-...), then every
// local alias that holds any of these. Aliases do not nest, so one pass is all.
SessionToken MakeSessionToken(const World& w)
{
    Session s = CurrentSession(w);
    SessionToken token;
    const Computer* database = nullptr;
    if (const User* u = SessionAccount(w, s, database)) {
        std::wstring user = database->UserSid(*u);
        token.sids.push_back(user);
        if (database != &w.Local())
            for (const Group& g : database->groups)
                if (database->IsMember(g, user))
                    token.sids.push_back(database->GroupSid(g));
    }
    token.sids.insert(token.sids.end(), s.tokenSids.begin(), s.tokenSids.end());
    // Everyone, INTERACTIVE, Authenticated Users.
    for (const wchar_t* sid : {L"S-1-1-0", L"S-1-5-4", L"S-1-5-11"})
        token.sids.push_back(sid);
    const Computer& local = w.Local();
    std::vector<std::wstring> aliases;
    for (const Group& g : local.groups)
        for (const std::wstring& member : token.sids)
            if (local.IsMember(g, member)) {
                aliases.push_back(local.GroupSid(g));
                break;
            }
    token.sids.insert(token.sids.end(), aliases.begin(), aliases.end());
    // `session --admin 0` stands for a token made before the user became one.
    token.admin = s.admin && Holds(token.sids, kAdministratorsSid);
    token.elevated = token.admin && s.elevated;
    return token;
}

// Whether `sid` is enabled in the full or the filtered token. The filtered token
// keeps Administrators and Domain Admins only as deny-only groups, which
// CheckTokenMembership does not count (its reference page: "present and has the
// SE_GROUP_ENABLED attribute").
bool EnabledIn(const SessionToken& token, bool full, const std::wstring& sid)
{
    if (!Holds(token.sids, sid))
        return false;
    if (full || !token.admin)
        return true;
    std::wstring domain;
    DWORD rid = 0;
    bool domainAdmins = SplitSid(sid, domain, rid) && rid == kRidDomainAdmins &&
                        domain.compare(0, 9, L"S-1-5-21-") == 0;
    return !SameText(sid, kAdministratorsSid) && !domainAdmins;
}

template <class F> BOOL AnswerFromSession(const wchar_t* function, F answer)
{
    DWORD status = Guard([&]() -> DWORD {
        return ReadWorldFor(function,
                            [&](const World& w) -> DWORD { return answer(MakeSessionToken(w)); });
    });
    if (status != 0) {
        SetLastError(status);
        return FALSE;
    }
    return TRUE;
}

template <class T> DWORD CopyTokenInfo(const T& value, LPVOID info, DWORD length, PDWORD returned)
{
    *returned = sizeof(T);
    if (info == nullptr || length < sizeof(T))
        return ERROR_INSUFFICIENT_BUFFER;
    memcpy(info, &value, sizeof(T));
    return 0;
}

// A second real handle to this process's token, to stand for the linked token.
DWORD OpenLinkedToken(bool full, HANDLE& out)
{
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &out))
        return GetLastError();
    std::lock_guard<std::mutex> lock(g_linkedLock);
    g_linked[out] = full;
    return 0;
}

} // namespace

extern "C" BOOL WINAPI AmbSim_OpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    if (!OpenProcessToken(process, access, token))
        return FALSE;
    ForgetLinkedToken(*token);
    return TRUE;
}

extern "C" BOOL WINAPI AmbSim_GetTokenInformation(HANDLE handle, TOKEN_INFORMATION_CLASS cls,
                                                  LPVOID info, DWORD length, PDWORD returned)
{
    if (cls != TokenElevationType && cls != TokenLinkedToken && cls != TokenElevation)
        return GetTokenInformation(handle, cls, info, length, returned);
    // The handle must be a token: the real call says so for any other.
    TOKEN_TYPE type;
    DWORD typeSize = 0;
    if (!GetTokenInformation(handle, TokenType, &type, sizeof(type), &typeSize))
        return FALSE;
    if (returned == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    bool linkedFull = false;
    bool isLinked = LinkedTokenIsFull(handle, linkedFull);
    return AnswerFromSession(L"GetTokenInformation", [&](const SessionToken& t) -> DWORD {
        bool full = isLinked ? linkedFull : t.elevated;
        if (cls == TokenElevation) {
            TOKEN_ELEVATION e = {full && t.admin ? 1u : 0u};
            return CopyTokenInfo(e, info, length, returned);
        }
        TOKEN_ELEVATION_TYPE kind = !t.admin ? TokenElevationTypeDefault
                                    : full   ? TokenElevationTypeFull
                                             : TokenElevationTypeLimited;
        if (cls == TokenElevationType)
            return CopyTokenInfo(kind, info, length, returned);
        // Not documented: Windows fails the query for a token without a link
        // (TokenElevationTypeDefault) with ERROR_NO_SUCH_LOGON_SESSION.
        if (kind == TokenElevationTypeDefault)
            return ERROR_NO_SUCH_LOGON_SESSION;
        TOKEN_LINKED_TOKEN linked = {};
        DWORD status = CopyTokenInfo(linked, info, length, returned);
        if (status != 0)
            return status;
        status = OpenLinkedToken(!full, linked.LinkedToken);
        if (status == 0)
            memcpy(info, &linked, sizeof(linked));
        return status;
    });
}

// CheckTokenMembership reference page: a NULL handle is the thread's token (the
// process token duplicated when the thread does not impersonate); a handle must
// be an impersonation token, which the linked token is and a process token is not
// (ERROR_NO_IMPERSONATION_TOKEN).
extern "C" BOOL WINAPI AmbSim_CheckTokenMembership(HANDLE handle, PSID sid, PBOOL member)
{
    if (sid == nullptr || member == nullptr || !IsValidSid(sid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool linkedFull = false;
    bool isLinked = handle != nullptr && LinkedTokenIsFull(handle, linkedFull);
    if (handle != nullptr && !isLinked) {
        SetLastError(ERROR_NO_IMPERSONATION_TOKEN);
        return FALSE;
    }
    std::wstring text = SidToText(sid);
    return AnswerFromSession(L"CheckTokenMembership", [&](const SessionToken& t) -> DWORD {
        *member = EnabledIn(t, isLinked ? linkedFull : t.elevated, text) ? TRUE : FALSE;
        return 0;
    });
}
