// Name and SID lookups, the computer and user names, server names and rights.
#include "simtest.h"

using namespace simtest;

namespace {

class Lookup : public SimTest
{
};

struct Found
{
    bool ok = false;
    DWORD error = 0;
    std::wstring sid, domain;
    SID_NAME_USE use = SidTypeUnknown;
};

// The two-call protocol: sizes first, then the real call.
Found LookupName(const wchar_t* name, const wchar_t* system = nullptr)
{
    Found f;
    DWORD cbSid = 0, cchDomain = 0;
    SID_NAME_USE use;
    if (LookupAccountNameW(system, name, nullptr, &cbSid, nullptr, &cchDomain, &use)) {
        ADD_FAILURE() << "first call succeeded";
        return f;
    }
    f.error = GetLastError();
    if (f.error != ERROR_INSUFFICIENT_BUFFER)
        return f;
    EXPECT_GT(cbSid, 0u);
    std::vector<BYTE> sid(cbSid);
    std::vector<wchar_t> domain(cchDomain);
    DWORD need = cchDomain;
    f.ok = LookupAccountNameW(system, name, sid.data(), &cbSid, domain.data(), &cchDomain, &use);
    if (!f.ok) {
        f.error = GetLastError();
        return f;
    }
    EXPECT_EQ(cchDomain + 1, need); // success counts without the terminator
    f.sid = SidText(sid.data());
    f.domain = domain.data();
    f.use = use;
    return f;
}

TEST_F(Lookup, UsersGroupsWellKnownAndTheComputer)
{
    std::wstring domainSid = Snapshot().Local().domainSid;
    Found kanri = LookupName(L"KANRI");
    ASSERT_TRUE(kanri.ok);
    EXPECT_EQ(kanri.sid, domainSid + L"-1000");
    EXPECT_EQ(kanri.domain, L"AMBPC01");
    EXPECT_EQ(kanri.use, SidTypeUser);
    Found qualified = LookupName(L"ambpc01\\kanri");
    EXPECT_EQ(qualified.sid, kanri.sid);

    Found admins = LookupName(L"Administrators");
    EXPECT_EQ(admins.sid, L"S-1-5-32-544");
    EXPECT_EQ(admins.domain, L"BUILTIN");
    EXPECT_EQ(admins.use, SidTypeAlias);
    EXPECT_EQ(LookupName(L"BUILTIN\\Users").sid, L"S-1-5-32-545");

    Found everyone = LookupName(L"Everyone");
    EXPECT_EQ(everyone.sid, L"S-1-1-0");
    EXPECT_EQ(everyone.domain, L"");
    EXPECT_EQ(everyone.use, SidTypeWellKnownGroup);
    Found interactive = LookupName(L"NT AUTHORITY\\INTERACTIVE");
    EXPECT_EQ(interactive.sid, L"S-1-5-4");
    EXPECT_EQ(interactive.domain, L"NT AUTHORITY");
    EXPECT_EQ(LookupName(L"Authenticated Users").sid, L"S-1-5-11");
    EXPECT_EQ(LookupName(L"SYSTEM").sid, L"S-1-5-18");

    Found computer = LookupName(L"AMBPC01");
    EXPECT_EQ(computer.sid, domainSid);
    EXPECT_EQ(computer.domain, L"AMBPC01");
    EXPECT_EQ(computer.use, SidTypeDomain);
    // An empty name is BUILTIN, not the computer's own domain (as Wine answers).
    Found empty = LookupName(L"");
    EXPECT_EQ(empty.sid, L"S-1-5-32");
    EXPECT_EQ(empty.domain, L"BUILTIN");
    EXPECT_EQ(empty.use, SidTypeDomain);

    Found none = LookupName(L"nobody");
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error, (DWORD)ERROR_NONE_MAPPED);
}

TEST_F(Lookup, UserNamedLikeTheComputerNeedsTheQualifiedName)
{
    AddUser(L"ambpc01");
    Found bare = LookupName(L"AMBPC01");
    EXPECT_EQ(bare.use, SidTypeDomain); // the domain comes first, as on Windows
    EXPECT_TRUE(_wcsicmp(bare.domain.c_str(), L"AMBPC01") == 0);
    Found user = LookupName(L"AMBPC01\\AMBPC01");
    EXPECT_EQ(user.use, SidTypeUser);
    EXPECT_EQ(user.sid, Snapshot().Local().domainSid + L"-1001");
}

TEST_F(Lookup, TooSmallDomainBufferReportsBothSizes)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD cbSid = sizeof sid;
    wchar_t domain[4];
    DWORD cchDomain = 4;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountNameW(nullptr, L"kanri", sid, &cbSid, domain, &cchDomain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(cchDomain, 8u);
    EXPECT_EQ(cbSid, 28u); // S-1-5-21-a-b-c-rid: five sub-authorities
    cbSid = 8;
    cchDomain = 64;
    wchar_t big[64];
    EXPECT_FALSE(LookupAccountNameW(nullptr, L"kanri", sid, &cbSid, big, &cchDomain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(cbSid, 28u);
}

TEST_F(Lookup, SidToNameWithTheSizeProtocol)
{
    // The launcher's way: the computer's SID plus -500, under its current name.
    USER_INFO_0 rename = {const_cast<LPWSTR>(L"Kanrisha")};
    ASSERT_EQ(
        NetUserSetInfo(nullptr, L"Administrator", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
        0u);
    std::wstring text = LookupName(L"AMBPC01").sid + L"-500";
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(text.c_str(), &sid));
    wchar_t name[256], domain[256];
    DWORD cchName = 0, cchDomain = 0;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(cchName, 9u);
    EXPECT_EQ(cchDomain, 8u);
    ASSERT_TRUE(LookupAccountSidW(nullptr, sid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_STREQ(name, L"Kanrisha");
    EXPECT_STREQ(domain, L"AMBPC01");
    EXPECT_EQ(cchName, 8u);
    EXPECT_EQ(use, SidTypeUser);
    LocalFree(sid);
    ASSERT_TRUE(ConvertStringSidToSidW((text.substr(0, text.size() - 3) + L"999").c_str(), &sid));
    cchName = cchDomain = 256;
    EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);
    LocalFree(sid);
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-32-544", &sid));
    cchName = cchDomain = 256;
    ASSERT_TRUE(LookupAccountSidW(nullptr, sid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_STREQ(name, L"Administrators");
    EXPECT_STREQ(domain, L"BUILTIN");
    EXPECT_EQ(use, SidTypeAlias);
    LocalFree(sid);
}

TEST_F(Lookup, ServerNamesAddressTheRightComputer)
{
    Change([&](ambsim::World& w) {
        ambsim::Computer& c = AddManagedRemote(w, L"REMOTE1");
        c.ips.push_back(L"192.0.2.10");
        ambsim::AddUserRecord(c, L"remoteuser", w.Now());
        c.Reindex();
        ambsim::Computer off = ambsim::MakeComputer(L"SLEEPY");
        off.offline = true;
        w.computers.push_back(off);
    });
    for (const wchar_t* local :
         {static_cast<const wchar_t*>(nullptr), L"", L"AMBPC01", L"\\\\AMBPC01", L"\\\\ambpc01"}) {
        LPBYTE buf = nullptr;
        EXPECT_EQ(NetUserGetInfo(local, L"kanri", 0, &buf), 0u) << (local ? local : L"(null)");
        NetApiBufferFree(buf);
    }
    for (const wchar_t* remote : {L"\\\\REMOTE1", L"REMOTE1", L"\\\\192.0.2.10", L"192.0.2.10"}) {
        LPBYTE buf = nullptr;
        EXPECT_EQ(NetUserGetInfo(remote, L"remoteuser", 0, &buf), 0u) << remote;
        NetApiBufferFree(buf);
        EXPECT_EQ(NetUserGetInfo(remote, L"nobody", 0, &buf), (DWORD)NERR_UserNotFound);
    }
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserGetInfo(L"\\\\NOWHERE", L"kanri", 0, &buf), (DWORD)ERROR_BAD_NETPATH);
    EXPECT_EQ(NetUserGetInfo(L"\\\\SLEEPY", L"Guest", 0, &buf), (DWORD)ERROR_BAD_NETPATH);
    PVOID disp = nullptr;
    DWORD count = 0;
    EXPECT_EQ(
        NetQueryDisplayInformation(L"NOWHERE", 1, 0, 100, MAX_PREFERRED_LENGTH, &count, &disp),
        (DWORD)ERROR_BAD_NETPATH);
    Found remote = LookupName(L"remoteuser", L"REMOTE1");
    EXPECT_TRUE(remote.ok);
    EXPECT_EQ(remote.domain, L"REMOTE1");
    EXPECT_TRUE(LookupName(L"", L"192.0.2.10").ok); // the connection check of the window program
    EXPECT_TRUE(LookupName(L"", L"").ok);
    Found nowhere = LookupName(L"", L"NOWHERE");
    EXPECT_FALSE(nowhere.ok);
    EXPECT_EQ(nowhere.error, (DWORD)RPC_S_SERVER_UNAVAILABLE);
    // Changes on a remote computer.
    USER_INFO_1 ui = {const_cast<LPWSTR>(L"new"),
                      const_cast<LPWSTR>(L""),
                      0,
                      USER_PRIV_USER,
                      nullptr,
                      nullptr,
                      UF_SCRIPT,
                      nullptr};
    EXPECT_EQ(NetUserAdd(L"\\\\REMOTE1", 1, reinterpret_cast<LPBYTE>(&ui), nullptr), 0u);
    EXPECT_NE(Snapshot().computers[1].FindUser(L"new"), nullptr);
    EXPECT_EQ(Snapshot().Local().FindUser(L"new"), nullptr);
}

TEST_F(Lookup, ComputerAndUserNamesWithTheirSizeProtocols)
{
    DWORD size = 0;
    EXPECT_FALSE(GetComputerNameW(nullptr, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, 8u);
    std::vector<wchar_t> name(size);
    ASSERT_TRUE(GetComputerNameW(name.data(), &size));
    EXPECT_STREQ(name.data(), L"AMBPC01");
    EXPECT_EQ(size, 7u);

    size = 0;
    EXPECT_FALSE(GetUserNameW(nullptr, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 6u);
    wchar_t user[64];
    size = 64;
    ASSERT_TRUE(GetUserNameW(user, &size));
    EXPECT_STREQ(user, L"kanri");
    EXPECT_EQ(size, 6u);

    EXPECT_TRUE(IsUserAnAdmin());
    SetSession(L"hanako", true, false);
    EXPECT_FALSE(IsUserAnAdmin());
    size = 64;
    ASSERT_TRUE(GetUserNameW(user, &size));
    EXPECT_STREQ(user, L"hanako");
    // A session handed down by the starting process wins over the world's.
    SetEnvironmentVariableW(L"AMBRELLE_SIM_SESSION", L"Administrator;1;1");
    EXPECT_TRUE(IsUserAnAdmin());
    size = 64;
    ASSERT_TRUE(GetUserNameW(user, &size));
    EXPECT_STREQ(user, L"Administrator");
}

} // namespace
