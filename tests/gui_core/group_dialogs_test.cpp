// The add-group (504) and group-settings (505) dialogs run in-process against
// the simulated platform: what they store, which member names they give, and
// what they say when something cannot be stored.
#include <windows.h>

#include <lm.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "group_dialogs.h"
#include "resource.h"

using namespace dialogtest;

namespace {
class GroupDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        AppSettings.Advanced = 1;
        ASSERT_TRUE(world_.Sim(L"user add taro"));
        ASSERT_TRUE(world_.Sim(L"user add hanako"));
    }
    void TearDown() override
    {
        FreeAmbguiGlobals();
    }

    // Members of a group as the platform names them (server as the dialogs give it).
    static std::vector<std::wstring> Members(LPCWSTR group, LPCWSTR server = nullptr)
    {
        std::vector<std::wstring> names;
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
    // The group's description, or "(none)" when there is no such group.
    static std::wstring Comment(LPCWSTR group, LPCWSTR server = nullptr)
    {
        LPBYTE buffer = nullptr;
        if (NetLocalGroupGetInfo(server, group, 1, &buffer) != NERR_Success)
            return L"(none)";
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
                            reinterpret_cast<LPARAM>(name.data()), script);
    }
    void ExpectBox(size_t index, const std::wstring& text, const std::wstring& caption)
    {
        ASSERT_LT(index, harness_.boxes.size());
        EXPECT_EQ(Utf8(text), Utf8(harness_.boxes[index].text.substr(0, text.size())));
        EXPECT_EQ(Utf8(caption), Utf8(harness_.boxes[index].caption));
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), harness_.boxes[index].style);
    }

    CoreWorld world_;
    DialogHarness harness_;
};
} // namespace

TEST_F(GroupDialogTest, AddGroupRefusesAnEmptyNameAndCallsTheMemberStepAlsoForNoMembers)
{
    ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupAddMembers 5"));
    INT_PTR result = AddGroup([&](HWND dialog) {
        EXPECT_EQ(256, Limit(dialog, IDC_GROUP_NAME));
        Press(dialog, IDOK);
        SetText(dialog, IDC_GROUP_NAME, L"総務部");
        SetText(dialog, IDC_GROUP_COMMENT, L"総務");
        Press(dialog, IDOK);
    });
    EXPECT_EQ(1, result) << "the group exists although its member step failed";
    ASSERT_EQ(2u, harness_.boxes.size());
    ExpectBox(0, L"グループ名を入力してください。", L"グループ作成エラー");
    ExpectBox(
        1,
        L"ローカル グループの作成は完了しましたが、ユーザーを追加できませんでした。\n(エラー詳細 : ",
        L"グループ作成エラー");
    EXPECT_EQ(L"総務", Comment(L"総務部"));
    EXPECT_TRUE(Members(L"総務部").empty());
}

// A member of another domain ("SRV01\bob") goes as typed, not "AMBPC01\SRV01\bob".
TEST_F(GroupDialogTest, AddGroupQualifiesBareEntriesOnlyAndReportsAnExistingName)
{
    ASSERT_TRUE(world_.Sim(L"computer add SRV01"));
    ASSERT_TRUE(world_.Sim(L"user add bob --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"group add 経理部"));
    INT_PTR result = AddGroup([&](HWND dialog) {
        AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"taro");
        AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"SRV01\\bob");
        SetText(dialog, IDC_GROUP_NAME, L"経理部");
        Press(dialog, IDOK);
        SetText(dialog, IDC_GROUP_NAME, L"開発部");
        Press(dialog, IDOK);
    });
    EXPECT_EQ(1, result);
    ASSERT_EQ(1u, harness_.boxes.size());
    ExpectBox(0, L"ローカル グループを作成できませんでした。\n(エラー詳細 : ",
              L"グループ作成エラー");
    EXPECT_EQ((std::vector<std::wstring>{L"AMBPC01\\taro", L"SRV01\\bob"}), Members(L"開発部"));
}

TEST_F(GroupDialogTest, MemberNamesTooLongForThePlatformAreRefusedAndNothingIsStored)
{
    ASSERT_TRUE(world_.Sim(L"group add 経理部 --comment 旧"));
    std::wstring longEntry(250, L'a'); // "AMBPC01\" makes it 258 characters
    EXPECT_EQ(2, AddGroup([&](HWND dialog) {
                  SetText(dialog, IDC_GROUP_NAME, L"開発部");
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, longEntry);
                  Press(dialog, IDOK);
              }));
    EXPECT_EQ(2, GroupSettings(L"経理部", [&](HWND dialog) {
                  SetText(dialog, IDC_GROUP_COMMENT, L"新");
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, longEntry);
                  Press(dialog, IDOK);
              }));
    ASSERT_EQ(2u, harness_.boxes.size());
    ExpectBox(0, L"メンバー名が長すぎます。\n" + longEntry, L"グループ作成エラー");
    ExpectBox(1, L"メンバー名が長すぎます。\n" + longEntry, L"グループ設定エラー");
    EXPECT_EQ(L"(none)", Comment(L"開発部"));
    EXPECT_EQ(L"旧", Comment(L"経理部"));
}

TEST_F(GroupDialogTest, SettingsListOwnMembersBareRemoveSelectedAndReplaceTheMembership)
{
    ASSERT_TRUE(world_.Sim(L"computer add SRV01"));
    ASSERT_TRUE(world_.Sim(L"user add bob --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"group add 経理部 --comment 経理"));
    for (const wchar_t* member : {L"taro", L"SRV01\\bob", L"NT AUTHORITY\\INTERACTIVE"})
        ASSERT_TRUE(world_.Sim(std::wstring(L"member add 経理部 \"") + member + L"\""));
    std::vector<std::wstring> shown;
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
    EXPECT_EQ((std::vector<std::wstring>{L"taro", L"SRV01\\bob", L"NT AUTHORITY\\INTERACTIVE"}),
              shown);
    EXPECT_EQ((std::vector<std::wstring>{L"SRV01\\bob", L"AMBPC01\\hanako"}), Members(L"経理部"));
    EXPECT_EQ(L"経理課", Comment(L"経理部"));

    EXPECT_EQ(1, GroupSettings(L"経理部", [&](HWND dialog) {
                  for (int i = 0; i < 2; ++i)
                      SelectListBoxItem(dialog, IDC_GROUP_MEMBERS, i);
                  Click(dialog, IDC_GROUP_REMOVE_MEMBERS);
                  Press(dialog, IDOK);
              }));
    EXPECT_TRUE(Members(L"経理部").empty()) << "an empty list empties the group";
    EXPECT_TRUE(harness_.boxes.empty());
}

TEST_F(GroupDialogTest, SettingsReportWhatCannotBeReadOrStored)
{
    ASSERT_TRUE(world_.Sim(L"group add 経理部 --comment 経理"));
    ASSERT_TRUE(world_.Sim(L"member add 経理部 taro"));
    EXPECT_EQ(2, GroupSettings(L"消えた部", [](HWND) { ADD_FAILURE() << "opened"; }));
    ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupSetMembers 5"));
    EXPECT_EQ(2, GroupSettings(L"経理部",
                               [&](HWND dialog) {
                                   SetText(dialog, IDC_GROUP_COMMENT, L"経理課");
                                   AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"hanako");
                                   Press(dialog, IDOK);
                               }))
        << "stays open after the failure";
    ASSERT_EQ(2u, harness_.boxes.size());
    ExpectBox(0, L"ローカル グループの情報を取得できませんでした。\n(エラー詳細 : ",
              L"グループ設定エラー");
    ExpectBox(1, L"メンバーシップの設定を変更できませんでした。\n(エラー詳細 : ",
              L"グループ設定エラー");
    EXPECT_EQ(L"経理課", Comment(L"経理部")) << "the description was stored first";
    EXPECT_EQ((std::vector<std::wstring>{L"AMBPC01\\taro"}), Members(L"経理部"));
}

// On a target typed as an address, members are qualified with the name the
// target gives itself, not with the address (which member calls refuse).
TEST_F(GroupDialogTest, RemoteTargetTypedAsAnAddressShowsAndStoresMembersUnderItsOwnName)
{
    ASSERT_TRUE(world_.Sim(L"computer add SRV01 --ip 192.0.2.7"));
    ASSERT_TRUE(world_.Sim(L"user add bob --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"user add carol --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"group add team --computer SRV01"));
    ASSERT_TRUE(world_.Sim(L"member add team bob --computer SRV01"));
    wcscpy(TargetServer, L"192.0.2.7");
    std::vector<std::wstring> shown;
    EXPECT_EQ(1, GroupSettings(L"team", [&](HWND dialog) {
                  shown = ListBoxItems(dialog, IDC_GROUP_MEMBERS);
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"carol");
                  Press(dialog, IDOK);
              }));
    EXPECT_EQ(1, AddGroup([&](HWND dialog) {
                  SetText(dialog, IDC_GROUP_NAME, L"new");
                  AddListBoxItem(dialog, IDC_GROUP_MEMBERS, L"bob");
                  Press(dialog, IDOK);
              }));
    EXPECT_TRUE(harness_.boxes.empty()) << Utf8(harness_.boxes.front().text);
    EXPECT_EQ(std::vector<std::wstring>{L"bob"}, shown);
    EXPECT_EQ((std::vector<std::wstring>{L"SRV01\\bob", L"SRV01\\carol"}),
              Members(L"team", L"\\\\192.0.2.7"));
    EXPECT_EQ(std::vector<std::wstring>{L"SRV01\\bob"}, Members(L"new", L"\\\\192.0.2.7"));
}

TEST_F(GroupDialogTest, PersonalModeOpensTheUserListAtOnceAndTheMenuChoicesOpenTheirDialogs)
{
    AppSettings.Advanced = 0;
    AddGroup([&](HWND dialog) {
        Click(dialog, IDC_GROUP_ADD_MEMBERS);
        Press(dialog, CMD_PICK_USERS);
        Press(dialog, CMD_TYPE_NAMES);
    });
    ASSERT_EQ(3u, harness_.opened.size());
    EXPECT_EQ(static_cast<UINT>(IDD_PICKER), harness_.opened[0].templateId);
    EXPECT_EQ(static_cast<UINT>(IDD_PICKER), harness_.opened[1].templateId);
    EXPECT_EQ(static_cast<UINT>(IDD_TYPED_NAMES), harness_.opened[2].templateId);
}
