// The simulated Windows account database: the world model shared by AmbSim.dll
// and AmbSimCtl.exe. A world is a set of computers (the first is the local one),
// each with its own account domain, users, local groups and profiles, plus the
// settings that stand in for the rest of Windows (session, consent, clock,
// injected faults). It lives in the world folder: a JSON document of the world
// and one of each computer's accounts.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ambsim {

// Well-known relative identifiers and SIDs used throughout.
constexpr DWORD kRidAdministrator = 500;
constexpr DWORD kRidGuest = 501;
constexpr DWORD kRidDefaultAccount = 503;
constexpr DWORD kRidWdagUtility = 504;
constexpr DWORD kRidAdministrators = 544;
constexpr DWORD kRidUsers = 545;
constexpr DWORD kRidGuests = 546;
constexpr DWORD kFirstRid = 1000;
constexpr DWORD kTimeqForever = 0xFFFFFFFF;
constexpr DWORD kRidNone = 513;         // the account domain's group "None"
constexpr DWORD kRidDomainAdmins = 512; // a domain's global groups
constexpr DWORD kRidDomainUsers = 513;
constexpr DWORD kDefaultConnectTimeoutMs = 3000; // a blocked port keeps the caller waiting
extern const wchar_t kBuiltinSid[];              // S-1-5-32
extern const wchar_t kBuiltinDomain[];           // BUILTIN
extern const wchar_t kNtAuthority[];             // NT AUTHORITY

struct User
{
    std::wstring name;
    DWORD rid = 0;
    std::wstring password;
    std::wstring fullName, comment, usrComment;
    std::wstring homeDir, homeDirDrive, scriptPath, profile, parms, workstations;
    DWORD flags = 0x201;          // UF_SCRIPT | UF_NORMAL_ACCOUNT; never holds the computed bits
    bool locked = false;          // locked out (see LockedOut for the lock-out's end)
    int64_t lockoutTime = 0;      // when the lock-out began (0: not known)
    int64_t lastBadPassword = 0;  // when the last bad password was given
    bool passwordExpired = false; // "must change at next logon" (SAM's pwdLastSet 0)
    int64_t passwordLastSet = 0;
    int64_t lastLogon = 0;
    int64_t lastLogoff = 0;
    DWORD acctExpires = kTimeqForever;
    DWORD authFlags = 0, countryCode = 0, codePage = 0;
    DWORD maxStorage = 0xFFFFFFFF;
    DWORD badPwCount = 0, numLogons = 0;
    DWORD primaryGroupId = 513;
    std::array<BYTE, 21> logonHours;
    // The Microsoft account the user signs in with (its address) and the SID
    // that Windows records for it (S-1-11-96-...); empty for a plain local user.
    std::wstring microsoftAccount, microsoftAccountSid;
    User()
    {
        logonHours.fill(0xFF);
    }
};

struct Group
{
    std::wstring name;
    DWORD rid = 0;
    bool builtin = false; // BUILTIN domain (S-1-5-32) or the computer's account domain
    std::wstring comment;
    std::vector<std::wstring> members; // SID strings, in the order they were added
};

struct Profile
{
    std::wstring sid, user, path;
};

// The account policy of a computer's SAM domain, in the units of
// USER_MODALS_INFO_0 and USER_MODALS_INFO_3 (seconds); the defaults are those of
// a fresh Windows 11 (42 days, lock-out after 10 bad passwords for 10 minutes).
struct Policy
{
    DWORD minLength = 0;
    DWORD maxAge = 42 * 86400;   // TIMEQ_FOREVER: passwords never age out
    DWORD minAge = 0;            // 0: a password may be changed again at once
    DWORD forceLogoff = kTimeqForever;
    DWORD historyLength = 0;
    DWORD lockoutThreshold = 10; // 0: bad passwords never lock an account
    DWORD lockoutDuration = 600; // TIMEQ_FOREVER: until an administrator unlocks
    DWORD lockoutWindow = 600;   // the bad-password count starts again after this
};

// The MODALS_*_PARMNUM of the first value of p that NetUserModalsSet refuses, or 0.
DWORD PolicyParmError(const Policy& p);

struct Computer
{
    std::wstring name;
    std::wstring domainSid; // S-1-5-21-a-b-c
    std::vector<std::wstring> ips;
    bool offline = false; // known but does not answer
    DWORD latencyMs = 0;  // round trip that every call to it waits
    // The policies that decide who may manage it over the network, with
    // Windows 11's defaults (HKLM\...\Policies\System and ...\Control\Lsa).
    DWORD tokenFilterPolicy = 0;       // LocalAccountTokenFilterPolicy
    bool restrictRemoteSam = true;     // RestrictRemoteSAM (Windows 10 1607 and later)
    bool limitBlankPasswordUse = true; // LimitBlankPasswordUse
    bool firewallClosed = false;       // File and Printer Sharing not allowed
    DWORD connectTimeoutMs = kDefaultConnectTimeoutMs;
    std::wstring domain; // the domain it has joined ("": a workgroup)
    std::wstring dc;     // for a domain's own database: the computer that serves it
    DWORD nextRid = kFirstRid;
    Policy policy;
    std::vector<User> users;
    std::vector<Group> groups;
    std::vector<Profile> profiles;

    // Upper-cased name -> index; rebuilt by Reindex after every change of names.
    std::unordered_map<std::wstring, size_t> userIndex, groupIndex;
    std::unordered_map<DWORD, size_t> ridIndex; // users by relative identifier
    // Indexes of `users` in the order of their names (the display information's
    // order), kept with the other indexes.
    std::vector<size_t> usersByName;
    void Reindex();
    void IndexNewUser(size_t index);
    User* FindUser(const std::wstring& name);
    const User* FindUser(const std::wstring& name) const;
    Group* FindGroup(const std::wstring& name);
    const Group* FindGroup(const std::wstring& name) const;
    User* FindUserByRid(DWORD rid);
    const User* FindUserByRid(DWORD rid) const;
    Group* FindGroupBySid(const std::wstring& sid);
    const Group* FindGroupBySid(const std::wstring& sid) const;
    std::wstring UserSid(const User& u) const;
    std::wstring GroupSid(const Group& g) const;
    bool NameTaken(const std::wstring& name, const void* except = nullptr) const;
    bool IsMember(const Group& g, const std::wstring& sid) const;
};

struct Session
{
    std::wstring user; // "name" (a local account) or "DOMAIN\name"
    bool admin = true;
    bool elevated = true;
    std::wstring password;               // what pass-through offers to other computers
    std::vector<std::wstring> tokenSids; // extra groups of the token (Entra ID roles, ...)
};

// A deviceless connection (WNetAddConnection2W to \\NAME\IPC$): it belongs to the
// logon session of `owner` and lasts until cancelled, as on Windows.
struct Connection
{
    std::wstring owner;  // the session user who made it
    std::wstring remote; // "\\NAME\IPC$" as given
    std::wstring server; // NAME as given (a name or an address)
    std::wstring user, password;
};

// A credential of the Credential Manager (CRED_TYPE_DOMAIN_PASSWORD, as
// `cmdkey /add:NAME` stores it), per user.
struct Credential
{
    std::wstring owner, target, user, password;
};

struct Fault
{
    std::wstring function;
    DWORD code = 0;
    DWORD remaining = 1; // fails when this reaches zero on a call
};

struct Launch
{
    std::wstring program, commandLine, user, via;
    bool elevated = false;
    int64_t time = 0;
};

struct World
{
    int64_t generation = 0;
    std::vector<Computer> computers; // [0] is the local computer
    Session session;
    bool consentAllow = true;
    bool openSucceeds = true;
    std::vector<std::wstring> opened;
    std::vector<Launch> launches;
    std::vector<Fault> faults;
    int64_t fixedClock = 0;        // 0: real time
    std::vector<Computer> domains; // each domain's own database (name, SID, users, groups)
    std::vector<Connection> connections;
    std::vector<Credential> credentials;

    Computer& Local()
    {
        return computers[0];
    }
    const Computer& Local() const
    {
        return computers[0];
    }
    int64_t Now() const;
    Computer* FindComputer(const std::wstring& nameOrAddress);
    const Computer* FindComputer(const std::wstring& nameOrAddress) const;
    Computer* FindComputerByDomainSid(const std::wstring& domainSid);
    const Computer* FindComputerByDomainSid(const std::wstring& domainSid) const;
    Computer* FindDomain(const std::wstring& name);
    const Computer* FindDomain(const std::wstring& name) const;
    // The domain a computer has joined, or null.
    const Computer* JoinedDomain(const Computer& c) const;
};

// ---- strings and SIDs ----
std::wstring Upper(const std::wstring& s);
bool SameText(const std::wstring& a, const std::wstring& b);
std::string ToUtf8(const std::wstring& s);
std::wstring FromUtf8(const std::string& s);
bool SidToBinary(const std::wstring& text, std::vector<BYTE>& out);
std::wstring SidToText(const void* sid); // empty when not a valid SID
// Splits "S-...-rid" into domain part and rid; false when there is no sub-authority.
bool SplitSid(const std::wstring& sid, std::wstring& domain, DWORD& rid);

// ---- building worlds ----
Computer MakeComputer(const std::wstring& name);
World MakeDefaultWorld(const std::wstring& computerName, const std::wstring& userName);
// Adds a user the way NetUserAdd does (no validation here); returns it.
User& AddUserRecord(Computer& c, const std::wstring& name, int64_t now);
// A domain's database: its SID and the global groups Domain Admins and Domain Users.
Computer MakeDomain(const std::wstring& name, const std::wstring& dc);
// Adds a domain user (a member of Domain Users).
User& AddDomainUser(Computer& domain, const std::wstring& name, int64_t now);
// Joins a computer to a domain: Windows puts DOMAIN\Domain Admins into its
// Administrators and DOMAIN\Domain Users into its Users.
void JoinDomain(Computer& c, const Computer& domain);
// Links a local user to a Microsoft account, as Windows' account setup does:
// the account's own SID joins Users (and Administrators when `admin`).
void LinkMicrosoftAccount(Computer& c, User& u, const std::wstring& address, bool admin);
// The default world set up as an Entra-joined Windows 11 computer: two Entra ID
// SIDs (S-1-12-1-...) in Administrators and a user linked to a Microsoft account.
World MakeEntraWorld(const std::wstring& computerName, const std::wstring& userName);
// The provider name of USER_INFO_24 and the domain of a Microsoft account's SID.
extern const wchar_t kMicrosoftAccountDomain[]; // MicrosoftAccount

// ---- name rules (Windows' rules for SAM account names) ----
DWORD CheckUserName(const std::wstring& name);  // 0 or NERR_BadUsername
DWORD CheckGroupName(const std::wstring& name); // 0 or ERROR_INVALID_ACCOUNT_NAME

// ---- account resolution across the world ----
struct Resolved
{
    std::wstring sid;
    std::wstring domain; // referenced domain name
    std::wstring name;   // account name ("" for a domain)
    SID_NAME_USE use = SidTypeUnknown;
};
// Resolves an account name the way LSA does on computer `on`. A computer knows
// the well-known names, BUILTIN, its own account domain and the domain it has
// joined; nothing else (another computer's local accounts are ERROR_NONE_MAPPED).
bool ResolveName(const World& w, const Computer& on, const std::wstring& name, Resolved& out);
bool ResolveSid(const World& w, const Computer& on, const std::wstring& sid, Resolved& out);

// Whether the password has expired: marked so (must change at next logon), or
// older than the maximum password age of the computer's policy; never while
// UF_DONT_EXPIRE_PASSWD is set (MS-SAMR 3.1.5.14.4).
bool PasswordExpired(const Computer& c, const User& u, int64_t now);
// Whether the "must change at next logon" mark is in force.
bool MustChangePassword(const User& u);
// Whether the account is locked out now: locked, and the policy's lock-out
// duration (if any) has not yet passed since the lock-out began.
bool LockedOut(const Computer& c, const User& u, int64_t now);
// Computed flags as the API reports them (UF_LOCKOUT, UF_PASSWORD_EXPIRED added).
DWORD ReportedFlags(const Computer& c, const User& u, int64_t now);
// Whether the user is a member of the group with that RID in the BUILTIN domain.
bool InBuiltinGroup(const Computer& c, const User& u, DWORD aliasRid);

// ---- JSON ----
// The world's document names each computer's own document: computerFiles[i]
// holds the accounts of w.computers[i]. A computer given in the document itself
// (an earlier version's) is parsed there and its file name left empty.
std::string SerializeWorld(const World& w, const std::vector<std::wstring>& computerFiles);
bool ParseWorld(const std::string& text, World& out, std::vector<std::wstring>& computerFiles);
std::string SerializeComputer(const Computer& c);
bool ParseComputer(const std::string& text, Computer& out);
std::string DumpWorld(const World& w); // the readable dump of AmbSimCtl

// ---- the store ----
// The world folder: AMBRELLE_SIM_DIR (a Unix path is mapped to drive Z:).
std::wstring WorldFolder();
// Runs `read` on the current world under the shared lock. Returns the store's
// error (ERROR_FILE_CORRUPT, ...) or what `read` returns.
DWORD ReadWorld(const std::function<DWORD(const World&)>& read);
// What a change that returns an error has left in the world it was given.
enum class Refusal {
    MayHaveChanged, // perhaps half made: the cached world is dropped and read again
    Kept,           // meant to last (a counted bad password): stored as a success is
    ChangesNothing, // every check comes before the first change: nothing to undo
};
// Runs `change` under the exclusive lock and stores the world when it returns 0.
// A failed change leaves the stored world untouched, unless it is Refusal::Kept.
DWORD WriteWorld(const std::function<DWORD(World&)>& change,
                 Refusal refusal = Refusal::MayHaveChanged);
// The same for an exported function: its injected faults are counted down in
// the same lock, and one that fires is returned instead of running the body.
DWORD ReadWorldFor(const wchar_t* function, const std::function<DWORD(const World&)>& read);
DWORD WriteWorldFor(const wchar_t* function, const std::function<DWORD(World&)>& change,
                    Refusal refusal = Refusal::MayHaveChanged);
// A change of the world's own records alone (connections, credentials), all or
// nothing: only the world's document is written, so it must change no computer.
DWORD WriteWorldAloneFor(const wchar_t* function, const std::function<DWORD(World&)>& change);
// Finds the computer a change is for, or says why there is none.
using ComputerFinder = std::function<DWORD(const World&, const Computer*&)>;
// A change of one computer alone, all or nothing: `change` reads the world and
// changes only the computer `find` gives it, and the store writes only that
// computer's document (a domain's database: the world's).
DWORD WriteComputerFor(const wchar_t* function, const ComputerFinder& find,
                       const std::function<DWORD(const World&, Computer*)>& change);
// Replaces the world whatever the store holds (reset).
DWORD ReplaceWorld(const World& w);
// An injected fault for this function, counted down on every call: 0 or its code.
DWORD TakeFault(const wchar_t* function);
// How many times this module has parsed the stored document (diagnostics).
long ParseCount();
// Drops the per-process cache (tests that switch worlds).
void ForgetCachedWorld();

} // namespace ambsim
