// The add-user and user-settings dialogs run in-process against the simulated
// platform: the option rules, what OK writes and in which order, memberships
// on the local and on a remote computer, unlock and the buttons to the other
// account dialogs. Outcomes are read back from the account database.
#include <windows.h>

#include <lm.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core_world.h"
#include "dialog_harness.h"
#include "errortext.h"
#include "globals.h"
#include "resource.h"
#include "user_dialogs.h"
#include "reachable_computer.h"

using namespace dialogtest;

namespace {
struct Account
{
    bool found = false;
    DWORD flags = 0;
    DWORD expired = 0;
    std::wstring fullName;
    std::wstring comment;
    DWORD acctExpires = 0;
};

Account ReadAccount(LPCWSTR name, LPCWSTR server = nullptr)
{
    Account account;
    LPBYTE buffer = nullptr;
    if (NetUserGetInfo(server, name, 4, &buffer) == NERR_Success) {
        auto* record = reinterpret_cast<USER_INFO_4*>(buffer);
        account = {true,
                   record->usri4_flags,
                   record->usri4_password_expired,
                   record->usri4_full_name,
                   record->usri4_comment,
                   record->usri4_acct_expires};
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return account;
}

std::vector<std::wstring> GroupsOf(LPCWSTR name, LPCWSTR server = nullptr)
{
    std::vector<std::wstring> names;
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    if (NetUserGetLocalGroups(server, name, 0, LG_INCLUDE_INDIRECT, &buffer, MAX_PREFERRED_LENGTH,
                              &read, &total) == NERR_Success)
        for (DWORD i = 0; i < read; ++i)
            names.push_back(reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(buffer)[i].lgrui0_name);
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return names;
}

int Index(const std::vector<std::wstring>& names, const std::wstring& name)
{
    auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

bool Has(const std::vector<std::wstring>& names, const std::wstring& name)
{
    return Index(names, name) >= 0;
}

void AddFlags(LPCWSTR name, DWORD flags)
{
    LPBYTE buffer = nullptr;
    ASSERT_EQ(NERR_Success, NetUserGetInfo(nullptr, name, 4, &buffer));
    reinterpret_cast<USER_INFO_4*>(buffer)->usri4_flags |= flags;
    EXPECT_EQ(NERR_Success, NetUserSetInfo(nullptr, name, 4, buffer, nullptr));
    NetApiBufferFree(buffer);
}

std::wstring WithError(const std::wstring& text, DWORD code)
{
    LPWSTR detail = FormatErrorText(code);
    std::wstring result = text + L"\n(エラー詳細 : " + (detail != nullptr ? detail : L"") + L")";
    LocalFree(detail);
    return result;
}

LPARAM Param(LPCWSTR name)
{
    return reinterpret_cast<LPARAM>(name);
}

class UserDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        AppSettings.Advanced = 1;
    }
    void TearDown() override
    {
        FreeAmbguiGlobals();
    }
    void ExpectBox(size_t index, const std::wstring& text, const std::wstring& caption, UINT style)
    {
        ASSERT_LT(index, harness_.boxes.size());
        EXPECT_EQ(Utf8(text), Utf8(harness_.boxes[index].text));
        EXPECT_EQ(Utf8(caption), Utf8(harness_.boxes[index].caption));
        EXPECT_EQ(style, harness_.boxes[index].style);
    }

    CoreWorld world_;
    DialogHarness harness_;
};
} // namespace

TEST_F(UserDialogTest, OptionClicksOnlyChangeWhatCanBeClickedAndTheListEditsItself)
{
    harness_.Run(IDD_ADD_USER, AddUserDialogProc, 0, [&](HWND d) {
        EXPECT_EQ(20, Limit(d, 1000));
        EXPECT_EQ(256, Limit(d, 1002));
        EXPECT_EQ(127, Limit(d, 1004));
        EXPECT_TRUE(Checked(d, 1008));
        EXPECT_FALSE(Enabled(d, 1009) || Enabled(d, 1010));
        Click(d, 1008);
        EXPECT_TRUE(Enabled(d, 1009) && Enabled(d, 1010));
        Click(d, 1009);
        EXPECT_FALSE(Enabled(d, 1008));
        Click(d, 1010);
        Click(d, 1009);
        EXPECT_FALSE(Enabled(d, 1008)) << "1010 is still checked";
        Click(d, 1010);
        EXPECT_TRUE(Enabled(d, 1008));
        EXPECT_FALSE(Checked(d, 1008) || Checked(d, 1009) || Checked(d, 1010));

        for (const wchar_t* group : {L"b", L"c", L"a", L"d"})
            AddListBoxItem(d, 1005, group);
        SelectListBoxItem(d, 1005, 1);
        SelectListBoxItem(d, 1005, 3);
        Click(d, 1007);
        EXPECT_EQ((std::vector<std::wstring>{L"a", L"c"}), ListBoxItems(d, 1005));
        Click(d, 1006);
        ASSERT_EQ(1u, harness_.opened.size());
        EXPECT_EQ(static_cast<UINT>(IDD_PICKER), harness_.opened[0].templateId);
        EXPECT_EQ(d, harness_.opened[0].owner);
    });
}

TEST_F(UserDialogTest, AdvancedAddChecksPasswordsThenNameThenCreatesAndFollowsUp)
{
    ASSERT_TRUE(world_.Sim(L"group add 営業部"));
    harness_.Answer({IDOK, IDOK, IDOK, IDOK, IDYES});
    INT_PTR result = harness_.Run(IDD_ADD_USER, AddUserDialogProc, 0, [&](HWND d) {
        SetText(d, 1003, L"Pass1");
        SetText(d, 1004, L"pass1");
        Press(d, IDOK);
        SetText(d, 1004, L"Pass1");
        Press(d, IDOK);
        SetText(d, 1000, L"hanako");
        SetText(d, 1001, L"花子");
        SetText(d, 1002, L"経理担当");
        AddListBoxItem(d, 1005, L"営業部");
        AddListBoxItem(d, 1005, L"無い部");
        ASSERT_TRUE(world_.Sim(L"fail NetUserAdd 5"));
        Press(d, IDOK);
        EXPECT_FALSE(ReadAccount(L"hanako").found);
        Press(d, IDOK);
    });
    EXPECT_EQ(1, result);
    const wchar_t caption[] = L"ユーザー作成エラー";
    ExpectBox(0, L"初期パスワードの入力用と確認用が一致しません。\n再度入力してください。", caption,
              MB_ICONWARNING);
    ExpectBox(1, L"ユーザー名を入力してください。", caption, MB_ICONWARNING);
    ExpectBox(2, WithError(L"ユーザーを作成できませんでした。", 5), caption, MB_ICONWARNING);
    ExpectBox(3,
              WithError(L"次のグループの所属を変更できませんでした。\n無い部", NERR_GroupNotFound),
              caption, MB_ICONWARNING);
    ExpectBox(4, L"ユーザー プロファイルも同時に作成しますか？", L"ユーザー プロファイルの作成",
              MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(5u, harness_.boxes.size()) << "the profile was created";
    Account account = ReadAccount(L"hanako");
    EXPECT_EQ(static_cast<DWORD>(UF_SCRIPT | UF_NORMAL_ACCOUNT),
              account.flags & ~static_cast<DWORD>(UF_PASSWORD_EXPIRED));
    EXPECT_EQ(1u, account.expired);
    EXPECT_EQ(L"花子", account.fullName);
    EXPECT_EQ(L"経理担当", account.comment);
    EXPECT_EQ(static_cast<DWORD>(TIMEQ_FOREVER), account.acctExpires) << "0 is 1970-01-01";
    EXPECT_TRUE(Has(GroupsOf(L"hanako"), L"営業部"));
}

TEST_F(UserDialogTest, PersonalAddNeverExpiresAndHasNoDescription)
{
    AppSettings.Advanced = 0;
    INT_PTR result = harness_.Run(IDD_ADD_USER_PERSONAL, AddUserDialogProc, 0, [&](HWND d) {
        EXPECT_FALSE(Exists(d, 1002) || Exists(d, 1008) || Exists(d, 1010));
        SetText(d, 1000, L"jiro");
        Click(d, 1009);
        Click(d, 1011);
        ASSERT_TRUE(world_.Sim(L"fail CreateProfile 2147942405")); // E_ACCESSDENIED
        harness_.Answer({IDYES});
        Press(d, IDOK);
    });
    EXPECT_EQ(1, result);
    ExpectBox(1, L"ユーザー プロファイルを作成できませんでした。", L"ユーザー プロファイル作成失敗",
              MB_ICONWARNING);
    Account account = ReadAccount(L"jiro");
    EXPECT_EQ(static_cast<DWORD>(UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD |
                                 UF_PASSWD_CANT_CHANGE | UF_ACCOUNTDISABLE),
              account.flags);
    EXPECT_EQ(0u, account.expired);
    EXPECT_EQ(L"", account.comment);
}

// The target typed as an address: the member name must carry the computer's
// own name, or the platform refuses the membership. Removal goes by SID.
TEST_F(UserDialogTest, RemoteTargetByAddressGetsTheMembershipsChosenInBothDialogs)
{
    ASSERT_TRUE(AddReachableComputer(world_, L"SRV01", L"--ip 192.0.2.7"));
    ASSERT_TRUE(world_.Sim(L"group add 営業部 --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"group add 総務部 --computer SRV01"));
    wcscpy(TargetServer, L"192.0.2.7");
    LPCWSTR remote = L"\\\\192.0.2.7";
    EXPECT_EQ(1, harness_.Run(IDD_ADD_USER, AddUserDialogProc, 0, [&](HWND d) {
        SetText(d, 1000, L"hanako");
        AddListBoxItem(d, 1005, L"営業部");
        Press(d, IDOK);
    }));
    EXPECT_TRUE(harness_.boxes.empty()) << "no profile question, no warning";
    EXPECT_TRUE(Has(GroupsOf(L"hanako", remote), L"営業部"));
    EXPECT_FALSE(ReadAccount(L"hanako").found) << "created on the local computer";

    std::vector<std::wstring> before = GroupsOf(L"hanako", remote);
    EXPECT_EQ(
        1, harness_.Run(IDD_USER_SETTINGS, UserSettingsDialogProc, Param(L"hanako"), [&](HWND d) {
            EXPECT_EQ(before, ListBoxItems(d, 1005));
            SelectListBoxItem(d, 1005, Index(before, L"営業部"));
            Click(d, 1007);
            AddListBoxItem(d, 1005, L"総務部");
            Press(d, IDOK);
        }));
    EXPECT_TRUE(harness_.boxes.empty());
    std::vector<std::wstring> after = GroupsOf(L"hanako", remote);
    EXPECT_TRUE(Has(after, L"総務部"));
    EXPECT_FALSE(Has(after, L"営業部"));
}

TEST_F(UserDialogTest, FlagsOpenInOrderAndOkAppliesTheMustChangeRuleLast)
{
    ASSERT_TRUE(world_.Sim(L"user add taro --comment 説明"));
    ASSERT_TRUE(world_.Sim(L"user set taro --expire-password"));
    AddFlags(L"taro", UF_PASSWD_CANT_CHANGE);
    INT_PTR result =
        harness_.Run(IDD_USER_SETTINGS, UserSettingsDialogProc, Param(L"taro"), [&](HWND d) {
            EXPECT_EQ(L"taro", Text(d, 1000));
            EXPECT_EQ(L"説明", Text(d, 1002));
            EXPECT_TRUE(Checked(d, 1008) && Checked(d, 1009));
            EXPECT_FALSE(Checked(d, 1010));
            EXPECT_FALSE(Enabled(d, 1008) || Enabled(d, 1009) || Enabled(d, 1010) ||
                         Enabled(d, 1003));
            EXPECT_TRUE(Enabled(d, 1012));
            Press(d, IDOK);
        });
    EXPECT_EQ(1, result);
    Account account = ReadAccount(L"taro");
    EXPECT_EQ(0u, account.flags & (UF_PASSWD_CANT_CHANGE | UF_DONT_EXPIRE_PASSWD));
    EXPECT_EQ(1u, account.expired);

    // Personal mode: the password never expires, a pending change is dropped
    // and the description is not written.
    AppSettings.Advanced = 0;
    result = harness_.Run(IDD_USER_SETTINGS_PERSONAL, UserSettingsDialogProc, Param(L"taro"),
                          [&](HWND d) {
                              EXPECT_FALSE(Exists(d, 1002) || Exists(d, 1013));
                              SetText(d, 1001, L"山田太郎");
                              Press(d, IDOK);
                          });
    EXPECT_EQ(1, result);
    account = ReadAccount(L"taro");
    EXPECT_TRUE(account.flags & UF_DONT_EXPIRE_PASSWD);
    EXPECT_EQ(0u, account.expired);
    EXPECT_EQ(L"山田太郎", account.fullName);
    EXPECT_EQ(L"説明", account.comment);
}

// The first write stays when the second fails; the rest waits for an OK that
// gets through, after which failed membership changes are reported once.
TEST_F(UserDialogTest, SecondWriteFailingKeepsTheOptionsAndARepeatedOkFinishes)
{
    ASSERT_TRUE(world_.Sim(L"user add taro --full-name 太郎"));
    ASSERT_TRUE(world_.Sim(L"group add 営業部"));
    ASSERT_TRUE(world_.Sim(L"group add 経理部"));
    ASSERT_TRUE(world_.Sim(L"member add 営業部 taro"));
    ASSERT_TRUE(world_.Sim(L"member add 経理部 taro"));
    std::vector<std::wstring> groups = GroupsOf(L"taro");
    INT_PTR result =
        harness_.Run(IDD_USER_SETTINGS, UserSettingsDialogProc, Param(L"taro"), [&](HWND d) {
            Click(d, 1011);
            SetText(d, 1001, L"次郎");
            SelectListBoxItem(d, 1005, Index(groups, L"経理部"));
            Click(d, 1007);
            AddListBoxItem(d, 1005, L"無い部");
            ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5 --nth 2"));
            Press(d, IDOK);
            Account account = ReadAccount(L"taro");
            EXPECT_TRUE(account.flags & UF_ACCOUNTDISABLE);
            EXPECT_EQ(L"太郎", account.fullName);
            EXPECT_EQ(groups, GroupsOf(L"taro"));
            ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupDelMember 5"));
            Press(d, IDOK);
        });
    EXPECT_EQ(1, result);
    ASSERT_EQ(2u, harness_.boxes.size());
    const wchar_t caption[] = L"ユーザー アカウント設定エラー";
    ExpectBox(0, WithError(L"ユーザー アカウントの設定を変更できませんでした。", 5), caption,
              MB_ICONWARNING);
    // 営業部 is added again and refuses silently: the account is a member.
    ExpectBox(1, WithError(L"次のグループの所属を変更できませんでした。\n経理部\n無い部", 5),
              caption, MB_ICONWARNING);
    EXPECT_EQ(L"次郎", ReadAccount(L"taro").fullName);
    EXPECT_EQ(groups, GroupsOf(L"taro"));
}

// Groups that could not be read are named in the warning, and a member name
// that could not be made says why.
TEST_F(UserDialogTest, MembershipWarningSaysWhyNoGroupWasLeftOrAMemberNameWasNotMade)
{
    ASSERT_TRUE(world_.Sim(L"user add taro"));
    ASSERT_TRUE(world_.Sim(L"group add 営業部"));
    ASSERT_TRUE(world_.Sim(L"member add 営業部 taro"));
    EXPECT_EQ(1,
              harness_.Run(IDD_USER_SETTINGS, UserSettingsDialogProc, Param(L"taro"), [&](HWND d) {
                  SelectListBoxItem(d, 1005, Index(ListBoxItems(d, 1005), L"営業部"));
                  Click(d, 1007);
                  ASSERT_TRUE(world_.Sim(L"fail NetUserGetLocalGroups 5"));
                  Press(d, IDOK);
              }));
    const wchar_t caption[] = L"ユーザー アカウント設定エラー";
    ExpectBox(
        0,
        WithError(L"次のグループの所属を変更できませんでした。\n(所属グループを取得できなかった"
                  L"ため、グループから外せませんでした)",
                  5),
        caption, MB_ICONWARNING);
    EXPECT_TRUE(Has(GroupsOf(L"taro"), L"営業部"));

    ASSERT_TRUE(AddReachableComputer(world_, L"SRV01", L"--ip 192.0.2.7"));
    ASSERT_TRUE(world_.Sim(L"group add 総務部 --computer SRV01"));
    wcscpy(TargetServer, L"192.0.2.7");
    EXPECT_EQ(1, harness_.Run(IDD_ADD_USER, AddUserDialogProc, 0, [&](HWND d) {
        SetText(d, 1000, L"hanako");
        AddListBoxItem(d, 1005, L"総務部");
        ASSERT_TRUE(world_.Sim(L"fail LsaOpenPolicy 5"));
        Press(d, IDOK);
    }));
    ExpectBox(1, WithError(L"次のグループの所属を変更できませんでした。\n総務部", 5),
              L"ユーザー作成エラー", MB_ICONWARNING);
}

TEST_F(UserDialogTest, UnlockIsWrittenAtOnceAndCancelKeepsIt)
{
    ASSERT_TRUE(world_.Sim(L"user add taro"));
    ASSERT_TRUE(world_.Sim(L"lockout taro"));
    harness_.Answer({IDYES, IDOK, IDYES});
    INT_PTR result =
        harness_.Run(IDD_USER_SETTINGS, UserSettingsDialogProc, Param(L"taro"), [&](HWND d) {
            ASSERT_TRUE(Enabled(d, 1003));
            ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
            Click(d, 1003);
            EXPECT_TRUE(Enabled(d, 1003)) << "still locked";
            EXPECT_TRUE(ReadAccount(L"taro").flags & UF_LOCKOUT);
            Click(d, 1003);
            EXPECT_FALSE(Enabled(d, 1003));
        });
    EXPECT_EQ(2, result);
    ExpectBox(
        0,
        L"このユーザーのロックアウトを解除しますか？\n(ロックアウトの解除は直ちに反映されます。)",
        L"ロックアウトの解除", MB_ICONQUESTION | MB_YESNO);
    ExpectBox(1, WithError(L"ロックアウトを解除できませんでした。", 5), L"ロックアウト解除エラー",
              MB_ICONWARNING);
    ExpectBox(3, L"ユーザー taro のロックアウトは正常に解除されました。", L"ロックアウト解除完了",
              MB_ICONINFORMATION);
    EXPECT_FALSE(ReadAccount(L"taro").flags & UF_LOCKOUT);
}

TEST_F(UserDialogTest, RunningUserCannotResetAndAdvancedButtonsOpenTheirDialogs)
{
    harness_.Run(IDD_USER_SETTINGS, UserSettingsDialogProc, Param(L"kanri"), [&](HWND d) {
        EXPECT_FALSE(Enabled(d, 1012));
        Click(d, 1013);
        Click(d, 1014);
        Click(d, 1015);
    });
    ASSERT_EQ(3u, harness_.opened.size());
    EXPECT_EQ(static_cast<UINT>(IDD_PROFILE), harness_.opened[0].templateId);
    EXPECT_EQ(static_cast<UINT>(IDD_LOGON_HOURS), harness_.opened[1].templateId);
    EXPECT_EQ(static_cast<UINT>(IDD_ACCOUNT_EXPIRY), harness_.opened[2].templateId);

    // An account that cannot be read: said so, and the dialog ends.
    EXPECT_EQ(
        2, harness_.Run(IDD_USER_SETTINGS, UserSettingsDialogProc, Param(L"nosuch"), [](HWND) {}));
    ExpectBox(0, WithError(L"ユーザー アカウントの設定を変更できませんでした。", NERR_UserNotFound),
              L"ユーザー アカウント設定エラー", MB_ICONWARNING);
}
