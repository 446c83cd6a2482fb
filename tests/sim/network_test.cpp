// Who reaches another computer, as whom, and what that computer lets the caller do.
#include "simtest.h"

#include <wincred.h>
#include <winnetwk.h>

using namespace simtest;

namespace {

class Network : public SimTest
{
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        Change([&](ambsim::World& w) {
            w.session.password = L"pw";
            ambsim::Computer c = ambsim::MakeComputer(L"PC2");
            c.ips.push_back(L"192.0.2.2");
            auto add = [&](const wchar_t* name, const wchar_t* password, bool admin) {
                ambsim::User& u = ambsim::AddUserRecord(c, name, w.Now());
                u.password = password;
                if (admin)
                    c.FindGroup(L"Administrators")->members.push_back(c.UserSid(u));
                return c.users.size() - 1;
            };
            add(L"kanri", L"pw", true);
            add(L"blank", L"", false);
            c.users[add(L"off", L"pw", false)].flags |= UF_ACCOUNTDISABLE;
            c.users[add(L"old", L"pw", false)].acctExpires = 0;
            c.users[add(L"must", L"pw", false)].passwordExpired = true;
            add(L"user", L"pw", false);
            c.FindUser(L"Administrator")->flags &= ~UF_ACCOUNTDISABLE;
            c.FindUser(L"Administrator")->password = L"adm";
            c.policy.lockoutThreshold = 2;
            c.Reindex();
            w.computers.push_back(c);
        });
    }
};

DWORD Connect(const wchar_t* remote, const wchar_t* user, const wchar_t* password)
{
    NETRESOURCEW r = {};
    r.dwType = RESOURCETYPE_ANY;
    r.lpRemoteName = const_cast<LPWSTR>(remote);
    return WNetAddConnection2W(&r, password, user, CONNECT_TEMPORARY);
}

DWORD EnumUsers(const wchar_t* server)
{
    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    DWORD status = NetUserEnum(server, 0, 0, &buf, MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    NetApiBufferFree(buf);
    return status;
}

TEST_F(Network, TheTargetChecksTheLogonAgainstItsOwnAccounts)
{
    struct
    {
        const wchar_t *user, *password;
        DWORD status;
    } cases[] = {
        {L"PC2\\kanri", L"pw", 0},
        {L"PC2\\kanri", L"bad", ERROR_LOGON_FAILURE},
        {L"nobody", L"pw", ERROR_LOGON_FAILURE},
        {L"AMBPC01\\kanri", L"pw", 0}, // an unknown domain maps to the target's own accounts
        {L"blank", L"", ERROR_ACCOUNT_RESTRICTION},
        {L"off", L"pw", ERROR_ACCOUNT_DISABLED},
        {L"old", L"pw", ERROR_ACCOUNT_EXPIRED},
        {L"must", L"pw", ERROR_PASSWORD_MUST_CHANGE},
        {L"Guest", L"", ERROR_ACCOUNT_DISABLED},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Connect(L"\\\\PC2\\IPC$", c.user, c.password), c.status) << c.user;
        WNetCancelConnection2W(L"\\\\PC2\\IPC$", 0, TRUE);
    }
    // Bad passwords count toward the target's lock-out, wherever they come from.
    EXPECT_EQ(Connect(L"\\\\PC2\\IPC$", L"user", L"x"), (DWORD)ERROR_LOGON_FAILURE);
    EXPECT_EQ(EnumUsers(L"PC2"), (DWORD)ERROR_ACCESS_DENIED); // pass-through as kanri
    Change([](ambsim::World& w) {
        w.session.user = L"user";
        w.session.password = L"y";
    });
    EXPECT_EQ(EnumUsers(L"PC2"), (DWORD)ERROR_LOGON_FAILURE);
    EXPECT_EQ(Connect(L"\\\\PC2\\IPC$", L"user", L"pw"), (DWORD)ERROR_ACCOUNT_LOCKED_OUT);
}

TEST_F(Network, ConnectionsCredentialsAndRemoteUac)
{
    // kanri is a local administrator of PC2: filtered over the network (remote UAC).
    EXPECT_EQ(EnumUsers(L"PC2"), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_NE(SidOf(L"Guest", L"PC2"), L"") << "lookups: any authenticated caller";
    Change([](ambsim::World& w) { w.FindComputer(L"PC2")->tokenFilterPolicy = 1; });
    EXPECT_EQ(EnumUsers(L"PC2"), 0u);
    Change([](ambsim::World& w) { w.FindComputer(L"PC2")->tokenFilterPolicy = 0; });
    // The built-in Administrator through an explicit connection: a full token.
    ASSERT_EQ(Connect(L"\\\\PC2\\IPC$", L"PC2\\Administrator", L"adm"), 0u);
    EXPECT_EQ(EnumUsers(L"\\\\PC2"), 0u);
    EXPECT_EQ(Connect(L"\\\\PC2\\IPC$", L"PC2\\user", L"pw"),
              (DWORD)ERROR_SESSION_CREDENTIAL_CONFLICT);
    // An address is another server name, with the session's identity.
    EXPECT_EQ(EnumUsers(L"192.0.2.2"), (DWORD)ERROR_ACCESS_DENIED);
    HANDLE e = nullptr;
    ASSERT_EQ(WNetOpenEnumW(RESOURCE_CONNECTED, RESOURCETYPE_ANY, 0, nullptr, &e), 0u);
    BYTE buffer[1024];
    DWORD count = 0xFFFFFFFF, size = sizeof buffer;
    ASSERT_EQ(WNetEnumResourceW(e, &count, buffer, &size), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<NETRESOURCEW*>(buffer)->lpRemoteName, L"\\\\PC2\\IPC$");
    EXPECT_EQ(WNetEnumResourceW(e, &count, buffer, &size), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(WNetCloseEnum(e), 0u);
    EXPECT_EQ(WNetCancelConnection2W(L"\\\\PC2\\IPC$", 0, FALSE), 0u);
    EXPECT_EQ(WNetCancelConnection2W(L"\\\\PC2\\IPC$", 0, FALSE), (DWORD)ERROR_NOT_CONNECTED);
    EXPECT_EQ(EnumUsers(L"PC2"), (DWORD)ERROR_ACCESS_DENIED);
    // A stored credential for the server name, used without the program asking.
    std::wstring password = L"adm";
    CREDENTIALW cred = {};
    cred.Type = CRED_TYPE_DOMAIN_PASSWORD;
    cred.TargetName = const_cast<LPWSTR>(L"PC2");
    cred.UserName = const_cast<LPWSTR>(L"PC2\\Administrator");
    cred.CredentialBlob = reinterpret_cast<LPBYTE>(&password[0]);
    cred.CredentialBlobSize = static_cast<DWORD>(password.size() * 2);
    cred.Persist = CRED_PERSIST_LOCAL_MACHINE;
    ASSERT_TRUE(CredWriteW(&cred, 0));
    EXPECT_EQ(EnumUsers(L"PC2"), 0u);
    PCREDENTIALW read = nullptr;
    ASSERT_TRUE(CredReadW(L"PC2", CRED_TYPE_DOMAIN_PASSWORD, 0, &read));
    EXPECT_STREQ(read->UserName, L"PC2\\Administrator");
    EXPECT_EQ(read->CredentialBlobSize, 0u) << "a domain password is not readable";
    CredFree(read);
    ASSERT_TRUE(CredDeleteW(L"PC2", CRED_TYPE_DOMAIN_PASSWORD, 0));
    EXPECT_FALSE(CredDeleteW(L"PC2", CRED_TYPE_DOMAIN_PASSWORD, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_FOUND);
    // RestrictRemoteSAM off: any authenticated caller reads, but does not change.
    Change([](ambsim::World& w) { w.FindComputer(L"PC2")->restrictRemoteSam = false; });
    EXPECT_EQ(EnumUsers(L"PC2"), 0u);
    EXPECT_EQ(NetUserDel(L"PC2", L"user"), (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(Network, ABlockedPortFailsAfterTheConnectTimeOut)
{
    Change([](ambsim::World& w) {
        w.FindComputer(L"PC2")->firewallClosed = true;
        w.FindComputer(L"PC2")->connectTimeoutMs = 200;
    });
    // Measured by the performance counter: Wine's GetTickCount reads a tick that
    // the Wine server updates on a timer, which lags under load.
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    EXPECT_EQ(EnumUsers(L"PC2"), (DWORD)ERROR_BAD_NETPATH);
    QueryPerformanceCounter(&end);
    EXPECT_GE((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart, 200);
    EXPECT_EQ(SidOf(L"Guest", L"PC2"), L"");
    EXPECT_EQ(GetLastError(), (DWORD)RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(Network, DomainAccountsResolveOnMembersAndDomainAdminsAreFull)
{
    Change([](ambsim::World& w) {
        w.computers.push_back(ambsim::MakeComputer(L"DC1"));
        w.domains.push_back(ambsim::MakeDomain(L"CORP", L"DC1"));
        ambsim::Computer& d = w.domains.back();
        ambsim::User& boss = ambsim::AddDomainUser(d, L"boss", w.Now());
        boss.password = L"Boss1";
        d.FindGroup(L"Domain Admins")->members.push_back(d.UserSid(boss));
        ambsim::AddDomainUser(d, L"staff", w.Now()).password = L"Staff1";
        ambsim::JoinDomain(*w.FindComputer(L"PC2"), d);
    });
    EXPECT_NE(SidOf(L"CORP\\staff", L"PC2"), L"");
    EXPECT_EQ(SidOf(L"CORP\\staff"), L"") << "the local computer is not a member";
    EXPECT_EQ(SidOf(L"PC2", L"PC2"), L"") << "a member does not map its own name alone";
    EXPECT_NE(SidOf(L"PC2\\", L"PC2"), L"");
    ASSERT_EQ(Connect(L"\\\\PC2\\IPC$", L"CORP\\boss", L"Boss1"), 0u);
    EXPECT_EQ(EnumUsers(L"PC2"), 0u) << "a domain administrator is not filtered";
    WNetCancelConnection2W(L"\\\\PC2\\IPC$", 0, TRUE);
    ASSERT_EQ(Connect(L"\\\\PC2\\IPC$", L"staff@corp.example", L"Staff1"), 0u);
    EXPECT_EQ(EnumUsers(L"PC2"), (DWORD)ERROR_ACCESS_DENIED);
    WNetCancelConnection2W(L"\\\\PC2\\IPC$", 0, TRUE);
    Change([](ambsim::World& w) { w.FindComputer(L"DC1")->offline = true; });
    EXPECT_EQ(Connect(L"\\\\PC2\\IPC$", L"CORP\\boss", L"Boss1"), (DWORD)ERROR_NO_LOGON_SERVERS);
}

// What the session's token answers: Administrators enabled only in the full token;
// a domain user through Domain Admins and an Entra ID role SID count like a member.
TEST_F(Network, TheSessionTokenHoldsWhatMakesItAnAdministrator)
{
    const wchar_t kRole[] = L"S-1-12-1-2935245824-1294732452-2519542191-3411468211";
    Change([&](ambsim::World& w) {
        w.computers.push_back(ambsim::MakeComputer(L"DC1"));
        w.domains.push_back(ambsim::MakeDomain(L"CORP", L"DC1"));
        ambsim::Computer& d = w.domains.back();
        ambsim::User& boss = ambsim::AddDomainUser(d, L"boss", w.Now());
        d.FindGroup(L"Domain Admins")->members.push_back(d.UserSid(boss));
        ambsim::AddDomainUser(d, L"staff", w.Now());
        ambsim::JoinDomain(w.Local(), d);
        ambsim::AddUserRecord(w.Local(), L"plain", w.Now());
        w.Local().FindGroup(L"Administrators")->members.push_back(kRole);
    });
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(admins);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
    struct
    {
        const wchar_t* user;
        bool elevated, withRole;
        BOOL member;
        TOKEN_ELEVATION_TYPE type;
        BOOL linkedMember; // FALSE: no linked token
    } cases[] = {
        {L"kanri", true, false, TRUE, TokenElevationTypeFull, FALSE},
        {L"kanri", false, false, FALSE, TokenElevationTypeLimited, TRUE},
        {L"CORP\\boss", true, false, TRUE, TokenElevationTypeFull, FALSE},
        {L"CORP\\staff", true, false, FALSE, TokenElevationTypeDefault, FALSE},
        {L"plain", true, true, TRUE, TokenElevationTypeFull, FALSE},
        {L"plain", false, true, FALSE, TokenElevationTypeLimited, TRUE},
        {L"plain", true, false, FALSE, TokenElevationTypeDefault, FALSE},
    };
    for (const auto& c : cases) {
        Change([&](ambsim::World& w) {
            w.session.user = c.user;
            w.session.elevated = c.elevated;
            w.session.tokenSids.assign(c.withRole ? 1 : 0, kRole);
        });
        BOOL member = -1;
        ASSERT_TRUE(CheckTokenMembership(nullptr, admins, &member)) << c.user;
        EXPECT_EQ(member, c.member) << c.user << " " << c.elevated;
        HANDLE process = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process));
        TOKEN_ELEVATION_TYPE type = {};
        DWORD got = 0;
        ASSERT_TRUE(GetTokenInformation(process, TokenElevationType, &type, sizeof(type), &got));
        EXPECT_EQ(type, c.type) << c.user << " " << c.elevated;
        EXPECT_FALSE(CheckTokenMembership(process, admins, &member)) << "a primary token";
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_IMPERSONATION_TOKEN);
        TOKEN_LINKED_TOKEN linked = {};
        BOOL hasLink =
            GetTokenInformation(process, TokenLinkedToken, &linked, sizeof(linked), &got);
        EXPECT_EQ(hasLink, type != TokenElevationTypeDefault) << c.user;
        if (hasLink) {
            ASSERT_TRUE(CheckTokenMembership(linked.LinkedToken, admins, &member));
            EXPECT_EQ(member, c.linkedMember) << c.user << " " << c.elevated;
            CloseHandle(linked.LinkedToken);
        } else {
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_SUCH_LOGON_SESSION);
        }
        CloseHandle(process);
    }
}

} // namespace
