// The account list and the details pane: which accounts show, in what order,
// with which icons, and what the details pane says about them.
#include "ambgui_fixture.h"
#include "simapi.h"

#include <ctime>

namespace ambtest {
namespace {

using ListTest = AmbguiTest;

const wchar_t* const kUserLabels[] = {L"ユーザー名",
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

std::wstring LocalDate(ULONGLONG unixSeconds)
{
    ULONGLONG ticks = (unixSeconds + 11644473600ULL) * 10000000ULL;
    FILETIME utc = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utcTime = {}, local = {};
    FileTimeToSystemTime(&utc, &utcTime);
    SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local);
    wchar_t text[64] = {};
    FormatBounded(text, 64, L"%04d/%02d/%02d %02d:%02d", local.wYear, local.wMonth, local.wDay,
                  local.wHour, local.wMinute);
    return text;
}

TEST_F(ListTest, BuiltinAccountsAreHiddenUntilShownAndTheChoiceIsSaved)
{
    ASSERT_TRUE(Sim(L"group add keiri --comment 経理部"));
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    std::vector<std::wstring> names = Names();
    EXPECT_EQ(names, (std::vector<std::wstring>{L"kanri", L"keiri"}));
    EXPECT_FALSE(app.MenuChecked(kShowBuiltin));

    app.Command(kShowBuiltin);
    EXPECT_TRUE(app.MenuChecked(kShowBuiltin));
    for (const wchar_t* name :
         {L"Administrator", L"Guest", L"Administrators", L"Users", L"kanri", L"keiri"})
        EXPECT_TRUE(Listed(name)) << Narrow(name);
    int admins = app.FindRow(app.AccountList(), L"Administrators");
    EXPECT_TEXT(app.Cell(app.AccountList(), admins, 1), L"544");
    EXPECT_EQ(app.Row(app.AccountList(), admins).image, 2);
    ASSERT_TRUE(app.Close());
    DWORD builtin = 0;
    ASSERT_TRUE(settings::GetDword(L"IsShowBuiltinAccount", &builtin));
    EXPECT_EQ(builtin, 1u);

    // The next start shows them at once, here in the stored groups-only view.
    settings::SetDword(L"View", 2);
    ASSERT_TRUE(StartReady());
    EXPECT_TRUE(app.MenuChecked(kShowBuiltin));
    EXPECT_TRUE(app.MenuChecked(kViewGroups));
    EXPECT_FALSE(app.MenuChecked(kViewAll));
    EXPECT_EQ(app.ToolbarState(kViewGroups), TBSTATE_ENABLED | TBSTATE_CHECKED);
    EXPECT_EQ(app.ToolbarState(kViewAll), TBSTATE_ENABLED);
    EXPECT_TRUE(app.MenuGrayed(kAddUser));
    EXPECT_EQ(app.ToolbarState(kAddUser), 0);
    EXPECT_TRUE(Listed(L"Administrators"));
    EXPECT_TRUE(Listed(L"keiri"));
    EXPECT_FALSE(Listed(L"Administrator"));
    for (const ListRow& row : app.Rows(app.AccountList()))
        EXPECT_EQ(row.image, 2) << Narrow(row.cells.at(0));
}

TEST_F(ListTest, StoredBuiltinFlagOfTwoListsThemWithTheItemUnchecked)
{
    PrepareSettings(2);
    ASSERT_TRUE(StartReady());
    EXPECT_TRUE(Listed(L"Administrator"));
    EXPECT_TRUE(Listed(L"Guests"));
    EXPECT_FALSE(app.MenuChecked(kShowBuiltin));
    app.Command(kShowBuiltin); // 2 is not 0, so it becomes 0
    EXPECT_FALSE(Listed(L"Administrator"));
    EXPECT_FALSE(app.MenuChecked(kShowBuiltin));
    EXPECT_TRUE(Listed(L"kanri"));
    ASSERT_TRUE(app.Close());
    DWORD builtin = 9;
    ASSERT_TRUE(settings::GetDword(L"IsShowBuiltinAccount", &builtin));
    EXPECT_EQ(builtin, 0u);
}

TEST_F(ListTest, StoredViewThreeStartsEmptyWithNoViewMarked)
{
    PrepareSettings(0, 0, 3);
    ASSERT_TRUE(StartReady());
    EXPECT_EQ(app.ItemCount(app.AccountList()), 0);
    for (UINT view : {kViewAll, kViewUsers, kViewGroups})
        EXPECT_FALSE(app.MenuChecked(view)) << view;
    EXPECT_NE(app.ToolbarState(kViewAll) & TBSTATE_CHECKED, 0) << "the toolbar's initial state";
    app.PressKey(VK_F5);
    EXPECT_EQ(app.ItemCount(app.AccountList()), 0) << "F5 refreshes view 3: still nothing";
    app.Command(kViewUsers);
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"kanri"});
    EXPECT_TRUE(app.MenuChecked(kViewUsers));
    ASSERT_TRUE(app.Close());
    DWORD view = 9;
    ASSERT_TRUE(settings::GetDword(L"View", &view));
    EXPECT_EQ(view, 1u);
}

TEST_F(ListTest, DisabledAndLockedOutUsersShowTheirIcons)
{
    ASSERT_TRUE(Sim(L"user add taro --disabled"));
    ASSERT_TRUE(Sim(L"user add jiro"));
    ASSERT_TRUE(Sim(L"lockout jiro"));
    ASSERT_TRUE(Sim(L"user add saburo --disabled"));
    ASSERT_TRUE(Sim(L"lockout saburo"));
    ASSERT_TRUE(Sim(L"group add keiri"));
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    struct Expect
    {
        const wchar_t* name;
        int image;
        int overlay;
    } expected[] = {
        {L"kanri", 0, 0}, {L"taro", 1, 0}, {L"jiro", 0, 1}, {L"saburo", 1, 1}, {L"keiri", 2, 0}};
    for (const Expect& e : expected) {
        int item = app.FindRow(list, e.name);
        ASSERT_GE(item, 0) << Narrow(e.name);
        ListRow row = app.Row(list, item);
        EXPECT_EQ(row.image, e.image) << Narrow(e.name);
        EXPECT_EQ(row.overlay, e.overlay) << Narrow(e.name);
    }
    app.ClickRow(list, app.FindRow(list, L"saburo"));
    EXPECT_TEXT(app.DetailValue(L"アカウントの状態"), L"無効");
    EXPECT_TEXT(app.DetailValue(L"ロックアウト"), L"はい");
    app.ClickRow(list, app.FindRow(list, L"kanri"));
    EXPECT_TEXT(app.DetailValue(L"アカウントの状態"), L"有効");
    EXPECT_TEXT(app.DetailValue(L"ロックアウト"), L"いいえ");
}

TEST_F(ListTest, UserNamedLikeTheComputerGetsItsOwnIdAndSid)
{
    ASSERT_TRUE(Sim(L"user add AMBPC01 --full-name 同名ユーザー"));
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    int item = app.FindRow(list, L"AMBPC01");
    ASSERT_GE(item, 0);
    std::wstring id = app.Cell(list, item, 1);
    EXPECT_GE(_wtoi(id.c_str()), 1000);
    ASSERT_TRUE(app.ClickRow(list, item));
    EXPECT_TEXT(app.DetailValue(L"ユーザー名"), L"AMBPC01");
    EXPECT_TEXT(app.DetailValue(L"ID"), id) << "the account's id, not the computer's";
    std::wstring sid = app.DetailValue(L"SID");
    EXPECT_EQ(sid.compare(0, 9, L"S-1-5-21-"), 0) << Narrow(sid);
    std::wstring suffix = L"-" + id;
    EXPECT_TRUE(sid.size() > suffix.size() &&
                sid.compare(sid.size() - suffix.size(), suffix.size(), suffix) == 0)
        << Narrow(sid);
    EXPECT_TEXT(app.DetailValue(L"アカウント名 (フル ネーム)"), L"同名ユーザー");
}

TEST_F(ListTest, MoreThanHundredUsersAllListedInPlatformOrderBeforeGroups)
{
    ASSERT_TRUE(Sim(L"users add-many 130 --prefix u"));
    ASSERT_TRUE(Sim(L"group add aa_first"));
    ASSERT_TRUE(Sim(L"group add zz_last"));
    SimApi api;
    ASSERT_TRUE(api.Ok());
    std::vector<std::wstring> expected;
    for (const auto& user : api.DisplayUsers())
        if (user.second >= 1000)
            expected.push_back(user.first);
    ASSERT_GE(expected.size(), 131u);
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    std::vector<std::wstring> names = Names();
    ASSERT_EQ(names.size(), expected.size() + 2);
    std::vector<std::wstring> users(names.begin(), names.begin() + expected.size());
    EXPECT_EQ(users, expected);
    std::vector<std::wstring> groups(names.begin() + expected.size(), names.end());
    EXPECT_EQ(groups.size(), 2u);
    for (const std::wstring& g : {std::wstring(L"aa_first"), std::wstring(L"zz_last")})
        EXPECT_NE(std::find(groups.begin(), groups.end(), g), groups.end()) << Narrow(g);
    HWND list = app.AccountList();
    EXPECT_EQ(app.Row(list, static_cast<int>(expected.size())).image, 2);
    EXPECT_EQ(app.Row(list, static_cast<int>(expected.size()) - 1).image, 0);
}

TEST_F(ListTest, DetailsOfAUserWhoNeverLoggedOnAndNeverExpires)
{
    ASSERT_TRUE(Sim(L"user add hanako --full-name 山田花子 --comment 経理担当"));
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    int item = app.FindRow(list, L"hanako");
    ASSERT_GE(item, 0);
    ListRow row = app.Row(list, item);
    ASSERT_EQ(row.cells.size(), 4u);
    EXPECT_TEXT(row.cells[2], L"山田花子");
    EXPECT_TEXT(row.cells[3], L"経理担当");
    ASSERT_TRUE(app.ClickRow(list, item));
    auto details = app.Details();
    ASSERT_EQ(details.size(), 14u);
    for (size_t i = 0; i < details.size(); ++i)
        EXPECT_EQ(details[i].first, kUserLabels[i]) << "row " << i;
    EXPECT_TEXT(details[0].second, L"hanako");
    EXPECT_EQ(details[1].second, row.cells[1]);
    EXPECT_TEXT(details[3].second, L"山田花子");
    EXPECT_TEXT(details[4].second, L"経理担当");
    EXPECT_TEXT(details[5].second, L"有効");
    EXPECT_TEXT(details[6].second, L"いいえ");
    EXPECT_TEXT(details[11].second, L"なし") << "TIMEQ_FOREVER";
    EXPECT_TEXT(details[12].second, L"一度もログインしていません");
    // A password set just now: its last change is the present minute (or the one before).
    ULONGLONG now = static_cast<ULONGLONG>(time(nullptr));
    EXPECT_TRUE(details[13].second == LocalDate(now) || details[13].second == LocalDate(now - 60))
        << Narrow(details[13].second) << " vs " << Narrow(LocalDate(now));
}

TEST_F(ListTest, DetailsForExpiryZeroNeverExpiringPasswordAndALastLogon)
{
    ASSERT_TRUE(Sim(L"user add jiro"));
    ASSERT_TRUE(Sim(L"last-logon jiro 1700000000"));
    SimApi api;
    ASSERT_TRUE(api.Ok());
    ASSERT_TRUE(api.SetAccountExpires(L"jiro", 0));
    ASSERT_TRUE(api.SetFlags(L"jiro", UF_DONT_EXPIRE_PASSWD));
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    ASSERT_TRUE(app.ClickRow(app.AccountList(), app.FindRow(app.AccountList(), L"jiro")));
    EXPECT_TEXT(app.DetailValue(L"アカウント有効期限"), L"なし") << "expiry 0";
    EXPECT_TEXT(app.DetailValue(L"定期的なパスワード変更"), L"いいえ");
    EXPECT_TEXT(app.DetailValue(L"最終ログイン日時"), LocalDate(1700000000));
}

TEST_F(ListTest, GroupRowsLeaveTheFullNameEmptyAndShowGroupDetails)
{
    ASSERT_TRUE(Sim(L"group add keiri --comment 経理部"));
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    int item = app.FindRow(list, L"keiri");
    ASSERT_GE(item, 0);
    ListRow row = app.Row(list, item);
    EXPECT_EQ(row.image, 2);
    EXPECT_TEXT(row.cells.at(2), L"");
    EXPECT_TEXT(row.cells.at(3), L"経理部");
    EXPECT_GE(_wtoi(row.cells.at(1).c_str()), 1000);
    ASSERT_TRUE(app.ClickRow(list, item));
    auto details = app.Details();
    ASSERT_EQ(details.size(), 4u);
    EXPECT_EQ(details[0], std::make_pair(std::wstring(L"グループ名"), std::wstring(L"keiri")));
    EXPECT_EQ(details[1], std::make_pair(std::wstring(L"ID"), row.cells[1]));
    EXPECT_TEXT(details[2].first, L"SID");
    EXPECT_EQ(details[3], std::make_pair(std::wstring(L"コメント"), std::wstring(L"経理部")));
    EXPECT_EQ(app.ColumnTitles(list),
              (std::vector<std::wstring>{L"ユーザー名またはグループ名", L"ID",
                                         L"フル ネーム (通称名)", L"説明"}));
    EXPECT_EQ(app.ColumnTitles(app.DetailsList()), (std::vector<std::wstring>{L"項目", L"値"}));
}

} // namespace
} // namespace ambtest
