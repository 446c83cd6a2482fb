// Local groups and their members, with Windows' codes for every refusal and
// all-or-nothing member changes.
#include <set>

#include "simtest.h"

using namespace simtest;

namespace {

class Groups : public SimTest
{
};

DWORD AddGroup(const wchar_t* name, const wchar_t* comment = nullptr)
{
    LOCALGROUP_INFO_1 g = {const_cast<LPWSTR>(name), const_cast<LPWSTR>(comment)};
    return NetLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&g), nullptr);
}

std::vector<std::wstring> Members(const wchar_t* group)
{
    std::vector<std::wstring> names;
    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    DWORD_PTR resume = 0;
    EXPECT_EQ(NetLocalGroupGetMembers(nullptr, group, 3, &buf, MAX_PREFERRED_LENGTH, &read, &total,
                                      &resume),
              0u);
    for (DWORD i = 0; i < read; ++i)
        names.push_back(reinterpret_cast<LOCALGROUP_MEMBERS_INFO_3*>(buf)[i].lgrmi3_domainandname);
    NetApiBufferFree(buf);
    return names;
}

DWORD Level3(DWORD (*fn)(LPCWSTR, LPCWSTR, DWORD, LPBYTE, DWORD), const wchar_t* group,
             std::vector<const wchar_t*> names)
{
    std::vector<LOCALGROUP_MEMBERS_INFO_3> entries;
    for (const wchar_t* n : names)
        entries.push_back({const_cast<LPWSTR>(n)});
    return fn(nullptr, group, 3, reinterpret_cast<LPBYTE>(entries.data()),
              static_cast<DWORD>(entries.size()));
}

TEST_F(Groups, BuiltinGroupsWithTheirUsualMembers)
{
    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    DWORD_PTR resume = 0;
    ASSERT_EQ(NetLocalGroupEnum(L"", 1, &buf, MAX_PREFERRED_LENGTH, &read, &total, &resume), 0u);
    std::set<std::wstring> names;
    for (DWORD i = 0; i < read; ++i)
        names.insert(reinterpret_cast<LOCALGROUP_INFO_1*>(buf)[i].lgrpi1_name);
    NetApiBufferFree(buf);
    for (const wchar_t* n :
         {L"Administrators", L"Users", L"Guests", L"Power Users", L"Remote Desktop Users",
          L"Backup Operators", L"Replicator", L"Event Log Readers", L"IIS_IUSRS"})
        EXPECT_TRUE(names.count(n)) << n;
    EXPECT_EQ(SidOf(L"Administrators"), L"S-1-5-32-544");
    EXPECT_EQ(SidOf(L"Users"), L"S-1-5-32-545");
    EXPECT_EQ(SidOf(L"Guests"), L"S-1-5-32-546");
    EXPECT_EQ(SidOf(L"Power Users"), L"S-1-5-32-547");
    EXPECT_EQ(SidOf(L"Remote Desktop Users"), L"S-1-5-32-555");
    EXPECT_EQ(Members(L"Users"),
              (std::vector<std::wstring>{L"NT AUTHORITY\\INTERACTIVE",
                                         L"NT AUTHORITY\\Authenticated Users", L"AMBPC01\\kanri"}));
    EXPECT_EQ(Members(L"Administrators"),
              (std::vector<std::wstring>{L"AMBPC01\\Administrator", L"AMBPC01\\kanri"}));
    EXPECT_EQ(Members(L"Guests"), (std::vector<std::wstring>{L"AMBPC01\\Guest"}));
    EXPECT_EQ(NetLocalGroupDel(nullptr, L"Users"), (DWORD)ERROR_SPECIAL_ACCOUNT);
}

TEST_F(Groups, AddReadChangeAndDelete)
{
    EXPECT_EQ(AddGroup(L"経理", L"経理部"), 0u);
    EXPECT_EQ(AddGroup(L"経理"), (DWORD)ERROR_ALIAS_EXISTS);
    EXPECT_EQ(AddGroup(L"ADMINISTRATORS"), (DWORD)ERROR_ALIAS_EXISTS);
    EXPECT_EQ(AddGroup(L"KANRI"), (DWORD)NERR_UserExists);
    EXPECT_EQ(AddGroup(L"a*b"), (DWORD)NERR_BadUsername);
    EXPECT_EQ(AddGroup(L".. ."), (DWORD)NERR_BadUsername);
    EXPECT_EQ(AddGroup(L"group."), (DWORD)NERR_BadUsername);
    EXPECT_EQ(AddGroup(L"a,b"), (DWORD)NERR_BadUsername);
    EXPECT_EQ(AddGroup(std::wstring(257, L'g').c_str()), (DWORD)NERR_BadUsername);
    EXPECT_EQ(AddGroup(std::wstring(256, L'g').c_str()), 0u);
    EXPECT_EQ(AddGroup(L"mail@group"), 0u); // @ is fine in a group name
    LOCALGROUP_INFO_0 g0 = {const_cast<LPWSTR>(L"level0")};
    EXPECT_EQ(NetLocalGroupAdd(nullptr, 0, reinterpret_cast<LPBYTE>(&g0), nullptr), 0u);
    EXPECT_EQ(NetLocalGroupAdd(nullptr, 2, reinterpret_cast<LPBYTE>(&g0), nullptr),
              (DWORD)ERROR_INVALID_LEVEL);
    // Groups take relative identifiers from the same sequence as users.
    EXPECT_EQ(SidOf(L"経理"), Snapshot().Local().domainSid + L"-1001");

    LPBYTE buf = nullptr;
    ASSERT_EQ(NetLocalGroupGetInfo(nullptr, L"経理", 1, &buf), 0u);
    EXPECT_STREQ(reinterpret_cast<LOCALGROUP_INFO_1*>(buf)->lgrpi1_name, L"経理");
    EXPECT_STREQ(reinterpret_cast<LOCALGROUP_INFO_1*>(buf)->lgrpi1_comment, L"経理部");
    NetApiBufferFree(buf);
    EXPECT_EQ(NetLocalGroupGetInfo(nullptr, L"none", 1, &buf), (DWORD)NERR_GroupNotFound);
    EXPECT_EQ(NetLocalGroupGetInfo(nullptr, L"kanri", 1, &buf), (DWORD)NERR_GroupNotFound);
    // Level 1 is the only documented one: 0, 2 and the write-only 1002 are refused.
    for (DWORD level : {0u, 2u, 1002u}) {
        buf = reinterpret_cast<LPBYTE>(1);
        EXPECT_EQ(NetLocalGroupGetInfo(nullptr, L"経理", level, &buf), (DWORD)ERROR_INVALID_LEVEL)
            << level;
        EXPECT_EQ(buf, nullptr);
    }

    LOCALGROUP_INFO_1002 c = {const_cast<LPWSTR>(L"新しい説明")};
    EXPECT_EQ(NetLocalGroupSetInfo(nullptr, L"経理", 1002, reinterpret_cast<LPBYTE>(&c), nullptr),
              0u);
    LOCALGROUP_INFO_1 g1 = {const_cast<LPWSTR>(L"ignored"), const_cast<LPWSTR>(L"c1")};
    EXPECT_EQ(NetLocalGroupSetInfo(nullptr, L"経理", 1, reinterpret_cast<LPBYTE>(&g1), nullptr),
              0u);
    EXPECT_EQ(Snapshot().Local().FindGroup(L"経理")->comment, L"c1");
    LOCALGROUP_INFO_0 rename = {const_cast<LPWSTR>(L"Users")};
    EXPECT_EQ(NetLocalGroupSetInfo(nullptr, L"経理", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
              (DWORD)ERROR_ALIAS_EXISTS);
    rename.lgrpi0_name = const_cast<LPWSTR>(L"Kanri");
    EXPECT_EQ(NetLocalGroupSetInfo(nullptr, L"経理", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
              (DWORD)NERR_UserExists);
    rename.lgrpi0_name = const_cast<LPWSTR>(L"総務");
    EXPECT_EQ(NetLocalGroupSetInfo(nullptr, L"経理", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
              0u);
    EXPECT_EQ(NetLocalGroupSetInfo(nullptr, L"経理", 1002, reinterpret_cast<LPBYTE>(&c), nullptr),
              (DWORD)NERR_GroupNotFound);
    EXPECT_EQ(NetLocalGroupDel(nullptr, L"総務"), 0u);
    EXPECT_EQ(NetLocalGroupDel(nullptr, L"総務"), (DWORD)NERR_GroupNotFound);

    SetSession(L"kanri", true, false);
    EXPECT_EQ(AddGroup(L"x"), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(NetLocalGroupDel(nullptr, L"level0"), (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(Groups, EnumPagesWithResumeHandle)
{
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(AddGroup((L"g" + std::to_wstring(i)).c_str(), L"some comment"), 0u);
    std::set<std::wstring> seen;
    DWORD_PTR resume = 0;
    DWORD status;
    int calls = 0;
    do {
        LPBYTE buf = nullptr;
        DWORD read = 0, total = 0;
        status = NetLocalGroupEnum(nullptr, 1, &buf, 400, &read, &total, &resume);
        ASSERT_TRUE(status == 0 || status == ERROR_MORE_DATA);
        for (DWORD i = 0; i < read; ++i)
            EXPECT_TRUE(
                seen.insert(reinterpret_cast<LOCALGROUP_INFO_1*>(buf)[i].lgrpi1_name).second);
        NetApiBufferFree(buf);
    } while (status == ERROR_MORE_DATA && ++calls < 100);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(seen.size(), Snapshot().Local().groups.size());
    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    EXPECT_EQ(NetLocalGroupEnum(nullptr, 0, &buf, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              0u);
    NetApiBufferFree(buf);
    EXPECT_EQ(NetLocalGroupEnum(nullptr, 2, &buf, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              (DWORD)ERROR_INVALID_LEVEL);
}

TEST_F(Groups, AddMembersIsAllOrNothing)
{
    AddUser(L"taro");
    AddUser(L"hanako");
    ASSERT_EQ(AddGroup(L"team"), 0u);
    EXPECT_EQ(Level3(NetLocalGroupAddMembers, L"team", {L"AMBPC01\\taro", L"AMBPC01\\ghost"}),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    EXPECT_TRUE(Members(L"team").empty());
    EXPECT_EQ(Level3(NetLocalGroupAddMembers, L"team", {L"AMBPC01\\taro", L"Users"}),
              (DWORD)ERROR_INVALID_MEMBER); // an alias cannot hold an alias
    EXPECT_EQ(Level3(NetLocalGroupAddMembers, L"team", {L"AMBPC01"}), (DWORD)ERROR_INVALID_MEMBER);
    EXPECT_EQ(Level3(NetLocalGroupAddMembers, L"nogroup", {L"AMBPC01\\taro"}),
              (DWORD)NERR_GroupNotFound);
    EXPECT_EQ(Level3(NetLocalGroupAddMembers, L"team",
                     {L"AMBPC01\\taro", L"hanako", L"Everyone", L"NT AUTHORITY\\SYSTEM"}),
              0u);
    EXPECT_EQ(Members(L"team"), (std::vector<std::wstring>{L"AMBPC01\\taro", L"AMBPC01\\hanako",
                                                           L"Everyone", L"NT AUTHORITY\\SYSTEM"}));
    EXPECT_EQ(Level3(NetLocalGroupAddMembers, L"team", {L"AMBPC01\\kanri", L"AMBPC01\\TARO"}),
              (DWORD)ERROR_MEMBER_IN_ALIAS);
    EXPECT_EQ(Members(L"team").size(), 4u); // kanri was not added either

    // Level 0: one SID.
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD cb = sizeof sid, cch = 256;
    wchar_t domain[256];
    SID_NAME_USE use;
    ASSERT_TRUE(LookupAccountNameW(nullptr, L"kanri", sid, &cb, domain, &cch, &use));
    LOCALGROUP_MEMBERS_INFO_0 m0 = {sid};
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"team", 0, reinterpret_cast<LPBYTE>(&m0), 1), 0u);
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"team", 0, reinterpret_cast<LPBYTE>(&m0), 1),
              (DWORD)ERROR_MEMBER_IN_ALIAS);
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"team", 1, reinterpret_cast<LPBYTE>(&m0), 1),
              (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetLocalGroupDelMember(nullptr, L"team", sid), 0u);
    EXPECT_EQ(NetLocalGroupAddMember(nullptr, L"team", sid), 0u);
    EXPECT_EQ(NetLocalGroupAddMember(nullptr, L"team", sid), (DWORD)ERROR_MEMBER_IN_ALIAS);
    EXPECT_EQ(NetLocalGroupDelMember(nullptr, L"team", sid), 0u);
    EXPECT_EQ(NetLocalGroupDelMember(nullptr, L"team", sid), (DWORD)ERROR_MEMBER_NOT_IN_ALIAS);

    // An unknown SID is a foreign member unless the computer's own domain is its
    // prefix; one that is not there cannot be removed, whatever it names.
    PSID own = nullptr, foreign = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW((Snapshot().Local().domainSid + L"-4242").c_str(), &own));
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-21-111-222-333-1105", &foreign));
    EXPECT_EQ(NetLocalGroupAddMember(nullptr, L"team", own), (DWORD)ERROR_NO_SUCH_MEMBER);
    EXPECT_EQ(NetLocalGroupAddMember(nullptr, L"team", foreign), 0u);
    EXPECT_EQ(Members(L"team").back(), L"S-1-5-21-111-222-333-1105");
    EXPECT_EQ(NetLocalGroupDelMember(nullptr, L"team", foreign), 0u);
    for (PSID gone : {own, foreign})
        EXPECT_EQ(NetLocalGroupDelMember(nullptr, L"team", gone), (DWORD)ERROR_MEMBER_NOT_IN_ALIAS);
    LocalFree(own);
    LocalFree(foreign);
}

TEST_F(Groups, SetAndDeleteMembers)
{
    AddUser(L"taro");
    AddUser(L"hanako");
    ASSERT_EQ(AddGroup(L"team"), 0u);
    ASSERT_EQ(Level3(NetLocalGroupAddMembers, L"team", {L"AMBPC01\\taro", L"AMBPC01\\kanri"}), 0u);
    EXPECT_EQ(Level3(NetLocalGroupSetMembers, L"team", {L"AMBPC01\\hanako", L"AMBPC01\\nobody"}),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    EXPECT_EQ(Members(L"team").size(), 2u);
    EXPECT_EQ(Level3(NetLocalGroupSetMembers, L"team", {L"AMBPC01\\hanako", L"AMBPC01\\kanri"}),
              0u);
    EXPECT_EQ(Members(L"team"), (std::vector<std::wstring>{L"AMBPC01\\kanri", L"AMBPC01\\hanako"}));
    EXPECT_EQ(Level3(NetLocalGroupDelMembers, L"team", {L"AMBPC01\\hanako", L"AMBPC01\\taro"}),
              (DWORD)ERROR_MEMBER_NOT_IN_ALIAS);
    EXPECT_EQ(Level3(NetLocalGroupDelMembers, L"team", {L"AMBPC01\\ghost"}),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    EXPECT_EQ(Members(L"team").size(), 2u);
    EXPECT_EQ(Level3(NetLocalGroupDelMembers, L"team", {L"AMBPC01\\hanako", L"kanri"}), 0u);
    EXPECT_TRUE(Members(L"team").empty());
    EXPECT_EQ(Level3(NetLocalGroupSetMembers, L"team", {}), 0u);

    // A member whose account is gone stays through a replacement that keeps
    // it, but cannot come in new.
    std::wstring orphan = Snapshot().Local().domainSid + L"-4242";
    Change([&](ambsim::World& w) { w.Local().FindGroup(L"team")->members.push_back(orphan); });
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(orphan.c_str(), &sid));
    LOCALGROUP_MEMBERS_INFO_0 kept = {sid};
    EXPECT_EQ(NetLocalGroupSetMembers(nullptr, L"team", 0, reinterpret_cast<LPBYTE>(&kept), 1), 0u);
    EXPECT_EQ(Members(L"team"), std::vector<std::wstring>{orphan});
    ASSERT_EQ(AddGroup(L"other"), 0u);
    EXPECT_EQ(NetLocalGroupSetMembers(nullptr, L"other", 0, reinterpret_cast<LPBYTE>(&kept), 1),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    LocalFree(sid);
}

TEST_F(Groups, GetMembersAtEveryLevelWithPaging)
{
    Change([](ambsim::World& w) {
        ambsim::Computer& c = w.Local();
        for (int i = 0; i < 40; ++i)
            ambsim::AddUserRecord(c, L"m" + std::to_wstring(i), w.Now());
    });
    std::vector<std::wstring> all;
    DWORD_PTR resume = 0;
    DWORD status;
    int calls = 0;
    do {
        LPBYTE buf = nullptr;
        DWORD read = 0, total = 0;
        status = NetLocalGroupGetMembers(nullptr, L"Users", 1, &buf, 200, &read, &total, &resume);
        ASSERT_TRUE(status == 0 || status == ERROR_MORE_DATA);
        auto* m = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_1*>(buf);
        for (DWORD i = 0; i < read; ++i)
            all.push_back(m[i].lgrmi1_name);
        NetApiBufferFree(buf);
    } while (status == ERROR_MORE_DATA && ++calls < 100);
    EXPECT_GT(calls, 1);
    ASSERT_EQ(all.size(), 43u);
    EXPECT_EQ(all[0], L"INTERACTIVE");
    EXPECT_EQ(all[2], L"kanri");

    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    ASSERT_EQ(NetLocalGroupGetMembers(nullptr, L"Administrators", 2, &buf, MAX_PREFERRED_LENGTH,
                                      &read, &total, nullptr),
              0u);
    auto* m2 = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(buf);
    ASSERT_EQ(read, 2u);
    EXPECT_EQ(m2[1].lgrmi2_sidusage, SidTypeUser);
    EXPECT_STREQ(m2[1].lgrmi2_domainandname, L"AMBPC01\\kanri");
    EXPECT_EQ(SidText(m2[1].lgrmi2_sid), SidOf(L"kanri"));
    NetApiBufferFree(buf);
    ASSERT_EQ(NetLocalGroupGetMembers(nullptr, L"Administrators", 0, &buf, MAX_PREFERRED_LENGTH,
                                      &read, &total, nullptr),
              0u);
    EXPECT_EQ(SidText(reinterpret_cast<LOCALGROUP_MEMBERS_INFO_0*>(buf)[0].lgrmi0_sid),
              SidOf(L"Administrator"));
    NetApiBufferFree(buf);
    EXPECT_EQ(NetLocalGroupGetMembers(nullptr, L"Administrators", 4, &buf, MAX_PREFERRED_LENGTH,
                                      &read, &total, nullptr),
              (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetLocalGroupGetMembers(nullptr, L"nogroup", 1, &buf, MAX_PREFERRED_LENGTH, &read,
                                      &total, nullptr),
              (DWORD)NERR_GroupNotFound);
}

// A computer knows its own accounts, BUILTIN and the well-known names; another
// computer's local accounts it cannot name, but takes them as members by SID.
TEST_F(Groups, AnotherComputersAccountsAreForeignToThisOne)
{
    std::wstring serverAdmin;
    Change([&](ambsim::World& w) {
        ambsim::Computer& c = AddManagedRemote(w, L"SERVER2");
        c.ips.push_back(L"192.0.2.7");
        serverAdmin = c.domainSid + L"-500";
    });
    EXPECT_EQ(Level3(NetLocalGroupAddMembers, L"Users", {L"SERVER2\\Administrator"}),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    LOCALGROUP_MEMBERS_INFO_3 m = {const_cast<LPWSTR>(L"AMBPC01\\kanri")};
    EXPECT_EQ(NetLocalGroupAddMembers(L"\\\\SERVER2", L"Users", 3, reinterpret_cast<LPBYTE>(&m), 1),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    EXPECT_EQ(SidOf(L"AMBPC01\\kanri", L"SERVER2"), L"");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);
    // Addresses are not domain names.
    m.lgrmi3_domainandname = const_cast<LPWSTR>(L"192.0.2.7\\Guest");
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"Users", 3, reinterpret_cast<LPBYTE>(&m), 1),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    // By SID: a foreign SID stays a member, unnamed; an unknown BUILTIN SID is refused.
    PSID foreign = nullptr, unknownAlias = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(serverAdmin.c_str(), &foreign));
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-32-999", &unknownAlias));
    LOCALGROUP_MEMBERS_INFO_0 bySid = {foreign};
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"Users", 0, reinterpret_cast<LPBYTE>(&bySid), 1),
              0u);
    bySid.lgrmi0_sid = unknownAlias;
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"Users", 0, reinterpret_cast<LPBYTE>(&bySid), 1),
              (DWORD)ERROR_NO_SUCH_MEMBER);
    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    ASSERT_EQ(NetLocalGroupGetMembers(nullptr, L"Users", 1, &buf, MAX_PREFERRED_LENGTH, &read,
                                      &total, nullptr),
              0u);
    auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_1*>(buf);
    EXPECT_EQ(SidText(members[read - 1].lgrmi1_sid), serverAdmin);
    EXPECT_EQ(members[read - 1].lgrmi1_sidusage, SidTypeUnknown);
    NetApiBufferFree(buf);
    wchar_t name[64], domain[64];
    DWORD cchName = 64, cchDomain = 64;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidW(nullptr, foreign, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);
    LocalFree(foreign);
    LocalFree(unknownAlias);
    // The account domain's group None, every local user's primary group.
    std::wstring none = SidOf(L"AMBPC01\\None");
    EXPECT_EQ(none, Snapshot().Local().domainSid + L"-513");
    PSID noneSid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(none.c_str(), &noneSid));
    cchName = cchDomain = 64;
    ASSERT_TRUE(LookupAccountSidW(nullptr, noneSid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_STREQ(name, L"None");
    EXPECT_EQ(use, SidTypeGroup);
    LocalFree(noneSid);
}

} // namespace
