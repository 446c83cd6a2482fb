// Who a call to another computer arrives as, whether that computer lets the
// account log on, and what the resulting network token may do there.
//
// Every remote call carries an identity, in the order Windows' redirector picks
// it: an explicit connection to that server name (WNetAddConnection2W), a
// credential stored for it (Credential Manager, as `cmdkey /add` stores it),
// else the session user's own name and password (pass-through). The target
// checks that identity against its own accounts and its own lock-out policy.
#include "api.h"

namespace ambsim {

namespace {

// A change that a logon makes to the account it checked (bad-password count,
// the end of a lock-out). Logons are checked inside read calls; the change is
// written once the call is done, outside its lock.
struct LogonRecord
{
    bool pending = false;
    bool domainAccount = false;
    std::wstring database; // computer or domain name
    DWORD rid = 0;
    PasswordCheck check;
};

thread_local LogonRecord t_record;

std::wstring StripSlashes(LPCWSTR server)
{
    std::wstring name = Str(server);
    size_t slashes = 0;
    while (slashes < name.size() && name[slashes] == L'\\')
        ++slashes;
    return name.substr(slashes);
}

// "DOMAIN\name", "name@domain" (a UPN) or a bare name.
void SplitAccount(const std::wstring& account, std::wstring& domain, std::wstring& name)
{
    size_t slash = account.find(L'\\');
    size_t at = account.rfind(L'@');
    if (slash != std::wstring::npos) {
        domain = account.substr(0, slash);
        name = account.substr(slash + 1);
    } else if (at != std::wstring::npos) {
        name = account.substr(0, at);
        domain = account.substr(at + 1);
        size_t dot = domain.find(L'.');
        if (dot != std::wstring::npos)
            domain.erase(dot); // corp.example -> CORP, the NetBIOS name simulated here
    } else {
        domain.clear();
        name = account;
    }
}

// Whether the computer that serves a domain answers.
bool DomainControllerAnswers(const World& w, const Computer& domain)
{
    const Computer* dc = w.FindComputer(domain.dc);
    return dc != nullptr && !dc->offline && !dc->firewallClosed;
}

} // namespace

DWORD CheckPassword(const Computer& c, const User& u, const std::wstring& password, int64_t now,
                    PasswordCheck& check)
{
    check = PasswordCheck();
    if (LockedOut(c, u, now))
        return ERROR_ACCOUNT_LOCKED_OUT;
    check.lockEnded = u.locked;
    if (u.password == password)
        return 0;
    check.bad = true;
    return ERROR_LOGON_FAILURE;
}

// The lock-out steps of an authentication, in the order of MS-SAMR 3.1.5.13.7.1
// (SamValidateAuthentication): a lock-out that has run its duration ends (and with
// it the bad-password count, MS-SAMR 3.1.1.8.3); a bad password counts, from 1
// again when the last one is older than the observation window, and locks the
// account at the threshold. A good one that completes a logon clears the count.
void ApplyPasswordCheck(const Computer& c, User& u, const PasswordCheck& check, int64_t now)
{
    if (check.lockEnded) {
        u.locked = false;
        u.lockoutTime = 0;
        u.badPwCount = 0;
    }
    if (check.loggedOn)
        u.badPwCount = 0;
    if (!check.bad)
        return;
    int64_t window = static_cast<int64_t>(c.policy.lockoutWindow);
    if (window != 0 && now - u.lastBadPassword > window)
        u.badPwCount = 0;
    ++u.badPwCount;
    u.lastBadPassword = now;
    if (c.policy.lockoutThreshold != 0 && u.badPwCount >= c.policy.lockoutThreshold) {
        u.locked = true;
        u.lockoutTime = now;
    }
}

namespace {

// Whether the logon hours allow `now` (bit 0 is Sunday 00:00-01:00 UTC).
bool WithinLogonHours(const User& u, int64_t now)
{
    int64_t hour = (now / 3600 + 4 * 24) % (7 * 24); // 1970-01-01 was a Thursday
    return (u.logonHours[static_cast<size_t>(hour / 8)] >> (hour % 8)) & 1;
}

// The account-expiry field counts seconds since 1970 and only TIMEQ_FOREVER means
// "never" (USER_INFO_1017 reference page): 0 is 1970-01-01, long past.
bool AccountExpired(const User& u, int64_t now)
{
    return u.acctExpires != kTimeqForever && now >= static_cast<int64_t>(u.acctExpires);
}

} // namespace

DWORD AccountRestrictions(const Computer& c, const User& u, const std::wstring& password,
                          int64_t now, bool blankLimited)
{
    if (u.flags & UF_ACCOUNTDISABLE)
        return ERROR_ACCOUNT_DISABLED;
    if (AccountExpired(u, now))
        return ERROR_ACCOUNT_EXPIRED;
    if (!WithinLogonHours(u, now))
        return ERROR_INVALID_LOGON_HOURS;
    if (MustChangePassword(u))
        return ERROR_PASSWORD_MUST_CHANGE;
    if (PasswordExpired(c, u, now))
        return ERROR_PASSWORD_EXPIRED; // older than the policy's maximum age
    // "Accounts: Limit local account use of blank passwords to console logon only",
    // on by default: a blank password logs on at the console only.
    if (blankLimited && password.empty())
        return ERROR_ACCOUNT_RESTRICTION;
    return 0;
}

Identity CallerIdentity(const World& w, const Session& s, LPCWSTR server)
{
    std::wstring name = StripSlashes(server);
    for (const Connection& c : w.connections)
        if (SameText(c.owner, s.user) && SameText(c.server, name))
            return Identity{c.user, c.password, IdentitySource::Connection};
    // CredReadW's TargetName is the server name as the caller gave it: a credential
    // for PC2 is not one for its address (cmdkey /add:PC2 stores "PC2").
    for (const Credential& c : w.credentials)
        if (SameText(c.owner, s.user) && SameText(c.target, name))
            return Identity{c.user, c.password, IdentitySource::Credential};
    return Identity{s.user, s.password, IdentitySource::PassThrough};
}

DWORD NetworkLogon(const World& w, const Computer& target, const Identity& id, Token& token)
{
    token = Token();
    std::wstring domainName, name;
    SplitAccount(id.user, domainName, name);
    // A workgroup computer maps a domain it does not know (another computer's
    // name, ".", none) to its own database, so that a same-named local account
    // with the same password logs on (NTLM pass-through in a workgroup).
    const Computer* db = &target;
    const Computer* joined = w.JoinedDomain(target);
    bool domainAccount = joined != nullptr && SameText(domainName, joined->name);
    if (domainAccount) {
        if (!DomainControllerAnswers(w, *joined))
            return ERROR_NO_LOGON_SERVERS;
        db = joined;
    }
    const User* u = db->FindUser(name);
    if (u == nullptr || name.empty())
        return ERROR_LOGON_FAILURE; // no guest fallback: Guest is disabled
    int64_t now = w.Now();
    PasswordCheck check;
    DWORD status = CheckPassword(*db, *u, id.password, now, check);
    if (status == 0) {
        // "Limit local account use of blank passwords" is about local accounts only.
        status = AccountRestrictions(*db, *u, id.password, now,
                                     !domainAccount && target.limitBlankPasswordUse);
        check.loggedOn = status == 0 && u->badPwCount != 0;
    }
    if (check.bad || check.lockEnded || check.loggedOn) {
        t_record.pending = true;
        t_record.domainAccount = domainAccount;
        t_record.database = db->name;
        t_record.rid = u->rid;
        t_record.check = check;
    }
    if (status != 0)
        return status;
    token.user = db->UserSid(*u);
    token.sids.push_back(token.user);
    if (domainAccount)
        for (const Group& g : db->groups)
            if (db->IsMember(g, token.user))
                token.sids.push_back(db->GroupSid(g));
    const Group* admins = target.FindGroup(L"Administrators");
    for (const std::wstring& sid : token.sids)
        if (admins != nullptr && admins->builtin && target.IsMember(*admins, sid))
            token.admin = true;
    // Remote UAC (KB951016): a local administrator's network token is filtered
    // unless it is the built-in Administrator (RID 500) or the target has
    // LocalAccountTokenFilterPolicy 1; a domain administrator's is not.
    token.full = token.admin &&
                 (domainAccount || u->rid == kRidAdministrator || target.tokenFilterPolicy == 1);
    return 0;
}

void ForgetLogonRecord()
{
    t_record = LogonRecord();
}

void FlushLogonRecord()
{
    if (!t_record.pending)
        return;
    LogonRecord record = t_record;
    t_record = LogonRecord();
    WriteComputerFor(
        nullptr,
        [&](const World& w, const Computer*& db) -> DWORD {
            db = record.domainAccount ? w.FindDomain(record.database)
                                      : w.FindComputer(record.database);
            return db != nullptr ? 0 : DWORD(ERROR_NO_SUCH_DOMAIN);
        },
        [&](const World& w, Computer* db) -> DWORD {
            User* u = db->FindUserByRid(record.rid);
            if (u != nullptr)
                ApplyPasswordCheck(*db, *u, record.check, w.Now());
            return 0;
        });
}

DWORD ChangeAt(const wchar_t* function, LPCWSTR server,
               const std::function<DWORD(const World&, Computer*)>& change)
{
    return WriteComputerFor(
        function,
        [&](const World& w, const Computer*& c) -> DWORD {
            DWORD status = TargetComputer(w, server, ServerErrors::NetApi, c);
            return status != 0 ? status : CheckAccess(w, *c, server, Interface::Sam, true);
        },
        change);
}

DWORD CheckAccess(const World& w, const Computer& c, LPCWSTR server, Interface via, bool change)
{
    Session s = CurrentSession(w);
    if (&c == &w.Local()) {
        NoteRoundTrip(c);
        // Reads need nothing on the local computer; changes an elevated administrator.
        if (change && !(s.admin && s.elevated))
            return ERROR_ACCESS_DENIED;
        return 0;
    }
    // A blocked port (File and Printer Sharing not allowed) answers nothing: the
    // caller waits for its connect time-out, then SMB reports the path as not
    // found and RPC the server as unavailable.
    if (c.firewallClosed) {
        NoteWait(c.connectTimeoutMs);
        return via == Interface::Sam ? ERROR_BAD_NETPATH : RPC_S_SERVER_UNAVAILABLE;
    }
    // Every call that reaches a computer, answered or refused, is a round trip.
    NoteRoundTrip(c);
    Token token;
    // Nothing documents what each function returns when the logon behind it
    // fails; the stand-in returns the logon's own code (1326, 1327, 1331, 1793,
    // 1907, 1909) from every one of them, the answer WNetAddConnection2W
    // documents, rather than guessing another.
    DWORD status = NetworkLogon(w, c, CallerIdentity(w, s, server), token);
    if (status != 0)
        return status;
    // RestrictRemoteSAM (Windows 10 1607 and later, default O:BAG:BAD:(A;;RC;;;BA)):
    // only a full administrator token may call SAM remotely, reads included.
    // Without it any authenticated caller reads; changes always need one.
    if (via == Interface::Sam && (change || c.restrictRemoteSam) && !token.full)
        return ERROR_ACCESS_DENIED;
    // LSA lookups and POLICY_VIEW_LOCAL_INFORMATION: any authenticated caller.
    if (via == Interface::Lsa && change && !token.full)
        return ERROR_ACCESS_DENIED;
    return 0;
}

} // namespace ambsim
