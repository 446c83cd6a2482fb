// The account list, the details pane and the shared account functions against
// a simulated computer ("AMBPC01", session user "kanri").
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <lm.h>

#include <string>

#include "accountlist.h"
#include "core_world.h"
#include "globals.h"
#include "parallelcalls.h"

namespace {
// The rows as the platform answers them, every account's built-in test and
// group identifier taken from a full name lookup (GetAccountRid): what the
// account list must show, however few calls it makes for it.
std::vector<ListRow> RowsByNameLookups(LONG showBuiltin)
{
    std::vector<ListRow> rows;
    DWORD count = 0;
    PVOID users = nullptr;
    EXPECT_EQ(
        DWORD(NERR_Success),
        NetQueryDisplayInformation(TargetServer, 1, 0, 1000, MAX_PREFERRED_LENGTH, &count, &users));
    for (DWORD i = 0; i < count; ++i) {
        const NET_DISPLAY_USER& user = static_cast<NET_DISPLAY_USER*>(users)[i];
        if (showBuiltin == 0 && IsBuiltinAccount(user.usri1_name) == 1)
            continue;
        ListRow row;
        row.cells[0] = user.usri1_name;
        row.cells[1] = std::to_wstring(GetAccountRid(user.usri1_name));
        row.cells[2] = user.usri1_full_name;
        row.cells[3] = user.usri1_comment;
        row.image = (user.usri1_flags & UF_ACCOUNTDISABLE) != 0 ? AccountImageUserDisabled
                                                                : AccountImageUser;
        LPBYTE record = nullptr;
        LPWSTR server = AllocServerArgument();
        if (NetUserGetInfo(server, user.usri1_name, 4, &record) == NERR_Success)
            row.overlay =
                (reinterpret_cast<USER_INFO_4*>(record)->usri4_flags & UF_LOCKOUT) ? 1 : 0;
        NetApiBufferFree(record);
        FreeBuffer(server);
        rows.push_back(row);
    }
    NetApiBufferFree(users);
    LPBYTE groups = nullptr;
    DWORD total = 0;
    EXPECT_EQ(DWORD(NERR_Success), NetLocalGroupEnum(TargetServer, 1, &groups, MAX_PREFERRED_LENGTH,
                                                     &count, &total, nullptr));
    for (DWORD i = 0; i < count; ++i) {
        const LOCALGROUP_INFO_1& group = reinterpret_cast<LOCALGROUP_INFO_1*>(groups)[i];
        if (showBuiltin == 0 && IsBuiltinAccount(group.lgrpi1_name) == 1)
            continue;
        ListRow row;
        row.cells[0] = group.lgrpi1_name;
        row.cells[1] = std::to_wstring(GetAccountRid(group.lgrpi1_name));
        row.cells[3] = group.lgrpi1_comment;
        row.image = AccountImageGroup;
        rows.push_back(row);
    }
    NetApiBufferFree(groups);
    return rows;
}

class AccountListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
    }
    void TearDown() override
    {
        if (list_ != nullptr)
            DestroyTestList(list_);
        FreeAmbguiGlobals();
    }

    std::vector<ListRow> Fill(int kinds, LONG showBuiltin)
    {
        AppSettings.IsShowBuiltinAccount = showBuiltin;
        if (list_ == nullptr)
            list_ = CreateTestList(4);
        EXPECT_TRUE(IsWindow(list_)) << "list window: error " << GetLastError();
        SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
        FillAccountList(list_, kinds);
        return ReadRows(list_, 4);
    }

    std::vector<ListRow> UserDetails(const wchar_t* name)
    {
        if (details_ == nullptr)
            details_ = CreateTestList(2);
        SendMessageW(details_, LVM_DELETEALLITEMS, 0, 0);
        ShowUserDetails(details_, name);
        return ReadRows(details_, 2);
    }

    static const ListRow* Find(const std::vector<ListRow>& rows, const wchar_t* name)
    {
        for (const ListRow& row : rows)
            if (row.cells[0] == name)
                return &row;
        return nullptr;
    }

    CoreWorld world_;
    HWND list_ = nullptr;
    HWND details_ = nullptr;
};
} // namespace

TEST_F(AccountListTest, HiddenBuiltinAccountsLeaveOnlyAccountsCreatedOnTheComputer)
{
    ASSERT_TRUE(world_.Sim(L"group add Staff --comment \"Team\""));
    auto rows = Fill(AccountListBoth, 0);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(L"kanri", rows[0].cells[0]);
    EXPECT_GE(std::stoul(rows[0].cells[1]), 1000ul);
    EXPECT_EQ(AccountImageUser, rows[0].image);
    EXPECT_EQ(L"Staff", rows[1].cells[0]);
    EXPECT_EQ(AccountImageGroup, rows[1].image);
    EXPECT_EQ(L"", rows[1].cells[2]);
    EXPECT_EQ(L"Team", rows[1].cells[3]);
    EXPECT_EQ(nullptr, Find(rows, L"Administrator"));
    EXPECT_EQ(nullptr, Find(rows, L"Administrators"));
}

TEST_F(AccountListTest, ShownBuiltinAccountsComeUsersFirstWithTheirIdentifiers)
{
    auto rows = Fill(AccountListBoth, 2); // any nonzero value shows them
    const ListRow* administrator = Find(rows, L"Administrator");
    const ListRow* administrators = Find(rows, L"Administrators");
    ASSERT_NE(nullptr, administrator);
    ASSERT_NE(nullptr, administrators);
    EXPECT_EQ(L"500", administrator->cells[1]);
    EXPECT_EQ(L"544", administrators->cells[1]);
    EXPECT_EQ(AccountImageGroup, administrators->image);
    EXPECT_NE(nullptr, Find(rows, L"Guest"));
    bool inGroups = false;
    for (const ListRow& row : rows) {
        if (row.image == AccountImageGroup)
            inGroups = true;
        else
            EXPECT_FALSE(inGroups) << "user after the groups";
    }
    auto groups = Fill(AccountListGroups, 2);
    EXPECT_FALSE(groups.empty());
    for (const ListRow& row : groups)
        EXPECT_EQ(AccountImageGroup, row.image);
    for (const ListRow& row : Fill(AccountListUsers, 2))
        EXPECT_NE(AccountImageGroup, row.image);
}

TEST_F(AccountListTest, DisabledAndLockedOutUsersShowTheirIconAndOverlay)
{
    ASSERT_TRUE(world_.Sim(L"user add off --disabled"));
    ASSERT_TRUE(world_.Sim(L"user add locked"));
    ASSERT_TRUE(world_.Sim(L"lockout locked"));
    ASSERT_TRUE(world_.Sim(L"user add both --disabled"));
    ASSERT_TRUE(world_.Sim(L"lockout both"));
    auto rows = Fill(AccountListUsers, 0);
    const ListRow* off = Find(rows, L"off");
    const ListRow* locked = Find(rows, L"locked");
    const ListRow* both = Find(rows, L"both");
    const ListRow* kanri = Find(rows, L"kanri");
    ASSERT_TRUE(off && locked && both && kanri);
    EXPECT_EQ(AccountImageUserDisabled, off->image);
    EXPECT_EQ(0u, off->overlay);
    EXPECT_EQ(AccountImageUser, locked->image);
    EXPECT_EQ(1u, locked->overlay);
    EXPECT_EQ(AccountImageUserDisabled, both->image);
    EXPECT_EQ(1u, both->overlay);
    EXPECT_EQ(0u, kanri->overlay);
}

TEST_F(AccountListTest, RowsAreThoseOfTheNameLookupsWithAccountsNamedLikeTheComputer)
{
    // Here a user, on the remote computer a group, named like its computer.
    ASSERT_TRUE(world_.Sim(L"user add AMBPC01 --full-name \"同名\" --comment \"名前\""));
    ASSERT_TRUE(world_.Sim(L"user add off --disabled"));
    ASSERT_TRUE(world_.Sim(L"lockout off"));
    ASSERT_TRUE(world_.Sim(L"group add Staff --comment \"Team\""));
    ASSERT_TRUE(world_.Sim(L"computer add SRV01"));
    ASSERT_TRUE(world_.Sim(L"group add SRV01 --comment \"同名\" --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"user add remote1 --computer SRV01"));
    for (const wchar_t* target : {L"", L"SRV01"}) {
        wcscpy(TargetServer, target);
        for (LONG shown : {0L, 1L}) {
            std::vector<ListRow> expected = RowsByNameLookups(shown);
            std::vector<ListRow> rows = Fill(AccountListBoth, shown);
            ASSERT_EQ(expected.size(), rows.size()) << target << " shown " << shown;
            for (size_t i = 0; i < rows.size(); ++i) {
                for (int c = 0; c < 4; ++c)
                    EXPECT_EQ(expected[i].cells[c], rows[i].cells[c]) << target << " row " << i;
                EXPECT_EQ(expected[i].image, rows[i].image) << rows[i].cells[0];
                EXPECT_EQ(expected[i].overlay, rows[i].overlay) << rows[i].cells[0];
            }
        }
    }
}

// The remote refresh with its calls in flight at once, answered out of order
// (random extra waits), lists exactly what the calls made one after the other
// list: every row, cell, image and overlay in the same order, also when a call
// fails in the middle (a later page of users: the rows read so far and the
// groups stay; one user's record: its row stays, as when it cannot be read).
TEST_F(AccountListTest, RemoteRefreshWithCallsInFlightListsWhatCallsOneAfterTheOtherList)
{
    ASSERT_TRUE(AddMixedRemoteComputer(world_, 230, 1));
    wcscpy(TargetServer, L"SRV01");
    const wchar_t* const faults[] = {nullptr, L"fail NetQueryDisplayInformation 5 --nth 2",
                                     L"fail NetUserGetInfo 5 --nth 150"};
    size_t unfailedRows = 0;
    for (const wchar_t* fault : faults)
        for (LONG shown : {0L, 1L}) {
            std::vector<ListRow> rows[2];
            for (int inFlight : {1, RemoteCallsInFlight}) {
                if (fault != nullptr) {
                    ASSERT_TRUE(world_.Sim(fault));
                }
                int saved = RemoteCallsInFlight;
                RemoteCallsInFlight = inFlight;
                SetEnvironmentVariableW(L"AMBRELLE_SIM_JITTER_MS", inFlight > 1 ? L"3" : nullptr);
                rows[inFlight > 1 ? 1 : 0] = Fill(AccountListBoth, shown);
                SetEnvironmentVariableW(L"AMBRELLE_SIM_JITTER_MS", nullptr);
                RemoteCallsInFlight = saved;
            }
            std::wstring what =
                std::wstring(fault ? fault : L"no fault") + L", shown " + std::to_wstring(shown);
            if (fault == nullptr && shown == 0)
                unfailedRows = rows[0].size();
            ASSERT_EQ(rows[0].size(), rows[1].size()) << what;
            for (size_t i = 0; i < rows[0].size(); ++i) {
                for (int c = 0; c < 4; ++c)
                    ASSERT_EQ(rows[0][i].cells[c], rows[1][i].cells[c]) << what << " row " << i;
                EXPECT_EQ(rows[0][i].image, rows[1][i].image) << what << " row " << i;
                EXPECT_EQ(rows[0][i].overlay, rows[1][i].overlay) << what << " row " << i;
            }
            const ListRow* locked = Find(rows[1], L"kato"); // on the first page
            ASSERT_NE(nullptr, locked) << what;
            EXPECT_EQ(1u, locked->overlay) << what;
            EXPECT_NE(nullptr, Find(rows[1], L"SRV01")) << what << ": the groups follow";
            if (fault != nullptr && fault[5] == L'Q' && shown == 0) {
                EXPECT_LT(rows[1].size(), unfailedRows - 100) << "a page fewer";
            }
        }
}

TEST_F(AccountListTest, MoreThanOnePageOfUsersIsListedWhole)
{
    ASSERT_TRUE(world_.Sim(L"users add-many 250 --prefix pg"));
    auto rows = Fill(AccountListUsers, 0);
    EXPECT_EQ(251u, rows.size());
    int prefixed = 0;
    for (const ListRow& row : rows)
        prefixed += row.cells[0].rfind(L"pg", 0) == 0 ? 1 : 0;
    EXPECT_EQ(250, prefixed);
}

TEST_F(AccountListTest, UserDetailsShowAllFourteenRows)
{
    ASSERT_TRUE(world_.Sim(L"user add taro --full-name \"山田 太郎\" --comment \"経理部\""));
    auto rows = UserDetails(L"taro");
    ASSERT_EQ(14u, rows.size());
    const wchar_t* labels[] = {L"ユーザー名",
                               L"ID",
                               L"SID",
                               L"アカウント名 (フル ネーム)",
                               L"コメント",
                               L"アカウントの状態",
                               L"ロックアウト",
                               L"パスワード変更要求",
                               L"ユーザーによるパスワード変更禁止",
                               L"定期的なパスワード変更",
                               L"パスワード有効期限",
                               L"アカウント有効期限",
                               L"最終ログイン日時",
                               L"最終パスワード変更日時"};
    for (size_t i = 0; i < 14; ++i)
        EXPECT_EQ(labels[i], rows[i].cells[0]) << i;
    EXPECT_EQ(L"taro", rows[0].cells[1]);
    EXPECT_GE(std::stoul(rows[1].cells[1]), 1000ul);
    EXPECT_EQ(0u, rows[2].cells[1].rfind(L"S-1-5-21-", 0));
    EXPECT_EQ(L"-" + rows[1].cells[1],
              rows[2].cells[1].substr(rows[2].cells[1].size() - rows[1].cells[1].size() - 1));
    EXPECT_EQ(L"山田 太郎", rows[3].cells[1]);
    EXPECT_EQ(L"経理部", rows[4].cells[1]);
    EXPECT_EQ(L"有効", rows[5].cells[1]);
    EXPECT_EQ(L"いいえ", rows[6].cells[1]);
    EXPECT_EQ(L"なし", rows[11].cells[1]);
    EXPECT_EQ(L"一度もログインしていません", rows[12].cells[1]);
    // "YYYY/MM/DD hh:mm"
    ASSERT_EQ(16u, rows[13].cells[1].size());
    EXPECT_EQ(L'/', rows[13].cells[1][4]);
    EXPECT_EQ(L':', rows[13].cells[1][13]);
}

TEST_F(AccountListTest, UserDetailsOfADisabledLockedOutUserWithALogon)
{
    ASSERT_TRUE(world_.Sim(L"user add jiro --disabled"));
    ASSERT_TRUE(world_.Sim(L"lockout jiro"));
    ASSERT_TRUE(world_.Sim(L"last-logon jiro 2020-01-02T03:04:00Z"));
    auto rows = UserDetails(L"jiro");
    ASSERT_EQ(14u, rows.size());
    EXPECT_EQ(L"無効", rows[5].cells[1]);
    EXPECT_EQ(L"はい", rows[6].cells[1]);
    ASSERT_EQ(16u, rows[12].cells[1].size());
    EXPECT_EQ(0u, rows[12].cells[1].rfind(L"2020/01/0", 0));
    // A user who signs in with a Microsoft account gets one more row.
    ASSERT_TRUE(world_.Sim(L"user add mika --microsoft-account mika.sato@outlook.jp"));
    rows = UserDetails(L"mika");
    ASSERT_EQ(15u, rows.size());
    EXPECT_EQ(L"Microsoft アカウント", rows[14].cells[0]);
    EXPECT_EQ(L"mika.sato@outlook.jp", rows[14].cells[1]);
}

TEST_F(AccountListTest, GroupDetailsShowFourRows)
{
    ASSERT_TRUE(world_.Sim(L"group add Kaikei --comment \"会計チーム\""));
    HWND details = CreateTestList(2);
    ShowGroupDetails(details, L"Kaikei");
    auto rows = ReadRows(details, 2);
    DestroyTestList(details);
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ(L"グループ名", rows[0].cells[0]);
    EXPECT_EQ(L"Kaikei", rows[0].cells[1]);
    EXPECT_EQ(L"ID", rows[1].cells[0]);
    EXPECT_EQ(L"SID", rows[2].cells[0]);
    EXPECT_EQ(L"コメント", rows[3].cells[0]);
    EXPECT_EQ(L"会計チーム", rows[3].cells[1]);
}

TEST_F(AccountListTest, EmptyNameShowsNothing)
{
    EXPECT_EQ(0u, UserDetails(L"").size());
    EXPECT_EQ(0u, UserDetails(nullptr).size());
}

TEST_F(AccountListTest, AccountKindsIdentifiersAndTheComputerNameRule)
{
    ASSERT_TRUE(world_.Sim(L"user add AMBPC01"));
    ASSERT_TRUE(world_.Sim(L"group add Mixed"));
    EXPECT_EQ(AccountKindUser, GetAccountKind(L"kanri"));
    EXPECT_EQ(AccountKindGroup, GetAccountKind(L"Mixed"));
    EXPECT_EQ(AccountKindGroup, GetAccountKind(L"Administrators"));
    EXPECT_EQ(AccountKindOther, GetAccountKind(L"nobody-here"));
    EXPECT_EQ(AccountKindOther, GetAccountKind(L""));
    // A user named like the computer gets its own identifier, not the computer's.
    EXPECT_EQ(AccountKindUser, GetAccountKind(L"AMBPC01"));
    EXPECT_GE(GetAccountRid(L"AMBPC01"), 1000u);
    EXPECT_EQ(500u, GetAccountRid(L"Administrator"));
    EXPECT_EQ(0u, GetAccountRid(L""));
    EXPECT_EQ(1, IsBuiltinAccount(L"Guest"));
    EXPECT_EQ(0, IsBuiltinAccount(L"kanri"));
}

TEST_F(AccountListTest, CurrentUserRemoteTargetAndMemberNames)
{
    EXPECT_EQ(1, IsCurrentUser(L"KANRI"));
    EXPECT_EQ(0, IsCurrentUser(L"Administrator"));
    wchar_t member[NameChars];
    EXPECT_EQ(0, IsRemoteTarget());
    ASSERT_EQ(1, MemberName(L"taro", member, NameChars));
    EXPECT_STREQ(L"AMBPC01\\taro", member);
    // A remote target typed as an address: its accounts are qualified with the
    // name the target gives its own account domain, which member calls accept.
    ASSERT_TRUE(world_.Sim(L"computer add SRV01 --ip 10.0.0.5"));
    wcscpy(TargetServer, L"10.0.0.5");
    EXPECT_EQ(1, IsRemoteTarget());
    ASSERT_EQ(1, MemberName(L"taro", member, NameChars));
    EXPECT_STREQ(L"SRV01\\taro", member);
    // A target that cannot be asked gives no name, and the reason, rather than
    // a guess from what was typed.
    wcscpy(TargetServer, L"10.0.0.9");
    DWORD status = 0;
    EXPECT_EQ(0, MemberName(L"taro", member, NameChars, &status));
    EXPECT_STREQ(L"", member);
    EXPECT_EQ(DWORD(RPC_S_SERVER_UNAVAILABLE), status);
    EXPECT_EQ(0, MemberName(L"a-name-that-does-not-fit", member, 8));
    EXPECT_STREQ(L"", member) << "a name cut short is no name";
}

TEST_F(AccountListTest, ListBoxContainsFoldsOnlyLatinLetters)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND box = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD, 0, 0, 100, 100, parent, nullptr,
                               nullptr, nullptr);
    SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Taro"));
    SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"ａｂｃ"));
    std::wstring longEntry(400, L'x');
    SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(longEntry.c_str()));
    EXPECT_EQ(1, ListBoxContains(box, L"tARO"));
    EXPECT_EQ(0, ListBoxContains(box, L"Tar"));
    EXPECT_EQ(1, ListBoxContains(box, L"ａｂｃ"));
    EXPECT_EQ(0, ListBoxContains(box, L"ＡＢＣ"));
    EXPECT_EQ(0, ListBoxContains(box, L"xxx"));
    EXPECT_EQ(1, ListBoxContains(box, std::wstring(400, L'X').c_str()))
        << "long names compare whole";
    EXPECT_EQ(0, ListBoxContains(box, std::wstring(399, L'x').c_str()));
    DestroyWindow(parent);
}

TEST_F(AccountListTest, ProfilesAreCreatedAndDeletedBySid)
{
    ASSERT_TRUE(world_.Sim(L"user add prof"));
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    wchar_t domain[256];
    DWORD domainChars = 256;
    SID_NAME_USE use;
    ASSERT_TRUE(LookupAccountNameW(L"", L"prof", sid, &sidSize, domain, &domainChars, &use));
    EXPECT_GE(CreateUserProfile(sid, L"prof"), 0);
    EXPECT_NE(FALSE, DeleteUserProfile(sid));
    EXPECT_LT(CreateUserProfile(nullptr, L"prof"), 0);
    EXPECT_EQ(FALSE, DeleteUserProfile(nullptr));
}
