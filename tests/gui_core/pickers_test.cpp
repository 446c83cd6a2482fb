// The pickers (508 as group and user picker, 514), run in-process with an
// owner window that holds the list box they fill.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "pickers.h"
#include "resource.h"

using dialogtest::DialogHarness;
using dialogtest::ListViewRow;

namespace {
class PickersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
    }
    void TearDown() override
    {
        if (owner_ != nullptr)
            DestroyWindow(owner_);
        FreeAmbguiGlobals();
    }
    // The opener: a window with list box `id` holding `entries`.
    void MakeOwner(int id, std::vector<std::wstring> entries)
    {
        owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        HWND list =
            CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_MULTIPLESEL, 0, 0, 100, 100, owner_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        for (const std::wstring& entry : entries)
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        ownerList_ = id;
    }
    std::vector<std::wstring> OwnerEntries()
    {
        return dialogtest::ListBoxItems(owner_, ownerList_);
    }
    // Checks the rows with these names (as listed) and returns them in row order.
    static std::vector<std::wstring> CheckRows(HWND dialog, std::vector<std::wstring> names)
    {
        std::vector<std::wstring> checked;
        std::vector<ListViewRow> rows = dialogtest::ListViewRows(dialog, IDC_PICKER_LIST);
        for (size_t i = 0; i < rows.size(); ++i)
            for (const std::wstring& name : names)
                if (rows[i].text == name) {
                    dialogtest::CheckListViewRow(dialog, IDC_PICKER_LIST, static_cast<int>(i),
                                                 true);
                    checked.push_back(name);
                }
        return checked;
    }
    // Wine keeps the sub-application name given to SetWindowTheme as this property.
    static bool Themed(HWND dialog)
    {
        return GetPropW(GetDlgItem(dialog, IDC_PICKER_LIST), L"ux_subapp") != nullptr;
    }

    CoreWorld world_;
    HWND owner_ = nullptr;
    int ownerList_ = 0;
};
} // namespace

TEST_F(PickersTest, GroupPickerAppendsCheckedGroupsInRowOrderExceptThoseListedInAnyCase)
{
    ASSERT_TRUE(world_.Sim(L"group add 営業部 --comment 営業"));
    ASSERT_TRUE(world_.Sim(L"group add 経理部"));
    MakeOwner(1005, {L"users"});
    DialogHarness harness;
    std::vector<std::wstring> checked;
    std::wstring title;
    bool themed = false;
    INT_PTR result = harness.Run(
        IDD_PICKER, GroupPickerProc, 0,
        [&](HWND dialog) {
            wchar_t caption[64] = {};
            GetWindowTextW(dialog, caption, 64);
            title = caption;
            themed = Themed(dialog);
            checked = CheckRows(dialog, {L"経理部", L"Users", L"営業部"});
            dialogtest::Press(dialog, IDOK);
        },
        owner_);
    EXPECT_EQ(1, result);
    EXPECT_EQ(L"グループの追加", title);
    EXPECT_TRUE(themed);
    ASSERT_EQ(3u, checked.size());
    std::vector<std::wstring> expected = {L"users"};
    for (const std::wstring& name : checked)
        if (name != L"Users")
            expected.push_back(name);
    EXPECT_EQ(expected, OwnerEntries());
}

TEST_F(PickersTest, GroupPickerKeepsRowsReadBeforeAFailureAndRefusesAnUnfittingName)
{
    ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupEnum 5"));
    MakeOwner(1005, {});
    DialogHarness harness;
    size_t rows = 99;
    bool themed = true;
    harness.Run(
        IDD_PICKER, GroupPickerProc, 0,
        [&](HWND dialog) {
            rows = dialogtest::ListViewRows(dialog, IDC_PICKER_LIST).size();
            themed = Themed(dialog);
        },
        owner_);
    EXPECT_EQ(0u, rows);
    EXPECT_FALSE(themed);
    EXPECT_TRUE(harness.boxes.empty());

    const std::wstring longName(256, L'g');
    ASSERT_TRUE(world_.Sim(L"group add " + longName));
    INT_PTR result = harness.Run(
        IDD_PICKER, GroupPickerProc, 0,
        [&](HWND dialog) {
            CheckRows(dialog, {L"Users", longName});
            dialogtest::Press(dialog, IDOK);
        },
        owner_);
    EXPECT_EQ(2, result) << "the dialog stays open";
    EXPECT_TRUE(OwnerEntries().empty());
    ASSERT_EQ(1u, harness.boxes.size());
    EXPECT_EQ(L"次のグループ名は長すぎるため追加できません (255 文字まで)。\n" +
                  std::wstring(64, L'g') + L"\x2026",
              harness.boxes[0].text);
    EXPECT_EQ(L"グループの追加", harness.boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), harness.boxes[0].style);
}

TEST_F(PickersTest, UserPickerListsEveryAccountOverSeveralPagesAndCancelAddsNothing)
{
    ASSERT_TRUE(world_.Sim(L"users add-many 120 --prefix u"));
    ASSERT_TRUE(world_.Sim(L"user add hanako --full-name 花子 --disabled"));
    MakeOwner(1002, {L"KANRI"});
    DialogHarness harness;
    std::vector<ListViewRow> rows;
    std::vector<std::wstring> checked;
    INT_PTR result = harness.Run(
        IDD_PICKER, UserPickerProc, 0,
        [&](HWND dialog) {
            rows = dialogtest::ListViewRows(dialog, IDC_PICKER_LIST);
            checked = CheckRows(dialog, {L"kanri", L"u00120", L"hanako"});
            dialogtest::Press(dialog, IDOK);
        },
        owner_);
    EXPECT_EQ(1, result);
    ASSERT_EQ(5u + 120u + 1u, rows.size()) << "built-in and disabled accounts are listed too";
    for (const ListViewRow& row : rows) {
        bool disabled = row.text == L"hanako" || row.text == L"Administrator" ||
                        row.text == L"Guest" || row.text == L"DefaultAccount" ||
                        row.text == L"WDAGUtilityAccount";
        EXPECT_EQ(disabled ? 1 : 0, row.image) << dialogtest::Utf8(row.text);
        if (row.text == L"hanako") {
            EXPECT_EQ(L"花子", row.second);
        }
    }
    ASSERT_EQ(3u, checked.size());
    std::vector<std::wstring> expected = {L"KANRI"};
    for (const std::wstring& name : checked)
        if (name != L"kanri")
            expected.push_back(name);
    EXPECT_EQ(expected, OwnerEntries());

    result = harness.Run(
        IDD_PICKER, UserPickerProc, 0,
        [&](HWND dialog) {
            CheckRows(dialog, {L"u00001"});
            dialogtest::Press(dialog, IDCANCEL);
        },
        owner_);
    EXPECT_EQ(2, result);
    EXPECT_EQ(expected, OwnerEntries());
}

TEST_F(PickersTest, TypedNamesAreCutAtSemicolonsAndAddedInOrderOnceEach)
{
    MakeOwner(1002, {L"Bob"});
    DialogHarness harness;
    bool focused = false;
    INT_PTR result = harness.Run(
        IDD_TYPED_NAMES, TypedNamesDialogProc, 0,
        [&](HWND dialog) {
            focused = GetFocus() == GetDlgItem(dialog, IDC_TYPED_NAMES);
            dialogtest::SetText(dialog, IDC_TYPED_NAMES, L";;bob;; alice;;carol;CAROL;");
            dialogtest::Press(dialog, IDOK);
        },
        owner_);
    EXPECT_EQ(1, result);
    EXPECT_TRUE(focused);
    EXPECT_EQ((std::vector<std::wstring>{L"Bob", L" alice", L"carol"}), OwnerEntries());
}

TEST_F(PickersTest, TypedNameLongerThan255CharactersRefusesTheWholeOk)
{
    MakeOwner(1002, {});
    DialogHarness harness;
    INT_PTR refused = harness.Run(
        IDD_TYPED_NAMES, TypedNamesDialogProc, 0,
        [&](HWND dialog) {
            dialogtest::SetText(dialog, IDC_TYPED_NAMES, L"ok;" + std::wstring(300, L'a'));
            dialogtest::Press(dialog, IDOK);
        },
        owner_);
    EXPECT_EQ(2, refused) << "the dialog stays open";
    EXPECT_TRUE(OwnerEntries().empty());
    ASSERT_EQ(1u, harness.boxes.size());
    EXPECT_EQ(L"次のユーザー名は長すぎます。255 文字以内で入力してください。\n" +
                  std::wstring(64, L'a') + L"\x2026",
              harness.boxes[0].text);
    EXPECT_EQ(L"ユーザーの追加", harness.boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), harness.boxes[0].style);

    INT_PTR accepted = harness.Run(
        IDD_TYPED_NAMES, TypedNamesDialogProc, 0,
        [&](HWND dialog) {
            dialogtest::SetText(dialog, IDC_TYPED_NAMES, std::wstring(255, L'a'));
            dialogtest::Press(dialog, IDOK);
        },
        owner_);
    EXPECT_EQ(1, accepted);
    EXPECT_EQ(std::vector<std::wstring>{std::wstring(255, L'a')}, OwnerEntries());
}
