// The add-group (504) and group-settings (505) dialogs run in-process against
// the simulated platform: what they store, which member names they give, and
// what they say when something cannot be stored.
#include <windows.h>

#include <lm.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "callcount.h"
#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "group_dialogs.h"
#include "resource.h"

using namespace dialogtest;
using Names = std::vector<std::wstring>;

namespace {
class GroupDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        AppSettings.Advanced = 1;
        ASSERT_TRUE(world_.Sim(L"user add taro"));
        ASSERT_TRUE(world_.Sim(L"computer add SRV01 --ip 192.0.2.7"));
        ASSERT_TRUE(world_.Sim(L"user add bob --computer SRV01"));
        ASSERT_TRUE(world_.Sim(L"group add 経理部 --comment 経理"));
    }
    void TearDown() override
    {
        FreeAmbguiGlobals();
    }
    // Members as the platform names them, and the description ("-" without the group).
    static Names Members(LPCWSTR group, LPCWSTR server = nullptr)
    {
        Names names;
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        if (NetLocalGroupGetMembers(server, group, 3, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                    nullptr) == NERR_Success)
            for (DWORD i = 0; i < read; ++i)
                names.push_back(
                    reinterpret_cast<LOCALGROUP_MEMBERS_INFO_3*>(buffer)[i].lgrmi3_domainandname);
        NetApiBufferFree(buffer);
        return names;
    }
    static std::wstring Comment(LPCWSTR group)
    {
        LPBYTE buffer = nullptr;
        if (NetLocalGroupGetInfo(nullptr, group, 1, &buffer) != NERR_Success)
            return L"-";
        std::wstring comment = reinterpret_cast<LOCALGROUP_INFO_1*>(buffer)->lgrpi1_comment;
        NetApiBufferFree(buffer);
        return comment;
    }
    INT_PTR AddGroup(const Script& script)
    {
        return harness_.Run(IDD_ADD_GROUP, AddGroupDialogProc, 0, script);
    }
    INT_PTR GroupSettings(std::wstring name, const Script& script)
    {
        name.resize(NameChars + 1);
        return harness_.Run(IDD_GROUP_SETTINGS, GroupSettingsDialogProc,
                            reinterpret_cast<LPARAM>(&name[0]), script);
    }
    // The texts (up to the platform's part) and captions of the boxes shown.
    void ExpectBoxes(const std::vector<std::pair<std::wstring, std::wstring>>& expected)
    {
        ASSERT_EQ(expected.size(), harness_.boxes.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const Box& box = harness_.boxes[i];
            EXPECT_EQ(Utf8(expected[i].first), Utf8(box.text.substr(0, expected[i].first.size())));
            EXPECT_EQ(Utf8(expected[i].second), Utf8(box.caption));
            EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.style);
        }
    }

    CoreWorld world_;
    DialogHarness harness_;
};

const wchar_t AddError[] = L"グループ作成エラー";
const wchar_t SettingsError[] = L"グループ設定エラー";
} // namespace

TEST_F(GroupDialogTest, AddGroupRefusesEmptyAndExistingNamesAndSkipsTheMemberStepForNoMembers)
{
    ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupAddMembers 5"));
    EXPECT_EQ(1, AddGroup([&](HWND dialog) {
                  EXPECT_EQ(256, Limit(dialog, IDC_GROUP_NAME));
                  Press(dialog, IDOK);
                  SetText(dialog, IDC_GROUP_NAME, L"経理部");
                  Press(dialog, IDOK);
                  SetText(dialog, IDC_GROUP_NAME, L"総務部");
                  SetText(dialog, IDC_GROUP_COMMENT, L"総務");
                  Press(dialog, IDOK);
              }));
    EXPECT_EQ(L"総務", Comment(L"総務部"));
    EXPECT_EQ(2u, harness_.boxes.size()) << "no member step for no members";
    EXPECT_EQ(1, AddGroup([&](HWND dialog) {
                  SetText(dialog, IDC_GROUP_NAME, L"人事部");
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"taro");
                  Press(dialog, IDOK);
              }))
        << "the group exists although its member step failed";
    ExpectBoxes(
        {{L"グループ名を入力してください。", AddError},
         {L"ローカル グループを作成できませんでした。\n(エラー詳細 : ", AddError},
         {L"ローカル グループの作成は完了しましたが、ユーザーを追加できませんでした。\n(エラー詳細 : ",
          AddError}});
    EXPECT_EQ(L"", Comment(L"人事部"));
}

// "SRV01\bob" goes as typed, not as "AMBPC01\SRV01\bob"; an entry that the
// computer's name makes too long stops the whole OK.
TEST_F(GroupDialogTest, AddGroupQualifiesBareEntriesOnlyAndRefusesOverLongNames)
{
    std::wstring longEntry(250, L'a');
    EXPECT_EQ(1, AddGroup([&](HWND dialog) {
                  SetText(dialog, IDC_GROUP_NAME, L"開発部");
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, longEntry);
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"taro");
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"SRV01\\bob");
                  Press(dialog, IDOK);
                  EXPECT_EQ(L"-", Comment(L"開発部"));
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 0);
                  Click(dialog, IDC_GROUP_REMOVE_MEMBERS);
                  Press(dialog, IDOK);
              }));
    ExpectBoxes({{L"メンバー名が長すぎます。\n" + longEntry, AddError}});
    EXPECT_EQ((Names{L"AMBPC01\\taro", L"SRV01\\bob"}), Members(L"開発部"));
}

TEST_F(GroupDialogTest, SettingsListOwnMembersBareAndReplaceTheWholeMembership)
{
    for (const wchar_t* member : {L"taro", L"SRV01\\bob", L"\"NT AUTHORITY\\INTERACTIVE\""})
        ASSERT_TRUE(world_.Sim(std::wstring(L"member add 経理部 ") + member));
    ASSERT_TRUE(world_.Sim(L"user add hanako"));
    Names shown;
    EXPECT_EQ(1, GroupSettings(L"経理部", [&](HWND dialog) {
                  EXPECT_EQ(L"経理部", Text(dialog, IDC_GROUP_NAME));
                  EXPECT_EQ(L"経理", Text(dialog, IDC_GROUP_COMMENT));
                  EXPECT_EQ(256, Limit(dialog, IDC_GROUP_COMMENT));
                  shown = ListBoxItems(dialog, IDC_GROUP_MEMBERS);
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 0);
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 2);
                  Click(dialog, IDC_GROUP_REMOVE_MEMBERS);
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"hanako");
                  SetText(dialog, IDC_GROUP_COMMENT, L"経理課");
                  Press(dialog, IDOK);
              }));
    EXPECT_EQ((Names{L"taro", L"SRV01\\bob", L"NT AUTHORITY\\INTERACTIVE"}), shown);
    EXPECT_EQ((Names{L"SRV01\\bob", L"AMBPC01\\hanako"}), Members(L"経理部"));
    EXPECT_EQ(L"経理課", Comment(L"経理部"));
    EXPECT_EQ(1, GroupSettings(L"経理部", [&](HWND dialog) {
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 0);
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 1);
                  Click(dialog, IDC_GROUP_REMOVE_MEMBERS);
                  Press(dialog, IDOK);
              }));
    EXPECT_TRUE(Members(L"経理部").empty()) << "an empty list empties the group";
    EXPECT_TRUE(harness_.boxes.empty());
}

TEST_F(GroupDialogTest, SettingsReportWhatCannotBeReadOrStored)
{
    EXPECT_EQ(2, GroupSettings(L"消えた部", [](HWND) { ADD_FAILURE() << "opened"; }));
    ASSERT_TRUE(world_.Sim(L"member add 経理部 SRV01\\bob"));
    ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupSetMembers 5"));
    const std::wstring longEntry(250, L'a');
    EXPECT_EQ(2, GroupSettings(L"経理部", [&](HWND dialog) {
                  SetText(dialog, IDC_GROUP_COMMENT, L"経理課");
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, longEntry);
                  Press(dialog, IDOK);
                  EXPECT_EQ(L"経理", Comment(L"経理部")) << "an over-long member stores nothing";
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 1);
                  Click(dialog, IDC_GROUP_REMOVE_MEMBERS);
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"taro");
                  ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupSetInfo 5"));
                  Press(dialog, IDOK);
                  EXPECT_EQ(L"経理", Comment(L"経理部")) << "nothing stored";
                  Press(dialog, IDOK);
              }));
    ExpectBoxes(
        {{L"ローカル グループの情報を取得できませんでした。\n(エラー詳細 : ", SettingsError},
         {L"メンバー名が長すぎます。\n" + longEntry, SettingsError},
         {L"ローカル グループの設定を変更できませんでした。\n(エラー詳細 : ", SettingsError},
         {L"メンバーシップの設定を変更できませんでした。\n(エラー詳細 : ", SettingsError}});
    EXPECT_EQ(L"経理課", Comment(L"経理部")) << "the description was stored first";
    EXPECT_EQ(Names{L"SRV01\\bob"}, Members(L"経理部"));
}

// Members come back under the name the target gives itself, not the address
// it was typed as (which member calls refuse).
TEST_F(GroupDialogTest, RemoteTargetTypedAsAnAddressShowsAndStoresMembersUnderItsOwnName)
{
    ASSERT_TRUE(world_.Sim(L"user add carol --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"group add team --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"member add team bob --computer SRV01"));
    wcscpy(TargetServer, L"192.0.2.7");
    Names shown;
    EXPECT_EQ(1, GroupSettings(L"team", [&](HWND dialog) {
                  shown = ListBoxItems(dialog, IDC_GROUP_MEMBERS);
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"carol");
                  Press(dialog, IDOK);
              }));
    ExpectBoxes({});
    EXPECT_EQ(Names{L"bob"}, shown);
    EXPECT_EQ((Names{L"SRV01\\bob", L"SRV01\\carol"}), Members(L"team", L"\\\\192.0.2.7"));
}

TEST_F(GroupDialogTest, PersonalModeOpensTheUserListAtOnce)
{
    AppSettings.Advanced = 0;
    AddGroup([&](HWND dialog) { Click(dialog, IDC_GROUP_ADD_MEMBERS); });
    ASSERT_EQ(1u, harness_.opened.size());
    EXPECT_EQ(static_cast<UINT>(IDD_PICKER), harness_.opened[0].templateId);
}

namespace {
// What NetLocalGroupSetMembers was given: its level and the SIDs as text.
DWORD setLevel = 0;
Names setSids;
NET_API_STATUS WINAPI RecordSetMembers(LPCWSTR, LPCWSTR, DWORD level, LPBYTE buffer, DWORD count)
{
    setLevel = level;
    for (DWORD i = 0; level == 0 && i < count; ++i) {
        LPWSTR text = nullptr;
        ConvertSidToStringSidW(reinterpret_cast<LOCALGROUP_MEMBERS_INFO_0*>(buffer)[i].lgrmi0_sid,
                               &text);
        setSids.push_back(text != nullptr ? text : L"?");
        LocalFree(text);
    }
    return NERR_Success;
}

std::wstring SidOf(LPCWSTR name)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid, domainChars = 64;
    wchar_t domain[64];
    SID_NAME_USE use;
    LPWSTR text = nullptr;
    if (LookupAccountNameW(nullptr, name, sid, &sidSize, domain, &domainChars, &use))
        ConvertSidToStringSidW(sid, &text);
    std::wstring copy = text != nullptr ? text : L"";
    LocalFree(text);
    return copy;
}

// A page that brings nothing but says there is more; the fourth call ends it.
int emptyPages = 0;
NET_API_STATUS WINAPI EmptyPage(LPCWSTR, LPCWSTR, DWORD, LPBYTE* buffer, DWORD, LPDWORD read,
                                LPDWORD total, PDWORD_PTR)
{
    *buffer = nullptr;
    *read = *total = 0;
    return ++emptyPages > 3 ? NERR_Success : ERROR_MORE_DATA;
}
} // namespace

// Everyone has no domain and a deleted account shows as its SID: neither has
// a name the target takes, so members read at opening go back by their SIDs.
TEST_F(GroupDialogTest, SettingsGiveReportedMembersBackBySidAndQualifyOnlyAddedOnes)
{
    for (const wchar_t* member : {L"Everyone", L"SRV01\\bob", L"taro"})
        ASSERT_TRUE(world_.Sim(std::wstring(L"member add 経理部 ") + member));
    ASSERT_TRUE(world_.Sim(L"user del bob --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"user add hanako"));
    void* real =
        RedirectImport("NetLocalGroupSetMembers", reinterpret_cast<void*>(RecordSetMembers));
    Names shown;
    EXPECT_EQ(1, GroupSettings(L"経理部", [&](HWND dialog) {
                  shown = ListBoxItems(dialog, IDC_GROUP_MEMBERS);
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 2);
                  Click(dialog, IDC_GROUP_REMOVE_MEMBERS);
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"hanako");
                  Press(dialog, IDOK);
              }));
    RedirectImport("NetLocalGroupSetMembers", real);
    ExpectBoxes({});
    ASSERT_EQ(3u, shown.size());
    EXPECT_EQ(0u, shown[1].rfind(L"S-1-5-21-", 0)) << Utf8(shown[1]);
    EXPECT_EQ(0u, setLevel);
    EXPECT_EQ((Names{L"S-1-1-0", shown[1], SidOf(L"hanako")}), setSids);
}

TEST_F(GroupDialogTest, SettingsStopAtAnEmptyPageAndSayWhenTheTargetsNameIsUnknown)
{
    void* real = RedirectImport("NetLocalGroupGetMembers", reinterpret_cast<void*>(EmptyPage));
    GroupSettings(L"経理部", [](HWND) {});
    RedirectImport("NetLocalGroupGetMembers", real);
    EXPECT_EQ(1, emptyPages);

    ASSERT_TRUE(world_.Sim(L"group add team --computer SRV01"));
    wcscpy(TargetServer, L"192.0.2.7");
    EXPECT_EQ(2, GroupSettings(L"team", [&](HWND dialog) {
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"bob");
                  ASSERT_TRUE(world_.Sim(L"fail LsaOpenPolicy 5"));
                  Press(dialog, IDOK);
              }));
    ExpectBoxes(
        {{L"対象コンピューターのアカウント ドメイン名を取得できませんでした。\n(エラー詳細 : "
          L"アクセスが拒否されました。)",
          SettingsError}});
    EXPECT_TRUE(Members(L"team", L"\\\\192.0.2.7").empty());
}

TEST_F(GroupDialogTest, EntraMembersAreListedKeptAndRemovedByTheirSids)
{
    ASSERT_TRUE(world_.Sim(L"reset --entra"));
    const std::wstring role1 = L"S-1-12-1-2935245824-1294732452-2519542191-3411468211";
    const std::wstring role2 = L"S-1-12-1-1826185478-1225786218-3051424131-1870923446";
    const std::wstring account = L"MicrosoftAccount\\hanako.yamada@outlook.jp";
    Names shown;
    EXPECT_EQ(1, GroupSettings(L"Administrators", [&](HWND dialog) {
                  shown = ListBoxItems(dialog, IDC_GROUP_MEMBERS);
                  SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, 2);
                  Click(dialog, IDC_GROUP_REMOVE_MEMBERS);
                  SetText(dialog, IDC_GROUP_COMMENT, L"管理者");
                  Press(dialog, IDOK);
              }));
    ExpectBoxes({});
    EXPECT_EQ((Names{L"Administrator", L"kanri", role1, role2, account}), shown);
    EXPECT_EQ((Names{L"AMBPC01\\Administrator", L"AMBPC01\\kanri", role2, account}),
              Members(L"Administrators"))
        << "the other Entra SID and the Microsoft account stay";
}
