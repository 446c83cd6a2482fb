// NetUserModalsGet and NetUserModalsSet at levels 0 and 3: Windows 11's
// defaults, the reference pages' rules with parm_err, rights, and a policy
// that new passwords then follow.
#include "simtest.h"

using simtest::SimTest;

class Modals : public SimTest
{
protected:
    USER_MODALS_INFO_0 Level0()
    {
        LPBYTE buf = nullptr;
        USER_MODALS_INFO_0 info = {};
        EXPECT_EQ(NetUserModalsGet(nullptr, 0, &buf), 0u);
        if (buf != nullptr)
            info = *reinterpret_cast<USER_MODALS_INFO_0*>(buf);
        NetApiBufferFree(buf);
        return info;
    }
    USER_MODALS_INFO_3 Level3()
    {
        LPBYTE buf = nullptr;
        USER_MODALS_INFO_3 info = {};
        EXPECT_EQ(NetUserModalsGet(nullptr, 3, &buf), 0u);
        if (buf != nullptr)
            info = *reinterpret_cast<USER_MODALS_INFO_3*>(buf);
        NetApiBufferFree(buf);
        return info;
    }
};

TEST_F(Modals, AFreshWorldHasWindows11DefaultsAtLevelsZeroAndThree)
{
    USER_MODALS_INFO_0 p = Level0();
    EXPECT_EQ(p.usrmod0_min_passwd_len, 0u);
    EXPECT_EQ(p.usrmod0_max_passwd_age, 42u * ONE_DAY);
    EXPECT_EQ(p.usrmod0_min_passwd_age, 0u);
    EXPECT_EQ(p.usrmod0_force_logoff, (DWORD)TIMEQ_FOREVER);
    EXPECT_EQ(p.usrmod0_password_hist_len, 0u);
    USER_MODALS_INFO_3 l = Level3();
    EXPECT_EQ(l.usrmod3_lockout_threshold, 10u);
    EXPECT_EQ(l.usrmod3_lockout_duration, 600u);
    EXPECT_EQ(l.usrmod3_lockout_observation_window, 600u);
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserModalsGet(nullptr, 2, &buf), (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetUserModalsGet(nullptr, 0, nullptr), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(NetUserModalsGet(L"\\\\NOSUCHPC", 0, &buf), (DWORD)ERROR_BAD_NETPATH);
    EXPECT_EQ(buf, nullptr);
}

TEST_F(Modals, SetRefusesAValueOutOfItsRuleWithItsParmNumAndWritesNothing)
{
    const USER_MODALS_INFO_0 good0 = {8, 90 * ONE_DAY, ONE_DAY, TIMEQ_FOREVER, 5};
    struct Case0
    {
        USER_MODALS_INFO_0 info;
        DWORD parm;
    } bad0[] = {
        {{LM20_PWLEN + 1, 90 * ONE_DAY, 0, TIMEQ_FOREVER, 0}, MODALS_MIN_PASSWD_LEN_PARMNUM},
        {{0, ONE_DAY - 1, 0, TIMEQ_FOREVER, 0}, MODALS_MAX_PASSWD_AGE_PARMNUM},
        {{0, 0, 0, TIMEQ_FOREVER, 0}, MODALS_MAX_PASSWD_AGE_PARMNUM},
        {{0, 2 * ONE_DAY, 3 * ONE_DAY, TIMEQ_FOREVER, 0}, MODALS_MIN_PASSWD_AGE_PARMNUM},
        {{0, 90 * ONE_DAY, 0, TIMEQ_FOREVER, DEF_MAX_PWHIST + 1}, MODALS_PASSWD_HIST_LEN_PARMNUM},
    };
    for (auto& c : bad0) {
        DWORD parm = 0;
        EXPECT_EQ(NetUserModalsSet(nullptr, 0, reinterpret_cast<LPBYTE>(&c.info), &parm),
                  (DWORD)ERROR_INVALID_PARAMETER);
        EXPECT_EQ(parm, c.parm);
    }
    EXPECT_EQ(Level0().usrmod0_max_passwd_age, 42u * ONE_DAY); // nothing written
    struct Case3
    {
        USER_MODALS_INFO_3 info;
        DWORD parm;
    } bad3[] = {
        {{600, 601, 5}, MODALS_LOCKOUT_OBSERVATION_WINDOW_PARMNUM}, // window past the duration
        {{600, 0, 5}, MODALS_LOCKOUT_OBSERVATION_WINDOW_PARMNUM},
        {{0, 60, 5}, MODALS_LOCKOUT_DURATION_PARMNUM},
        {{600, 600, 1000}, MODALS_LOCKOUT_THRESHOLD_PARMNUM},
    };
    for (auto& c : bad3) {
        DWORD parm = 0;
        EXPECT_EQ(NetUserModalsSet(nullptr, 3, reinterpret_cast<LPBYTE>(&c.info), &parm),
                  (DWORD)ERROR_INVALID_PARAMETER);
        EXPECT_EQ(parm, c.parm);
    }
    EXPECT_EQ(Level3().usrmod3_lockout_threshold, 10u);

    USER_MODALS_INFO_0 write0 = good0;
    ASSERT_EQ(NetUserModalsSet(nullptr, 0, reinterpret_cast<LPBYTE>(&write0), nullptr), 0u);
    USER_MODALS_INFO_0 read0 = Level0();
    EXPECT_EQ(memcmp(&read0, &good0, sizeof read0), 0);
    // Unlimited: a maximum age of TIMEQ_FOREVER, a lock-out until unlocked,
    // with any window.
    USER_MODALS_INFO_0 forever = {0, TIMEQ_FOREVER, 400 * ONE_DAY, TIMEQ_FOREVER, 0};
    EXPECT_EQ(NetUserModalsSet(nullptr, 0, reinterpret_cast<LPBYTE>(&forever), nullptr), 0u);
    USER_MODALS_INFO_3 untilUnlocked = {TIMEQ_FOREVER, 99999 * 60, 0};
    EXPECT_EQ(NetUserModalsSet(nullptr, 3, reinterpret_cast<LPBYTE>(&untilUnlocked), nullptr), 0u);
    EXPECT_EQ(Level3().usrmod3_lockout_duration, (DWORD)TIMEQ_FOREVER);
    EXPECT_EQ(NetUserModalsSet(nullptr, 1001, reinterpret_cast<LPBYTE>(&write0), nullptr),
              (DWORD)ERROR_INVALID_LEVEL);
}

TEST_F(Modals, ChangesNeedAnElevatedAdministratorAndNewPasswordsFollowTheWrittenPolicy)
{
    USER_MODALS_INFO_3 lockout = {TIMEQ_FOREVER, 300, 2};
    SetSession(L"kanri", true, false);
    EXPECT_EQ(NetUserModalsSet(nullptr, 3, reinterpret_cast<LPBYTE>(&lockout), nullptr),
              (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(Level3().usrmod3_lockout_threshold, 10u); // reading is open to every user
    SetSession(L"kanri", true, true);
    ASSERT_EQ(NetUserModalsSet(nullptr, 3, reinterpret_cast<LPBYTE>(&lockout), nullptr), 0u);
    USER_MODALS_INFO_0 shortPasswords = {6, 42 * ONE_DAY, 0, TIMEQ_FOREVER, 0};
    ASSERT_EQ(NetUserModalsSet(nullptr, 0, reinterpret_cast<LPBYTE>(&shortPasswords), nullptr), 0u);
    USER_INFO_1 u = {};
    u.usri1_name = const_cast<LPWSTR>(L"taro");
    u.usri1_password = const_cast<LPWSTR>(L"12345");
    u.usri1_priv = USER_PRIV_USER;
    u.usri1_flags = UF_SCRIPT;
    EXPECT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&u), nullptr),
              (DWORD)NERR_PasswordTooShort);
    u.usri1_password = const_cast<LPWSTR>(L"123456");
    EXPECT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&u), nullptr), 0u);
}
