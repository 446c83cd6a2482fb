// Users: the built-in accounts, adding, reading at every level, changing,
// deleting, enumerating and paging, as Windows' NETAPI32 does.
#include <set>

#include "simtest.h"

using namespace simtest;

namespace {

class Users : public SimTest
{
};

USER_INFO_4* Info4(const wchar_t* name, const wchar_t* server = nullptr)
{
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserGetInfo(server, name, 4, &buf), 0u) << name;
    return reinterpret_cast<USER_INFO_4*>(buf);
}

DWORD AddLevel1(const wchar_t* name, const wchar_t* password, DWORD* parmErr = nullptr,
                DWORD priv = USER_PRIV_USER, const wchar_t* server = nullptr)
{
    USER_INFO_1 ui = {};
    ui.usri1_name = const_cast<LPWSTR>(name);
    ui.usri1_password = const_cast<LPWSTR>(password);
    ui.usri1_priv = priv;
    ui.usri1_flags = UF_SCRIPT;
    return NetUserAdd(server, 1, reinterpret_cast<LPBYTE>(&ui), parmErr);
}

TEST_F(Users, FreshWorldHasWindowsBuiltinAccounts)
{
    struct
    {
        const wchar_t* name;
        DWORD rid;
        bool disabled;
    } expected[] = {{L"Administrator", 500, true},
                    {L"Guest", 501, true},
                    {L"DefaultAccount", 503, true},
                    {L"WDAGUtilityAccount", 504, true},
                    {L"kanri", 1000, false}};
    for (const auto& e : expected) {
        LPBYTE buf = nullptr;
        ASSERT_EQ(NetUserGetInfo(nullptr, e.name, 20, &buf), 0u) << e.name;
        auto* u = reinterpret_cast<USER_INFO_20*>(buf);
        EXPECT_EQ(u->usri20_user_id, e.rid);
        EXPECT_EQ((u->usri20_flags & UF_ACCOUNTDISABLE) != 0, e.disabled) << e.name;
        EXPECT_TRUE(u->usri20_flags & UF_NORMAL_ACCOUNT);
        NetApiBufferFree(buf);
    }
    USER_INFO_4* admin = Info4(L"administrator"); // names compare without case
    ASSERT_NE(admin, nullptr);
    EXPECT_STREQ(admin->usri4_name, L"Administrator");
    EXPECT_EQ(admin->usri4_priv, USER_PRIV_ADMIN);
    EXPECT_EQ(admin->usri4_acct_expires, TIMEQ_FOREVER);
    EXPECT_EQ(admin->usri4_units_per_week, UNITS_PER_WEEK);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(admin->usri4_logon_hours[i], 0xFF);
    EXPECT_EQ(admin->usri4_primary_group_id, 513u);
    NetApiBufferFree(admin);
}

TEST_F(Users, AddAtEveryLevelJoinsUsersAndTakesTheNextRid)
{
    USER_INFO_1 u1 = {const_cast<LPWSTR>(L"one"),
                      const_cast<LPWSTR>(L"pw1"),
                      0,
                      USER_PRIV_USER,
                      nullptr,
                      const_cast<LPWSTR>(L"c1"),
                      UF_SCRIPT,
                      nullptr};
    ASSERT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&u1), nullptr), 0u);
    USER_INFO_2 u2 = {};
    u2.usri2_name = const_cast<LPWSTR>(L"two");
    u2.usri2_password = const_cast<LPWSTR>(L"pw2");
    u2.usri2_priv = USER_PRIV_USER;
    u2.usri2_flags = UF_SCRIPT | UF_DONT_EXPIRE_PASSWD;
    u2.usri2_full_name = const_cast<LPWSTR>(L"二番");
    u2.usri2_acct_expires = TIMEQ_FOREVER;
    ASSERT_EQ(NetUserAdd(nullptr, 2, reinterpret_cast<LPBYTE>(&u2), nullptr), 0u);
    USER_INFO_3 u3 = {};
    u3.usri3_name = const_cast<LPWSTR>(L"three");
    u3.usri3_priv = USER_PRIV_USER;
    u3.usri3_flags = UF_SCRIPT;
    u3.usri3_primary_group_id = 513;
    u3.usri3_acct_expires = TIMEQ_FOREVER;
    u3.usri3_password_expired = 1;
    ASSERT_EQ(NetUserAdd(nullptr, 3, reinterpret_cast<LPBYTE>(&u3), nullptr), 0u);
    USER_INFO_4 u4 = {};
    u4.usri4_name = const_cast<LPWSTR>(L"four");
    u4.usri4_password = const_cast<LPWSTR>(L"");
    u4.usri4_priv = USER_PRIV_USER;
    u4.usri4_flags = UF_SCRIPT;
    u4.usri4_full_name = const_cast<LPWSTR>(L"Four");
    ASSERT_EQ(NetUserAdd(nullptr, 4, reinterpret_cast<LPBYTE>(&u4), nullptr), 0u);

    EXPECT_EQ(NetUserAdd(nullptr, 0, reinterpret_cast<LPBYTE>(&u4), nullptr),
              (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetUserAdd(nullptr, 5, reinterpret_cast<LPBYTE>(&u4), nullptr),
              (DWORD)ERROR_INVALID_LEVEL);

    const wchar_t* names[] = {L"one", L"two", L"three", L"four"};
    for (int i = 0; i < 4; ++i) {
        USER_INFO_4* u = Info4(names[i]);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(*GetSidSubAuthority(u->usri4_user_sid, 4), 1001u + i);
        EXPECT_EQ(u->usri4_flags & (UF_SCRIPT | UF_NORMAL_ACCOUNT),
                  DWORD(UF_SCRIPT | UF_NORMAL_ACCOUNT));
        NetApiBufferFree(u);
        LPBYTE groups = nullptr;
        DWORD read = 0, total = 0;
        ASSERT_EQ(NetUserGetLocalGroups(nullptr, names[i], 0, LG_INCLUDE_INDIRECT, &groups,
                                        MAX_PREFERRED_LENGTH, &read, &total),
                  0u);
        ASSERT_EQ(read, 1u);
        EXPECT_STREQ(reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(groups)->lgrui0_name, L"Users");
        NetApiBufferFree(groups);
    }
    USER_INFO_4* three = Info4(L"three");
    EXPECT_EQ(three->usri4_password_expired, 1u);
    EXPECT_TRUE(three->usri4_flags & UF_PASSWORD_EXPIRED);
    NetApiBufferFree(three);
    USER_INFO_4* two = Info4(L"two");
    EXPECT_STREQ(two->usri4_full_name, L"二番");
    EXPECT_TRUE(two->usri4_flags & UF_DONT_EXPIRE_PASSWD);
    NetApiBufferFree(two);
}

TEST_F(Users, AddRefusesBadNamesClashesAndPrivileges)
{
    DWORD parm = 0;
    EXPECT_EQ(AddLevel1(L"Kanri", L""), (DWORD)NERR_UserExists);                  // case-blind
    EXPECT_EQ(AddLevel1(L"administrators", L""), (DWORD)NERR_GroupExists);        // shared names
    EXPECT_EQ(AddLevel1(L"abcdefghijklmnopqrstu", L""), (DWORD)NERR_BadUsername); // 21
    EXPECT_EQ(AddLevel1(L"abcdefghijklmnopqrst", L""), 0u);                       // 20
    for (const wchar_t* bad :
         {L"a/b", L"a\\b", L"a[b", L"a]b", L"a:b", L"a;b", L"a|b", L"a=b", L"a,b", L"a+b", L"a*b",
          L"a?b", L"a<b", L"a>b", L"a\"b", L"...", L" . ", L"a\tb", L"taro."})
        EXPECT_EQ(AddLevel1(bad, L""), (DWORD)NERR_BadUsername) << bad;
    EXPECT_EQ(AddLevel1(L"taro@example", L""), 0u); // "@" is on no forbidden list
    EXPECT_EQ(AddLevel1(L"", L"", &parm), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parm, (DWORD)USER_NAME_PARMNUM);
    EXPECT_EQ(AddLevel1(L"boss", L"", &parm, USER_PRIV_ADMIN), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parm, (DWORD)USER_PRIV_PARMNUM);
    EXPECT_EQ(NetUserAdd(nullptr, 1, nullptr, &parm), (DWORD)ERROR_INVALID_PARAMETER);
    // A user may bear the computer's name.
    EXPECT_EQ(AddLevel1(L"AMBPC01", L""), 0u);
    // Nothing of the refused ones was stored, and identifiers were not consumed.
    ambsim::World w = Snapshot();
    EXPECT_EQ(w.Local().users.size(), 8u);
    EXPECT_EQ(w.Local().nextRid, 1004u);
}

TEST_F(Users, PasswordPolicyGivesPasswordTooShort)
{
    Change([](ambsim::World& w) { w.Local().policy.minLength = 8; });
    EXPECT_EQ(AddLevel1(L"shorty", L"1234567"), (DWORD)NERR_PasswordTooShort);
    EXPECT_EQ(AddLevel1(L"longer", L"12345678"), 0u);
    USER_INFO_1003 pw = {const_cast<LPWSTR>(L"short")};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"longer", 1003, reinterpret_cast<LPBYTE>(&pw), nullptr),
              (DWORD)NERR_PasswordTooShort);
    EXPECT_EQ(Snapshot().Local().FindUser(L"longer")->password, L"12345678");
}

TEST_F(Users, ChangesNeedAnElevatedAdministrator)
{
    SetSession(L"kanri", true, false);
    EXPECT_EQ(AddLevel1(L"x", L""), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(NetUserDel(nullptr, L"kanri"), (DWORD)ERROR_ACCESS_DENIED);
    USER_INFO_1007 c = {const_cast<LPWSTR>(L"c")};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"kanri", 1007, reinterpret_cast<LPBYTE>(&c), nullptr),
              (DWORD)ERROR_ACCESS_DENIED);
    // Reading is open to every user.
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", 4, &buf), 0u);
    NetApiBufferFree(buf);
    SetSession(L"kanri", false, true);
    EXPECT_EQ(AddLevel1(L"x", L""), (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(Users, GetInfoAtEveryLevel)
{
    Change([](ambsim::World& w) {
        ambsim::User* u = w.Local().FindUser(L"kanri");
        u->fullName = L"管理 太郎";
        u->comment = L"comment";
        u->usrComment = L"user comment";
        u->homeDir = L"C:\\home";
        u->profile = L"C:\\Users\\kanri";
        u->homeDirDrive = L"H:";
        u->scriptPath = L"logon.cmd";
    });
    for (DWORD level : {0u, 1u, 2u, 3u, 4u, 10u, 11u, 20u, 23u, 24u}) {
        LPBYTE buf = nullptr;
        ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", level, &buf), 0u) << level;
        ASSERT_NE(buf, nullptr);
        NetApiBufferFree(buf);
    }
    // The one-field levels can be written but not read.
    for (DWORD level : {1003u, 1005u, 1006u, 1007u, 1008u, 1009u, 1010u, 1011u, 1012u, 1014u, 1017u,
                        1020u, 1024u, 1051u, 1052u, 1053u}) {
        LPBYTE buf = reinterpret_cast<LPBYTE>(1);
        EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", level, &buf), (DWORD)ERROR_INVALID_LEVEL)
            << level;
        EXPECT_EQ(buf, nullptr) << level;
    }
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", 3, &buf), 0u);
    auto* u3 = reinterpret_cast<USER_INFO_3*>(buf);
    EXPECT_STREQ(u3->usri3_name, L"kanri");
    EXPECT_EQ(u3->usri3_password, nullptr);
    EXPECT_STREQ(u3->usri3_full_name, L"管理 太郎");
    EXPECT_STREQ(u3->usri3_usr_comment, L"user comment");
    EXPECT_STREQ(u3->usri3_home_dir, L"C:\\home");
    EXPECT_STREQ(u3->usri3_profile, L"C:\\Users\\kanri");
    EXPECT_STREQ(u3->usri3_home_dir_drive, L"H:");
    EXPECT_STREQ(u3->usri3_script_path, L"logon.cmd");
    EXPECT_EQ(u3->usri3_user_id, 1000u);
    EXPECT_EQ(u3->usri3_priv, USER_PRIV_ADMIN);
    NetApiBufferFree(buf);
    ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", 10, &buf), 0u);
    EXPECT_STREQ(reinterpret_cast<USER_INFO_10*>(buf)->usri10_comment, L"comment");
    EXPECT_STREQ(reinterpret_cast<USER_INFO_10*>(buf)->usri10_full_name, L"管理 太郎");
    NetApiBufferFree(buf);
    ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", 23, &buf), 0u);
    auto* u23 = reinterpret_cast<USER_INFO_23*>(buf);
    EXPECT_EQ(SidText(u23->usri23_user_sid), Snapshot().Local().domainSid + L"-1000");
    NetApiBufferFree(buf);
    ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", 1, &buf), 0u);
    EXPECT_STREQ(reinterpret_cast<USER_INFO_1*>(buf)->usri1_comment, L"comment");
    NetApiBufferFree(buf);

    buf = reinterpret_cast<LPBYTE>(1);
    EXPECT_EQ(NetUserGetInfo(nullptr, L"nobody", 4, &buf), (DWORD)NERR_UserNotFound);
    EXPECT_EQ(buf, nullptr); // nothing to free after a failure
    EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", 5, &buf), (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", 1003, &buf), (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetUserGetInfo(nullptr, L"Administrators", 0, &buf), (DWORD)NERR_UserNotFound);
}

TEST_F(Users, SetInfoRenamesAndChangesSingleFields)
{
    AddUser(L"taro", L"pw");
    USER_INFO_0 rename = {const_cast<LPWSTR>(L"kanri")};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
              (DWORD)NERR_UserExists);
    rename.usri0_name = const_cast<LPWSTR>(L"Users");
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
              (DWORD)NERR_GroupExists);
    rename.usri0_name = const_cast<LPWSTR>(L"bad*name");
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
              (DWORD)NERR_BadUsername);
    rename.usri0_name = const_cast<LPWSTR>(L"Jiro");
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 0, reinterpret_cast<LPBYTE>(&rename), nullptr), 0u);
    rename.usri0_name = const_cast<LPWSTR>(L"jiro"); // a change of case only
    EXPECT_EQ(NetUserSetInfo(nullptr, L"Jiro", 0, reinterpret_cast<LPBYTE>(&rename), nullptr), 0u);
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 1007, reinterpret_cast<LPBYTE>(&rename), nullptr),
              (DWORD)NERR_UserNotFound);
    // The renamed account keeps its SID and its memberships.
    EXPECT_EQ(SidOf(L"jiro"), Snapshot().Local().domainSid + L"-1001");

    USER_INFO_1007 comment = {const_cast<LPWSTR>(L"新しい説明")};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"jiro", 1007, reinterpret_cast<LPBYTE>(&comment), nullptr),
              0u);
    USER_INFO_1011 full = {const_cast<LPWSTR>(L"次郎")};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"jiro", 1011, reinterpret_cast<LPBYTE>(&full), nullptr), 0u);
    USER_INFO_1017 expires = {2000000000u};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"jiro", 1017, reinterpret_cast<LPBYTE>(&expires), nullptr),
              0u);
    USER_INFO_4* u = Info4(L"jiro");
    EXPECT_STREQ(u->usri4_comment, L"新しい説明");
    EXPECT_STREQ(u->usri4_full_name, L"次郎");
    EXPECT_EQ(u->usri4_acct_expires, 2000000000u);
    NetApiBufferFree(u);
    EXPECT_EQ(NetUserSetInfo(nullptr, L"jiro", 1004, reinterpret_cast<LPBYTE>(&full), nullptr),
              (DWORD)ERROR_INVALID_LEVEL);
}

TEST_F(Users, LockoutCanBeClearedButNotSet)
{
    AddUser(L"taro", L"pw");
    USER_INFO_1008 flags = {UF_SCRIPT | UF_LOCKOUT};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 1008, reinterpret_cast<LPBYTE>(&flags), nullptr),
              0u);
    USER_INFO_4* u = Info4(L"taro");
    EXPECT_FALSE(u->usri4_flags & UF_LOCKOUT);
    NetApiBufferFree(u);

    Change([](ambsim::World& w) { w.Local().FindUser(L"taro")->locked = true; });
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"taro", 1, &buf), 0u);
    flags.usri1008_flags = reinterpret_cast<USER_INFO_1*>(buf)->usri1_flags;
    NetApiBufferFree(buf);
    EXPECT_TRUE(flags.usri1008_flags & UF_LOCKOUT);
    flags.usri1008_flags &= ~UF_LOCKOUT;
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 1008, reinterpret_cast<LPBYTE>(&flags), nullptr),
              0u);
    EXPECT_FALSE(Snapshot().Local().FindUser(L"taro")->locked);
}

TEST_F(Users, Level4RoundTripAndPasswordExpiry)
{
    AddUser(L"taro", L"pw");
    USER_INFO_4* u = Info4(L"taro");
    ASSERT_NE(u, nullptr);
    u->usri4_password_expired = 1;
    u->usri4_flags |= UF_ACCOUNTDISABLE | UF_PASSWD_CANT_CHANGE | UF_PASSWORD_EXPIRED;
    u->usri4_comment = const_cast<LPWSTR>(L"c4");
    u->usri4_logon_hours[0] = 0; // Sunday 00:00-08:00 UTC closed
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 4, reinterpret_cast<LPBYTE>(u), nullptr), 0u);
    NetApiBufferFree(u);
    u = Info4(L"taro");
    EXPECT_EQ(u->usri4_password_expired, 1u);
    EXPECT_TRUE(u->usri4_flags & UF_PASSWORD_EXPIRED);
    EXPECT_TRUE(u->usri4_flags & UF_ACCOUNTDISABLE);
    EXPECT_TRUE(u->usri4_flags & UF_PASSWD_CANT_CHANGE);
    EXPECT_STREQ(u->usri4_comment, L"c4");
    EXPECT_EQ(u->usri4_logon_hours[0], 0);
    EXPECT_EQ(u->usri4_logon_hours[1], 0xFF);
    NetApiBufferFree(u);
    // A new password (1003) ends the expired state; the age restarts.
    USER_INFO_1003 pw = {const_cast<LPWSTR>(L"")};
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 1003, reinterpret_cast<LPBYTE>(&pw), nullptr), 0u);
    u = Info4(L"taro");
    EXPECT_EQ(u->usri4_password_expired, 0u);
    EXPECT_FALSE(u->usri4_flags & UF_PASSWORD_EXPIRED);
    EXPECT_LT(u->usri4_password_age, 5u);
    NetApiBufferFree(u);
}

bool Inside(const void* p, const BYTE* block, SIZE_T size)
{
    const BYTE* b = static_cast<const BYTE*>(p);
    return b >= block && b < block + size;
}

TEST_F(Users, ReturnedRecordsAreOneBlockFreedByNetApiBufferFree)
{
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", 4, &buf), 0u);
    SIZE_T size = HeapSize(GetProcessHeap(), 0, buf);
    ASSERT_NE(size, static_cast<SIZE_T>(-1));
    auto* u = reinterpret_cast<USER_INFO_4*>(buf);
    for (const void* p : {static_cast<const void*>(u->usri4_name), (const void*)u->usri4_comment,
                          (const void*)u->usri4_full_name, (const void*)u->usri4_home_dir,
                          (const void*)u->usri4_script_path, (const void*)u->usri4_usr_comment,
                          (const void*)u->usri4_parms, (const void*)u->usri4_workstations,
                          (const void*)u->usri4_logon_hours, (const void*)u->usri4_logon_server,
                          (const void*)u->usri4_profile, (const void*)u->usri4_home_dir_drive,
                          (const void*)u->usri4_user_sid})
        EXPECT_TRUE(Inside(p, buf, size));
    EXPECT_TRUE(IsValidSid(u->usri4_user_sid));
    EXPECT_EQ(NetApiBufferFree(buf), 0u);
    EXPECT_EQ(NetApiBufferFree(nullptr), 0u);
    LPVOID mine = nullptr;
    ASSERT_EQ(NetApiBufferAllocate(64, &mine), 0u);
    EXPECT_EQ(NetApiBufferFree(mine), 0u);
}

TEST_F(Users, SetInfoAtTheOtherLevels)
{
    AddUser(L"taro", L"pw");
    auto set = [](DWORD level, void* record, DWORD* parm = nullptr) {
        return NetUserSetInfo(nullptr, L"taro", level, static_cast<LPBYTE>(record), parm);
    };
    USER_INFO_1 u1 = {const_cast<LPWSTR>(L"ignored"),
                      nullptr,
                      0,
                      USER_PRIV_USER,
                      const_cast<LPWSTR>(L"C:\\h1"),
                      const_cast<LPWSTR>(L"c1"),
                      UF_SCRIPT | UF_DONT_EXPIRE_PASSWD,
                      const_cast<LPWSTR>(L"s1.cmd")};
    EXPECT_EQ(set(1, &u1), 0u);
    // The privilege follows Administrators; a full record may only repeat it.
    DWORD privParm = 0;
    u1.usri1_priv = USER_PRIV_ADMIN;
    EXPECT_EQ(set(1, &u1, &privParm), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(privParm, (DWORD)USER_PRIV_PARMNUM);
    u1.usri1_priv = USER_PRIV_USER;
    USER_INFO_4* u = Info4(L"taro"); // the name in a full record does not rename
    ASSERT_NE(u, nullptr);
    EXPECT_STREQ(u->usri4_home_dir, L"C:\\h1");
    EXPECT_STREQ(u->usri4_script_path, L"s1.cmd");
    EXPECT_TRUE(u->usri4_flags & UF_DONT_EXPIRE_PASSWD);
    NetApiBufferFree(u);
    USER_INFO_2 u2 = {};
    u2.usri2_priv = USER_PRIV_USER;
    u2.usri2_flags = UF_SCRIPT;
    u2.usri2_full_name = const_cast<LPWSTR>(L"f2");
    u2.usri2_usr_comment = const_cast<LPWSTR>(L"uc2");
    u2.usri2_acct_expires = 1800000000u;
    u2.usri2_units_per_week = UNITS_PER_WEEK;
    u2.usri2_max_storage = USER_MAXSTORAGE_UNLIMITED;
    EXPECT_EQ(set(2, &u2), 0u);
    USER_INFO_3 u3 = {};
    u3.usri3_priv = USER_PRIV_USER;
    u3.usri3_flags = UF_SCRIPT;
    u3.usri3_acct_expires = TIMEQ_FOREVER;
    u3.usri3_primary_group_id = 513;
    u3.usri3_profile = const_cast<LPWSTR>(L"C:\\p3");
    u3.usri3_home_dir_drive = const_cast<LPWSTR>(L"Z:");
    EXPECT_EQ(set(3, &u3), 0u);
    u3.usri3_primary_group_id = 512;
    DWORD parm = 0;
    EXPECT_EQ(set(3, &u3, &parm), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parm, (DWORD)USER_PRIMARY_GROUP_PARMNUM);
    u = Info4(L"taro");
    EXPECT_STREQ(u->usri4_full_name, L"f2");
    EXPECT_STREQ(u->usri4_usr_comment, L"uc2");
    EXPECT_STREQ(u->usri4_profile, L"C:\\p3");
    EXPECT_STREQ(u->usri4_home_dir_drive, L"Z:");
    EXPECT_EQ(u->usri4_acct_expires, TIMEQ_FOREVER);
    NetApiBufferFree(u);

    USER_INFO_1005 priv = {USER_PRIV_ADMIN};
    EXPECT_EQ(set(1005, &priv, &parm), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parm, (DWORD)USER_PRIV_PARMNUM);
    priv.usri1005_priv = USER_PRIV_USER;
    EXPECT_EQ(set(1005, &priv), 0u);
    USER_INFO_1006 home = {const_cast<LPWSTR>(L"D:\\home")};
    EXPECT_EQ(set(1006, &home), 0u);
    USER_INFO_1009 script = {const_cast<LPWSTR>(L"x.bat")};
    EXPECT_EQ(set(1009, &script), 0u);
    USER_INFO_1012 uc = {const_cast<LPWSTR>(L"uc")};
    EXPECT_EQ(set(1012, &uc), 0u);
    USER_INFO_1014 ws = {const_cast<LPWSTR>(L"PC1,PC2")};
    EXPECT_EQ(set(1014, &ws), 0u);
    BYTE hours[21];
    memset(hours, 0x0F, sizeof hours);
    USER_INFO_1020 lh = {UNITS_PER_WEEK, hours};
    EXPECT_EQ(set(1020, &lh), 0u);
    lh.usri1020_units_per_week = 7;
    EXPECT_EQ(set(1020, &lh, &parm), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parm, (DWORD)USER_UNITS_PER_WEEK_PARMNUM);
    USER_INFO_1024 cc = {81};
    EXPECT_EQ(set(1024, &cc), 0u);
    USER_INFO_1051 pg = {513};
    EXPECT_EQ(set(1051, &pg), 0u);
    USER_INFO_1052 prof = {const_cast<LPWSTR>(L"C:\\prof")};
    EXPECT_EQ(set(1052, &prof), 0u);
    USER_INFO_1053 drive = {const_cast<LPWSTR>(L"Y:")};
    EXPECT_EQ(set(1053, &drive), 0u);
    u = Info4(L"taro");
    EXPECT_STREQ(u->usri4_home_dir, L"D:\\home");
    EXPECT_STREQ(u->usri4_script_path, L"x.bat");
    EXPECT_STREQ(u->usri4_usr_comment, L"uc");
    EXPECT_STREQ(u->usri4_workstations, L"PC1,PC2");
    EXPECT_EQ(u->usri4_logon_hours[5], 0x0F);
    EXPECT_EQ(u->usri4_country_code, 81u);
    EXPECT_STREQ(u->usri4_profile, L"C:\\prof");
    EXPECT_STREQ(u->usri4_home_dir_drive, L"Y:");
    NetApiBufferFree(u);
}

TEST_F(Users, PasswordsAgeOutUnderAMaximumAgePolicy)
{
    AddUser(L"taro", L"pw");
    AddUser(L"hanako", L"pw");
    USER_INFO_1008 keep = {UF_SCRIPT | UF_DONT_EXPIRE_PASSWD};
    ASSERT_EQ(NetUserSetInfo(nullptr, L"hanako", 1008, reinterpret_cast<LPBYTE>(&keep), nullptr),
              0u);
    const int64_t now = 1700000000;
    Change([&](ambsim::World& w) {
        w.fixedClock = now;
        w.Local().policy.maxAge = 42 * 86400;
        w.Local().FindUser(L"taro")->passwordLastSet = now - 43 * 86400;
        w.Local().FindUser(L"hanako")->passwordLastSet = now - 43 * 86400;
    });
    USER_INFO_4* u = Info4(L"taro");
    EXPECT_TRUE(u->usri4_flags & UF_PASSWORD_EXPIRED);
    EXPECT_EQ(u->usri4_password_expired, 1u);
    EXPECT_EQ(u->usri4_password_age, 43u * 86400);
    // Written back as read, then with zero, it stays expired: zero cannot
    // negate an expiration that has happened.
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 4, reinterpret_cast<LPBYTE>(u), nullptr), 0u);
    u->usri4_password_expired = 0;
    EXPECT_EQ(NetUserSetInfo(nullptr, L"taro", 4, reinterpret_cast<LPBYTE>(u), nullptr), 0u);
    NetApiBufferFree(u);
    u = Info4(L"taro");
    EXPECT_TRUE(u->usri4_flags & UF_PASSWORD_EXPIRED);
    EXPECT_EQ(u->usri4_password_age, 43u * 86400);
    NetApiBufferFree(u);
    u = Info4(L"hanako"); // "never expires" wins over the age and a "must change" mark
    u->usri4_password_expired = 1;
    EXPECT_EQ(NetUserSetInfo(nullptr, L"hanako", 4, reinterpret_cast<LPBYTE>(u), nullptr), 0u);
    NetApiBufferFree(u);
    u = Info4(L"hanako");
    EXPECT_FALSE(u->usri4_flags & UF_PASSWORD_EXPIRED);
    EXPECT_EQ(u->usri4_password_expired, 0u);
    NetApiBufferFree(u);
}

TEST_F(Users, TimesFollowTheWorldClock)
{
    Change([](ambsim::World& w) {
        w.fixedClock = 1700000000;
        ambsim::User* u = w.Local().FindUser(L"kanri");
        u->passwordLastSet = 1700000000 - 86400;
        u->lastLogon = 1699990000;
    });
    USER_INFO_4* u = Info4(L"kanri");
    EXPECT_EQ(u->usri4_password_age, 86400u);
    EXPECT_EQ(u->usri4_last_logon, 1699990000u);
    NetApiBufferFree(u);
}

TEST_F(Users, DeleteRemovesMembershipsAndSparesBuiltins)
{
    AddUser(L"taro", L"pw");
    std::wstring sid = SidOf(L"taro");
    LOCALGROUP_MEMBERS_INFO_3 m = {const_cast<LPWSTR>(L"AMBPC01\\taro")};
    ASSERT_EQ(
        NetLocalGroupAddMembers(nullptr, L"Administrators", 3, reinterpret_cast<LPBYTE>(&m), 1),
        0u);
    EXPECT_EQ(NetUserDel(nullptr, L"TARO"), 0u);
    EXPECT_EQ(NetUserDel(nullptr, L"taro"), (DWORD)NERR_UserNotFound);
    ambsim::World w = Snapshot();
    for (const ambsim::Group& g : w.Local().groups)
        EXPECT_FALSE(w.Local().IsMember(g, sid)) << g.name.c_str();
    for (const wchar_t* builtin :
         {L"Administrator", L"Guest", L"DefaultAccount", L"WDAGUtilityAccount"})
        EXPECT_EQ(NetUserDel(nullptr, builtin), (DWORD)ERROR_SPECIAL_ACCOUNT) << builtin;
    // Identifiers are never reused.
    AddUser(L"hanako", L"");
    EXPECT_EQ(SidOf(L"hanako"), w.Local().domainSid + L"-1002");
}

TEST_F(Users, EnumPagesWithResumeHandle)
{
    Change([](ambsim::World& w) {
        for (int i = 0; i < 60; ++i)
            ambsim::AddUserRecord(w.Local(), L"u" + std::to_wstring(i), w.Now());
    });
    std::set<std::wstring> seen;
    DWORD resume = 0;
    DWORD status;
    int calls = 0;
    do {
        LPBYTE buf = nullptr;
        DWORD read = 0, total = 0;
        status = NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, &buf, 300, &read, &total, &resume);
        ASSERT_TRUE(status == 0 || status == ERROR_MORE_DATA) << status;
        EXPECT_GE(total, read);
        auto* users = reinterpret_cast<USER_INFO_0*>(buf);
        for (DWORD i = 0; i < read; ++i)
            EXPECT_TRUE(seen.insert(users[i].usri0_name).second);
        NetApiBufferFree(buf);
        ++calls;
    } while (status == ERROR_MORE_DATA && calls < 100);
    EXPECT_EQ(status, 0u);
    EXPECT_GT(calls, 2);
    EXPECT_EQ(seen.size(), 65u);
    for (DWORD level : {1u, 2u, 3u, 10u, 11u, 20u}) {
        LPBYTE buf = nullptr;
        DWORD read = 0, total = 0;
        EXPECT_EQ(
            NetUserEnum(nullptr, level, 0, &buf, MAX_PREFERRED_LENGTH, &read, &total, nullptr), 0u);
        EXPECT_EQ(read, 65u);
        NetApiBufferFree(buf);
    }
    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    EXPECT_EQ(NetUserEnum(nullptr, 4, 0, &buf, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetUserEnum(nullptr, 0, FILTER_WORKSTATION_TRUST_ACCOUNT, &buf, MAX_PREFERRED_LENGTH,
                          &read, &total, nullptr),
              0u);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(NetUserEnum(nullptr, 0, 0x4000, &buf, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(Users, DisplayInformationPagesOfAHundredSortedByName)
{
    Change([](ambsim::World& w) {
        for (int i = 0; i < 250; ++i) {
            wchar_t name[16];
            wsprintfW(name, L"z%03d", 249 - i);
            ambsim::AddUserRecord(w.Local(), name, w.Now());
        }
    });
    std::vector<std::wstring> names;
    DWORD index = 0, status;
    int calls = 0;
    do {
        PVOID buf = nullptr;
        DWORD count = 0;
        status = NetQueryDisplayInformation(L"", 1, index, 100, MAX_PREFERRED_LENGTH, &count, &buf);
        ASSERT_TRUE(status == 0 || status == ERROR_MORE_DATA);
        EXPECT_LE(count, 100u);
        auto* users = static_cast<NET_DISPLAY_USER*>(buf);
        for (DWORD i = 0; i < count; ++i)
            names.push_back(users[i].usri1_name);
        if (count > 0)
            index = users[count - 1].usri1_next_index;
        NetApiBufferFree(buf);
        ++calls;
    } while (status == ERROR_MORE_DATA && calls < 10);
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(names.size(), 255u);
    for (size_t i = 1; i < names.size(); ++i)
        EXPECT_LT(CompareStringOrdinal(names[i - 1].c_str(), -1, names[i].c_str(), -1, TRUE),
                  CSTR_EQUAL);
    PVOID buf = nullptr;
    DWORD count = 0;
    EXPECT_EQ(NetQueryDisplayInformation(nullptr, 4, 0, 100, MAX_PREFERRED_LENGTH, &count, &buf),
              (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetQueryDisplayInformation(nullptr, 3, 0, 100, MAX_PREFERRED_LENGTH, &count, &buf),
              0u);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(static_cast<NET_DISPLAY_GROUP*>(buf)->grpi3_name, L"None");
    NetApiBufferFree(buf);
    buf = nullptr;
    EXPECT_EQ(NetQueryDisplayInformation(nullptr, 2, 0, 100, MAX_PREFERRED_LENGTH, &count, &buf),
              0u);
    EXPECT_EQ(count, 0u); // a workstation has no machine accounts
    NetApiBufferFree(buf);
}

TEST_F(Users, GetLocalGroupsListsDirectMemberships)
{
    LPBYTE buf = nullptr;
    DWORD read = 0, total = 0;
    ASSERT_EQ(NetUserGetLocalGroups(nullptr, L"kanri", 0, LG_INCLUDE_INDIRECT, &buf,
                                    MAX_PREFERRED_LENGTH, &read, &total),
              0u);
    std::set<std::wstring> names;
    for (DWORD i = 0; i < read; ++i)
        names.insert(reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(buf)[i].lgrui0_name);
    NetApiBufferFree(buf);
    EXPECT_EQ(names, (std::set<std::wstring>{L"Administrators", L"Users"}));
    EXPECT_EQ(NetUserGetLocalGroups(nullptr, L"AMBPC01\\kanri", 0, 0, &buf, MAX_PREFERRED_LENGTH,
                                    &read, &total),
              0u);
    NetApiBufferFree(buf);
    EXPECT_EQ(
        NetUserGetLocalGroups(nullptr, L"nobody", 0, 0, &buf, MAX_PREFERRED_LENGTH, &read, &total),
        (DWORD)NERR_UserNotFound);
    EXPECT_EQ(
        NetUserGetLocalGroups(nullptr, L"kanri", 1, 0, &buf, MAX_PREFERRED_LENGTH, &read, &total),
        (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(
        NetUserGetLocalGroups(nullptr, L"kanri", 0, 2, &buf, MAX_PREFERRED_LENGTH, &read, &total),
        (DWORD)ERROR_INVALID_PARAMETER);
}

} // namespace
