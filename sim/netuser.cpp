// NETAPI32's user functions: add, delete, enumerate, read and change users,
// their local-group memberships and the display information.
#include <algorithm>

#include "api.h"

using namespace ambsim;

namespace {

struct UserList
{
    const World* world;
    const Computer* computer;
    std::vector<const User*> users;
    int64_t now;
};

DWORD PrivOf(const Computer& c, const User& u)
{
    if (InBuiltinGroup(c, u, kRidAdministrators))
        return USER_PRIV_ADMIN;
    if (InBuiltinGroup(c, u, kRidGuests))
        return USER_PRIV_GUEST;
    return USER_PRIV_USER;
}

const std::wstring kLogonServer = L"\\\\*";

// One filler per level: the record of user `i` of the list.
template <DWORD Level> void FillUser(Packer& p, const void* context, size_t i, BYTE* entry);

#define USER_CONTEXT                                                                               \
    const UserList& list = *static_cast<const UserList*>(context);                                 \
    const User& u = *list.users[i];                                                                \
    const Computer& c = *list.computer;                                                            \
    (void)c;

template <> void FillUser<0>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    reinterpret_cast<USER_INFO_0*>(entry)->usri0_name = p.Str(u.name);
}

template <> void FillUser<1>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    auto* r = reinterpret_cast<USER_INFO_1*>(entry);
    r->usri1_name = p.Str(u.name);
    r->usri1_password = nullptr; // never returned
    r->usri1_password_age = Seconds(list.now - u.passwordLastSet);
    r->usri1_priv = PrivOf(c, u);
    r->usri1_home_dir = p.Str(u.homeDir);
    r->usri1_comment = p.Str(u.comment);
    r->usri1_flags = ReportedFlags(c, u, list.now);
    r->usri1_script_path = p.Str(u.scriptPath);
}

// Levels 2, 3 and 4 share their first members.
template <class T> void FillUser2Common(Packer& p, const UserList& list, const User& u, T* r)
{
    const Computer& c = *list.computer;
    r->usri2_name = p.Str(u.name);
    r->usri2_password = nullptr;
    r->usri2_password_age = Seconds(list.now - u.passwordLastSet);
    r->usri2_priv = PrivOf(c, u);
    r->usri2_home_dir = p.Str(u.homeDir);
    r->usri2_comment = p.Str(u.comment);
    r->usri2_flags = ReportedFlags(c, u, list.now);
    r->usri2_script_path = p.Str(u.scriptPath);
    r->usri2_auth_flags = u.authFlags;
    r->usri2_full_name = p.Str(u.fullName);
    r->usri2_usr_comment = p.Str(u.usrComment);
    r->usri2_parms = p.Str(u.parms);
    r->usri2_workstations = p.Str(u.workstations);
    r->usri2_last_logon = Seconds(u.lastLogon);
    r->usri2_last_logoff = Seconds(u.lastLogoff);
    r->usri2_acct_expires = u.acctExpires;
    r->usri2_max_storage = u.maxStorage;
    r->usri2_units_per_week = UNITS_PER_WEEK;
    r->usri2_logon_hours = p.Bytes(u.logonHours.data(), u.logonHours.size());
    r->usri2_bad_pw_count = u.badPwCount;
    r->usri2_num_logons = u.numLogons;
    r->usri2_logon_server = p.Str(kLogonServer);
    r->usri2_country_code = u.countryCode;
    r->usri2_code_page = u.codePage;
}

// USER_INFO_3/4 spell their members usri3_/usri4_: copy through level 2's layout,
// which is the same up to usri2_code_page.
template <> void FillUser<2>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    FillUser2Common(p, list, u, reinterpret_cast<USER_INFO_2*>(entry));
}

template <> void FillUser<3>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    static_assert(offsetof(USER_INFO_3, usri3_code_page) == offsetof(USER_INFO_2, usri2_code_page),
                  "layout");
    FillUser2Common(p, list, u, reinterpret_cast<USER_INFO_2*>(entry));
    auto* r = reinterpret_cast<USER_INFO_3*>(entry);
    r->usri3_user_id = u.rid;
    r->usri3_primary_group_id = u.primaryGroupId;
    r->usri3_profile = p.Str(u.profile);
    r->usri3_home_dir_drive = p.Str(u.homeDirDrive);
    r->usri3_password_expired = PasswordExpired(c, u, list.now) ? 1 : 0;
}

template <> void FillUser<4>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    static_assert(offsetof(USER_INFO_4, usri4_code_page) == offsetof(USER_INFO_2, usri2_code_page),
                  "layout");
    FillUser2Common(p, list, u, reinterpret_cast<USER_INFO_2*>(entry));
    auto* r = reinterpret_cast<USER_INFO_4*>(entry);
    r->usri4_user_sid = p.Sid(c.UserSid(u));
    r->usri4_primary_group_id = u.primaryGroupId;
    r->usri4_profile = p.Str(u.profile);
    r->usri4_home_dir_drive = p.Str(u.homeDirDrive);
    r->usri4_password_expired = PasswordExpired(c, u, list.now) ? 1 : 0;
}

template <> void FillUser<10>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    auto* r = reinterpret_cast<USER_INFO_10*>(entry);
    r->usri10_name = p.Str(u.name);
    r->usri10_comment = p.Str(u.comment);
    r->usri10_usr_comment = p.Str(u.usrComment);
    r->usri10_full_name = p.Str(u.fullName);
}

template <> void FillUser<11>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    auto* r = reinterpret_cast<USER_INFO_11*>(entry);
    r->usri11_name = p.Str(u.name);
    r->usri11_comment = p.Str(u.comment);
    r->usri11_usr_comment = p.Str(u.usrComment);
    r->usri11_full_name = p.Str(u.fullName);
    r->usri11_priv = PrivOf(c, u);
    r->usri11_auth_flags = u.authFlags;
    r->usri11_password_age = Seconds(list.now - u.passwordLastSet);
    r->usri11_home_dir = p.Str(u.homeDir);
    r->usri11_parms = p.Str(u.parms);
    r->usri11_last_logon = Seconds(u.lastLogon);
    r->usri11_last_logoff = Seconds(u.lastLogoff);
    r->usri11_bad_pw_count = u.badPwCount;
    r->usri11_num_logons = u.numLogons;
    r->usri11_logon_server = p.Str(kLogonServer);
    r->usri11_country_code = u.countryCode;
    r->usri11_workstations = p.Str(u.workstations);
    r->usri11_max_storage = u.maxStorage;
    r->usri11_units_per_week = UNITS_PER_WEEK;
    r->usri11_logon_hours = p.Bytes(u.logonHours.data(), u.logonHours.size());
    r->usri11_code_page = u.codePage;
}

template <> void FillUser<20>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    auto* r = reinterpret_cast<USER_INFO_20*>(entry);
    r->usri20_name = p.Str(u.name);
    r->usri20_full_name = p.Str(u.fullName);
    r->usri20_comment = p.Str(u.comment);
    r->usri20_flags = ReportedFlags(c, u, list.now);
    r->usri20_user_id = u.rid;
}

template <> void FillUser<23>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    auto* r = reinterpret_cast<USER_INFO_23*>(entry);
    r->usri23_name = p.Str(u.name);
    r->usri23_full_name = p.Str(u.fullName);
    r->usri23_comment = p.Str(u.comment);
    r->usri23_flags = ReportedFlags(c, u, list.now);
    r->usri23_user_sid = p.Sid(c.UserSid(u));
}

template <> void FillUser<24>(Packer& p, const void* context, size_t i, BYTE* entry)
{
    USER_CONTEXT
    // A plain local account is not connected to an Internet identity; one linked
    // to a Microsoft account names its provider and address. The flags "must be
    // zero" (USER_INFO_24 reference page).
    auto* r = reinterpret_cast<USER_INFO_24*>(entry);
    bool linked = !u.microsoftAccount.empty();
    r->usri24_internet_identity = linked ? TRUE : FALSE;
    r->usri24_flags = 0;
    r->usri24_internet_provider_name = linked ? p.Str(kMicrosoftAccountDomain) : nullptr;
    r->usri24_internet_principal_name = linked ? p.Str(u.microsoftAccount) : nullptr;
    r->usri24_user_sid = p.Sid(c.UserSid(u));
}

struct LevelFiller
{
    DWORD level;
    size_t size;
    FillEntry fill;
};

const LevelFiller kUserLevels[] = {
    {0, sizeof(USER_INFO_0), FillUser<0>},    {1, sizeof(USER_INFO_1), FillUser<1>},
    {2, sizeof(USER_INFO_2), FillUser<2>},    {3, sizeof(USER_INFO_3), FillUser<3>},
    {4, sizeof(USER_INFO_4), FillUser<4>},    {10, sizeof(USER_INFO_10), FillUser<10>},
    {11, sizeof(USER_INFO_11), FillUser<11>}, {20, sizeof(USER_INFO_20), FillUser<20>},
    {23, sizeof(USER_INFO_23), FillUser<23>}, {24, sizeof(USER_INFO_24), FillUser<24>},
};

const LevelFiller* FindUserLevel(DWORD level, std::initializer_list<DWORD> allowed)
{
    if (std::find(allowed.begin(), allowed.end(), level) == allowed.end())
        return nullptr;
    for (const LevelFiller& f : kUserLevels)
        if (f.level == level)
            return &f;
    return nullptr;
}

// ------------------------------------------------------------ incoming records

// The fields a caller hands in at levels 1 to 4; null pointers leave a field as it is.
struct Incoming
{
    const wchar_t* name = nullptr;
    const wchar_t* password = nullptr;
    bool hasPriv = false;
    DWORD priv = USER_PRIV_USER;
    const wchar_t* homeDir = nullptr;
    const wchar_t* comment = nullptr;
    bool hasFlags = false;
    DWORD flags = 0;
    const wchar_t* scriptPath = nullptr;
    bool level2 = false;
    DWORD authFlags = 0;
    const wchar_t* fullName = nullptr;
    const wchar_t* usrComment = nullptr;
    const wchar_t* parms = nullptr;
    const wchar_t* workstations = nullptr;
    DWORD acctExpires = kTimeqForever;
    DWORD maxStorage = USER_MAXSTORAGE_UNLIMITED;
    DWORD unitsPerWeek = UNITS_PER_WEEK;
    const BYTE* logonHours = nullptr;
    DWORD countryCode = 0, codePage = 0;
    bool level3 = false;
    DWORD primaryGroupId = 513;
    const wchar_t* profile = nullptr;
    const wchar_t* homeDirDrive = nullptr;
    DWORD passwordExpired = 0;
};

template <class T> void ReadLevel2(const T* r, Incoming& in)
{
    in.name = r->usri2_name;
    in.password = r->usri2_password;
    in.hasPriv = true;
    in.priv = r->usri2_priv;
    in.homeDir = r->usri2_home_dir;
    in.comment = r->usri2_comment;
    in.hasFlags = true;
    in.flags = r->usri2_flags;
    in.scriptPath = r->usri2_script_path;
    in.level2 = true;
    in.authFlags = r->usri2_auth_flags;
    in.fullName = r->usri2_full_name;
    in.usrComment = r->usri2_usr_comment;
    in.parms = r->usri2_parms;
    in.workstations = r->usri2_workstations;
    in.acctExpires = r->usri2_acct_expires;
    in.maxStorage = r->usri2_max_storage;
    in.unitsPerWeek = r->usri2_units_per_week;
    in.logonHours = r->usri2_logon_hours;
    in.countryCode = r->usri2_country_code;
    in.codePage = r->usri2_code_page;
}

bool ReadIncoming(DWORD level, const BYTE* buf, Incoming& in)
{
    switch (level) {
    case 1: {
        auto* r = reinterpret_cast<const USER_INFO_1*>(buf);
        in.name = r->usri1_name;
        in.password = r->usri1_password;
        in.hasPriv = true;
        in.priv = r->usri1_priv;
        in.homeDir = r->usri1_home_dir;
        in.comment = r->usri1_comment;
        in.hasFlags = true;
        in.flags = r->usri1_flags;
        in.scriptPath = r->usri1_script_path;
        return true;
    }
    case 2:
        ReadLevel2(reinterpret_cast<const USER_INFO_2*>(buf), in);
        return true;
    case 3: {
        auto* r = reinterpret_cast<const USER_INFO_3*>(buf);
        ReadLevel2(reinterpret_cast<const USER_INFO_2*>(buf), in);
        in.level3 = true;
        in.primaryGroupId = r->usri3_primary_group_id;
        in.profile = r->usri3_profile;
        in.homeDirDrive = r->usri3_home_dir_drive;
        in.passwordExpired = r->usri3_password_expired;
        return true;
    }
    case 4: {
        auto* r = reinterpret_cast<const USER_INFO_4*>(buf);
        ReadLevel2(reinterpret_cast<const USER_INFO_2*>(buf), in);
        in.level3 = true;
        in.primaryGroupId = r->usri4_primary_group_id;
        in.profile = r->usri4_profile;
        in.homeDirDrive = r->usri4_home_dir_drive;
        in.passwordExpired = r->usri4_password_expired;
        return true;
    }
    }
    return false;
}

DWORD Invalid(LPDWORD parmErr, DWORD parm)
{
    if (parmErr != nullptr)
        *parmErr = parm;
    return ERROR_INVALID_PARAMETER;
}

DWORD CheckPassword(const Computer& c, const std::wstring& password, LPDWORD parmErr)
{
    if (password.size() > PWLEN)
        return Invalid(parmErr, USER_PASSWORD_PARMNUM);
    if (password.size() < c.policy.minLength)
        return NERR_PasswordTooShort;
    return 0;
}

const DWORD kAccountTypeMask = UF_NORMAL_ACCOUNT | UF_TEMP_DUPLICATE_ACCOUNT |
                               UF_INTERDOMAIN_TRUST_ACCOUNT | UF_WORKSTATION_TRUST_ACCOUNT |
                               UF_SERVER_TRUST_ACCOUNT;

// Checks everything first, then applies: a refused record changes nothing.
DWORD ApplyIncoming(const Incoming& in, Computer& c, User& u, bool adding, int64_t now,
                    LPDWORD parmErr)
{
    if (in.hasFlags) {
        DWORD type = in.flags & kAccountTypeMask;
        if (type != 0 && type != UF_NORMAL_ACCOUNT)
            return Invalid(parmErr, USER_FLAGS_PARMNUM);
    }
    if (in.password != nullptr) {
        DWORD status = CheckPassword(c, in.password, parmErr);
        if (status != 0)
            return status;
    }
    if (in.level2 && in.logonHours != nullptr && in.unitsPerWeek != UNITS_PER_WEEK)
        return Invalid(parmErr, USER_UNITS_PER_WEEK_PARMNUM);
    if (in.level3 && in.primaryGroupId != 513 && !(adding && in.primaryGroupId == 0))
        return Invalid(parmErr, USER_PRIMARY_GROUP_PARMNUM);

    if (in.password != nullptr) {
        u.password = in.password;
        u.passwordLastSet = now;
        u.passwordExpired = false;
    }
    if (in.homeDir)
        u.homeDir = in.homeDir;
    if (in.comment)
        u.comment = in.comment;
    if (in.hasFlags) {
        // UF_PASSWORD_EXPIRED is read-only; UF_LOCKOUT can be cleared but not set.
        // Clearing it ends a lock-out (lockoutTime 0), which alone resets the
        // bad-password count (MS-SAMR 3.1.1.8.3); any other flags write keeps it.
        if (!(in.flags & UF_LOCKOUT) && u.locked) {
            u.locked = false;
            u.lockoutTime = 0;
            u.badPwCount = 0;
        }
        u.flags = (in.flags & ~(UF_LOCKOUT | UF_PASSWORD_EXPIRED | kAccountTypeMask)) | UF_SCRIPT |
                  UF_NORMAL_ACCOUNT;
    }
    if (in.scriptPath)
        u.scriptPath = in.scriptPath;
    if (in.level2) {
        u.authFlags = in.authFlags;
        if (in.fullName)
            u.fullName = in.fullName;
        if (in.usrComment)
            u.usrComment = in.usrComment;
        if (in.parms)
            u.parms = in.parms;
        if (in.workstations)
            u.workstations = in.workstations;
        u.acctExpires = in.acctExpires;
        u.maxStorage = in.maxStorage;
        if (in.logonHours)
            memcpy(u.logonHours.data(), in.logonHours, u.logonHours.size());
        u.countryCode = in.countryCode;
        u.codePage = in.codePage;
    }
    if (in.level3) {
        if (in.profile)
            u.profile = in.profile;
        if (in.homeDirDrive)
            u.homeDirDrive = in.homeDirDrive;
        // Nonzero sets the "must change" mark (SAM's pwdLastSet 0), which
        // UF_DONT_EXPIRE_PASSWD overrides while it is set (MS-SAMR 3.1.5.14.4).
        // Zero clears the mark alone: "you cannot specify zero to negate the
        // expiration of a password that has already expired" (USER_INFO_4
        // reference page), so the age runs on and only a new password ends it.
        u.passwordExpired = in.passwordExpired != 0;
    }
    return 0;
}

DWORD NameClash(const Computer& c, const std::wstring& name, const void* except)
{
    const User* u = c.FindUser(name);
    if (u != nullptr && u != except)
        return NERR_UserExists;
    const Group* g = c.FindGroup(name);
    if (g != nullptr && g != except)
        return NERR_GroupExists;
    return 0;
}

// The target computer and the caller's rights, in the order Windows checks them.
template <class W, class C> DWORD Open(W& w, LPCWSTR server, bool change, C*& c)
{
    DWORD status = TargetComputer(w, server, ServerErrors::NetApi, c);
    if (status != 0)
        return status;
    return CheckAccess(w, *c, server, Interface::Sam, change);
}

// Users as NetUserEnum lists them: by relative identifier.
std::vector<const User*> UsersByRid(const Computer& c, DWORD filter)
{
    std::vector<const User*> list;
    if (filter == 0 || (filter & FILTER_NORMAL_ACCOUNT))
        for (const User& u : c.users)
            list.push_back(&u);
    std::sort(list.begin(), list.end(),
              [](const User* a, const User* b) { return a->rid < b->rid; });
    return list;
}

std::vector<const User*> UsersByName(const Computer& c)
{
    std::vector<const User*> list;
    list.reserve(c.usersByName.size());
    for (size_t i : c.usersByName)
        list.push_back(&c.users[i]);
    return list;
}

} // namespace

// ================================================================ exports

extern "C" NET_API_STATUS WINAPI AmbSim_NetApiBufferFree(LPVOID buffer)
{
    if (buffer != nullptr)
        HeapFree(GetProcessHeap(), 0, buffer);
    return NERR_Success;
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetApiBufferAllocate(DWORD byteCount, LPVOID* buffer)
{
    if (buffer == nullptr)
        return ERROR_INVALID_PARAMETER;
    *buffer = AllocReturnBuffer(byteCount);
    return *buffer ? NERR_Success : ERROR_NOT_ENOUGH_MEMORY;
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetUserGetInfo(LPCWSTR server, LPCWSTR username,
                                                       DWORD level, LPBYTE* bufptr)
{
    return Guard([&]() -> DWORD {
        if (bufptr == nullptr)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        // Windows reads the whole records only: the one-field levels (1003-1053)
        // are for NetUserSetInfo and give ERROR_INVALID_LEVEL here.
        const LevelFiller* filler = FindUserLevel(level, {0, 1, 2, 3, 4, 10, 11, 20, 23, 24});
        if (filler == nullptr)
            return ERROR_INVALID_LEVEL;
        if (username == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"NetUserGetInfo", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            const User* u = c->FindUser(username);
            if (u == nullptr)
                return NERR_UserNotFound;
            UserList list{&w, c, {u}, w.Now()};
            return PackEntries(filler->size, filler->fill, &list, 0, 1, bufptr);
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetUserEnum(LPCWSTR server, DWORD level, DWORD filter,
                                                    LPBYTE* bufptr, DWORD prefmaxlen,
                                                    LPDWORD entriesread, LPDWORD totalentries,
                                                    LPDWORD resume_handle)
{
    return Guard([&]() -> DWORD {
        if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = 0;
        *totalentries = 0;
        const LevelFiller* filler = FindUserLevel(level, {0, 1, 2, 3, 10, 11, 20});
        if (filler == nullptr)
            return ERROR_INVALID_LEVEL;
        const DWORD knownFilters = FILTER_TEMP_DUPLICATE_ACCOUNT | FILTER_NORMAL_ACCOUNT |
                                   FILTER_INTERDOMAIN_TRUST_ACCOUNT |
                                   FILTER_WORKSTATION_TRUST_ACCOUNT | FILTER_SERVER_TRUST_ACCOUNT;
        if (filter & ~knownFilters)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"NetUserEnum", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            UserList list{&w, c, UsersByRid(*c, filter), w.Now()};
            // The resume handle carries the last relative identifier returned.
            size_t first = 0;
            if (resume_handle != nullptr && *resume_handle != 0)
                while (first < list.users.size() && list.users[first]->rid <= *resume_handle)
                    ++first;
            size_t count = EntriesThatFit(filler->size, filler->fill, &list, first,
                                          list.users.size(), prefmaxlen);
            status = PackEntries(filler->size, filler->fill, &list, first, count, bufptr);
            if (status != 0)
                return status;
            *entriesread = static_cast<DWORD>(count);
            *totalentries = static_cast<DWORD>(list.users.size() - first);
            bool more = first + count < list.users.size();
            if (resume_handle != nullptr)
                *resume_handle = more ? list.users[first + count - 1]->rid : 0;
            return more ? DWORD(ERROR_MORE_DATA) : DWORD(NERR_Success);
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf,
                                                   LPDWORD parm_err)
{
    return Guard([&]() -> DWORD {
        if (level < 1 || level > 4)
            return ERROR_INVALID_LEVEL;
        if (buf == nullptr)
            return Invalid(parm_err, PARM_ERROR_UNKNOWN);
        Incoming in;
        ReadIncoming(level, buf, in);
        return ChangeAt(L"NetUserAdd", server, [&](const World& w, Computer* c) -> DWORD {
            if (in.name == nullptr || in.name[0] == 0)
                return Invalid(parm_err, USER_NAME_PARMNUM);
            std::wstring name = in.name;
            DWORD status = CheckUserName(name);
            if (status != 0)
                return status;
            if (in.priv != USER_PRIV_USER)
                return Invalid(parm_err, USER_PRIV_PARMNUM);
            status = NameClash(*c, name, nullptr);
            if (status != 0)
                return status;
            std::wstring password = in.password ? in.password : L"";
            // Adding a user, Windows reports every password fault, an over-long one
            // included, as a password that does not meet the policy.
            if (password.size() > PWLEN)
                return NERR_PasswordTooShort;
            status = CheckPassword(*c, password, parm_err);
            if (status != 0)
                return status;
            // Validate on a scratch record so that a refused add leaves no trace.
            User scratch;
            Incoming withPassword = in;
            withPassword.password = password.c_str();
            status = ApplyIncoming(withPassword, *c, scratch, true, w.Now(), parm_err);
            if (status != 0)
                return status;
            User& u = AddUserRecord(*c, name, w.Now());
            DWORD rid = u.rid;
            scratch.name = u.name;
            scratch.rid = rid;
            scratch.locked = false; // a new account is never locked out
            u = scratch;
            return 0;
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetUserDel(LPCWSTR server, LPCWSTR username)
{
    return Guard([&]() -> DWORD {
        if (username == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ChangeAt(L"NetUserDel", server, [&](const World&, Computer* c) -> DWORD {
            User* u = c->FindUser(username);
            if (u == nullptr)
                return NERR_UserNotFound;
            if (u->rid < kFirstRid)
                return ERROR_SPECIAL_ACCOUNT;
            std::wstring sid = c->UserSid(*u);
            for (Group& g : c->groups)
                g.members.erase(
                    std::remove_if(g.members.begin(), g.members.end(),
                                   [&](const std::wstring& m) { return SameText(m, sid); }),
                    g.members.end());
            c->users.erase(c->users.begin() + (u - c->users.data()));
            c->Reindex();
            return 0;
        });
    });
}

namespace {

// The single-field levels of NetUserSetInfo.
DWORD ApplySingleField(DWORD level, const BYTE* buf, Computer& c, User& u, int64_t now,
                       LPDWORD parmErr)
{
    switch (level) {
    case 1003: {
        const wchar_t* pw = reinterpret_cast<const USER_INFO_1003*>(buf)->usri1003_password;
        std::wstring password = pw ? pw : L"";
        DWORD status = CheckPassword(c, password, parmErr);
        if (status != 0)
            return status;
        u.password = password;
        u.passwordLastSet = now;
        u.passwordExpired = false;
        return 0;
    }
    case 1005:
        // The privilege follows group membership; it cannot be set directly.
        if (reinterpret_cast<const USER_INFO_1005*>(buf)->usri1005_priv != PrivOf(c, u))
            return Invalid(parmErr, USER_PRIV_PARMNUM);
        return 0;
    case 1006:
        u.homeDir = Str(reinterpret_cast<const USER_INFO_1006*>(buf)->usri1006_home_dir);
        return 0;
    case 1007:
        u.comment = Str(reinterpret_cast<const USER_INFO_1007*>(buf)->usri1007_comment);
        return 0;
    case 1008: {
        Incoming in;
        in.hasFlags = true;
        in.flags = reinterpret_cast<const USER_INFO_1008*>(buf)->usri1008_flags;
        return ApplyIncoming(in, c, u, false, now, parmErr);
    }
    case 1009:
        u.scriptPath = Str(reinterpret_cast<const USER_INFO_1009*>(buf)->usri1009_script_path);
        return 0;
    case 1010:
        u.authFlags = reinterpret_cast<const USER_INFO_1010*>(buf)->usri1010_auth_flags;
        return 0;
    case 1011:
        u.fullName = Str(reinterpret_cast<const USER_INFO_1011*>(buf)->usri1011_full_name);
        return 0;
    case 1012:
        u.usrComment = Str(reinterpret_cast<const USER_INFO_1012*>(buf)->usri1012_usr_comment);
        return 0;
    case 1014:
        u.workstations = Str(reinterpret_cast<const USER_INFO_1014*>(buf)->usri1014_workstations);
        return 0;
    case 1017:
        u.acctExpires = reinterpret_cast<const USER_INFO_1017*>(buf)->usri1017_acct_expires;
        return 0;
    case 1020: {
        auto* r = reinterpret_cast<const USER_INFO_1020*>(buf);
        if (r->usri1020_logon_hours != nullptr) {
            if (r->usri1020_units_per_week != UNITS_PER_WEEK)
                return Invalid(parmErr, USER_UNITS_PER_WEEK_PARMNUM);
            memcpy(u.logonHours.data(), r->usri1020_logon_hours, u.logonHours.size());
        }
        return 0;
    }
    case 1024:
        u.countryCode = reinterpret_cast<const USER_INFO_1024*>(buf)->usri1024_country_code;
        return 0;
    case 1051:
        if (reinterpret_cast<const USER_INFO_1051*>(buf)->usri1051_primary_group_id != 513)
            return Invalid(parmErr, USER_PRIMARY_GROUP_PARMNUM);
        return 0;
    case 1052:
        u.profile = Str(reinterpret_cast<const USER_INFO_1052*>(buf)->usri1052_profile);
        return 0;
    case 1053:
        u.homeDirDrive = Str(reinterpret_cast<const USER_INFO_1053*>(buf)->usri1053_home_dir_drive);
        return 0;
    }
    return ERROR_INVALID_LEVEL;
}

bool IsSetLevel(DWORD level)
{
    static const DWORD levels[] = {0,    1,    2,    3,    4,    1003, 1005, 1006, 1007, 1008, 1009,
                                   1010, 1011, 1012, 1014, 1017, 1020, 1024, 1051, 1052, 1053};
    return std::find(std::begin(levels), std::end(levels), level) != std::end(levels);
}

} // namespace

extern "C" NET_API_STATUS WINAPI AmbSim_NetUserSetInfo(LPCWSTR server, LPCWSTR username,
                                                       DWORD level, LPBYTE buf, LPDWORD parm_err)
{
    return Guard([&]() -> DWORD {
        if (!IsSetLevel(level))
            return ERROR_INVALID_LEVEL;
        if (username == nullptr || buf == nullptr)
            return Invalid(parm_err, PARM_ERROR_UNKNOWN);
        return ChangeAt(L"NetUserSetInfo", server, [&](const World& w, Computer* c) -> DWORD {
            DWORD status = 0;
            User* u = c->FindUser(username);
            if (u == nullptr)
                return NERR_UserNotFound;
            if (level == 0) {
                const wchar_t* newName = reinterpret_cast<USER_INFO_0*>(buf)->usri0_name;
                if (newName == nullptr)
                    return Invalid(parm_err, USER_NAME_PARMNUM);
                status = CheckUserName(newName);
                if (status != 0)
                    return status;
                status = NameClash(*c, newName, u);
                if (status != 0)
                    return status;
                u->name = newName;
                c->Reindex();
                return 0;
            }
            if (level <= 4) {
                // The name in a full record is not a rename: only level 0 renames.
                Incoming in;
                ReadIncoming(level, buf, in);
                // USER_INFO_1 reference page: usriN_priv cannot be changed by
                // NetUserSetInfo; it follows membership of Administrators/Guests.
                if (in.hasPriv && in.priv != PrivOf(*c, *u))
                    return Invalid(parm_err, USER_PRIV_PARMNUM);
                User copy = *u;
                status = ApplyIncoming(in, *c, copy, false, w.Now(), parm_err);
                if (status == 0)
                    *u = copy;
                return status;
            }
            User copy = *u;
            status = ApplySingleField(level, buf, *c, copy, w.Now(), parm_err);
            if (status == 0)
                *u = copy;
            return status;
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetUserGetLocalGroups(LPCWSTR server, LPCWSTR username,
                                                              DWORD level, DWORD flags,
                                                              LPBYTE* bufptr, DWORD prefmaxlen,
                                                              LPDWORD entriesread,
                                                              LPDWORD totalentries)
{
    return Guard([&]() -> DWORD {
        if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = 0;
        *totalentries = 0;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        if ((flags & ~LG_INCLUDE_INDIRECT) != 0 || username == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"NetUserGetLocalGroups", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            // "name" or "DOMAIN\name"; it must be a user.
            Resolved r;
            if (!ResolveName(w, *c, username, r) || r.use != SidTypeUser)
                return NERR_UserNotFound;
            struct Names
            {
                std::vector<std::wstring> names;
            } names;
            for (const Group& g : c->groups)
                if (c->IsMember(g, r.sid))
                    names.names.push_back(g.name);
            FillEntry fill = [](Packer& p, const void* ctx, size_t i, BYTE* e) {
                reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(e)->lgrui0_name =
                    p.Str(static_cast<const Names*>(ctx)->names[i]);
            };
            size_t count = EntriesThatFit(sizeof(LOCALGROUP_USERS_INFO_0), fill, &names, 0,
                                          names.names.size(), prefmaxlen);
            status = PackEntries(sizeof(LOCALGROUP_USERS_INFO_0), fill, &names, 0, count, bufptr);
            if (status != 0)
                return status;
            *entriesread = static_cast<DWORD>(count);
            *totalentries = static_cast<DWORD>(names.names.size());
            return count < names.names.size() ? DWORD(ERROR_MORE_DATA) : DWORD(NERR_Success);
        });
    });
}

namespace {

struct DisplayUsers
{
    const Computer* computer;
    std::vector<const User*> users;
    int64_t now;
};

void FillDisplayUser(Packer& p, const void* ctx, size_t i, BYTE* e)
{
    const DisplayUsers& list = *static_cast<const DisplayUsers*>(ctx);
    const User& u = *list.users[i];
    const Computer& c = *list.computer;
    auto* r = reinterpret_cast<NET_DISPLAY_USER*>(e);
    r->usri1_name = p.Str(u.name);
    r->usri1_comment = p.Str(u.comment);
    r->usri1_flags = ReportedFlags(c, u, list.now);
    r->usri1_full_name = p.Str(u.fullName);
    r->usri1_user_id = u.rid;
    r->usri1_next_index = static_cast<DWORD>(i + 1);
}

void FillDisplayGroup(Packer& p, const void*, size_t i, BYTE* e)
{
    // A workstation's only global group: "None" (513), which every user belongs to.
    auto* r = reinterpret_cast<NET_DISPLAY_GROUP*>(e);
    r->grpi3_name = p.Str(L"None");
    r->grpi3_comment = p.Str(L"通常のユーザー");
    r->grpi3_group_id = 513;
    r->grpi3_attributes = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
    r->grpi3_next_index = static_cast<DWORD>(i + 1);
}

} // namespace

extern "C" NET_API_STATUS WINAPI AmbSim_NetQueryDisplayInformation(LPCWSTR server, DWORD level,
                                                                   DWORD index, DWORD requested,
                                                                   DWORD prefmaxlen,
                                                                   LPDWORD returnedCount,
                                                                   PVOID* sortedBuffer)
{
    return Guard([&]() -> DWORD {
        if (returnedCount == nullptr || sortedBuffer == nullptr)
            return ERROR_INVALID_PARAMETER;
        *sortedBuffer = nullptr;
        *returnedCount = 0;
        if (level < 1 || level > 3)
            return ERROR_INVALID_LEVEL;
        return ReadWorldFor(L"NetQueryDisplayInformation", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            // Each call returns at most 100 entries, sorted by name.
            size_t want = std::min<DWORD>(requested, 100);
            if (want == 0)
                want = 100;
            DisplayUsers d{c, {}, w.Now()};
            size_t total = 0;
            FillEntry fill = nullptr;
            size_t size = 0;
            if (level == 1) {
                d.users = UsersByName(*c);
                total = d.users.size();
                fill = FillDisplayUser;
                size = sizeof(NET_DISPLAY_USER);
            } else if (level == 3) {
                total = 1;
                fill = FillDisplayGroup;
                size = sizeof(NET_DISPLAY_GROUP);
            } else {
                return NERR_Success; // level 2: a workstation has no machine accounts
            }
            size_t first = index;
            if (first >= total)
                return NERR_Success;
            size_t count = EntriesThatFit(size, fill, &d, first, total, prefmaxlen);
            count = std::min(count, want);
            LPBYTE out = nullptr;
            status = PackEntries(size, fill, &d, first, count, &out);
            if (status != 0)
                return status;
            *sortedBuffer = out;
            *returnedCount = static_cast<DWORD>(count);
            return first + count < total ? DWORD(ERROR_MORE_DATA) : DWORD(NERR_Success);
        });
    });
}
