// The pickers (508 as group and user picker, 514), run in-process with an
// owner window that holds the list box they fill.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "pickers.h"
#include "resource.h"

using Names = std::vector<std::wstring>;

namespace {
struct Picked
{
    INT_PTR result = -1;
    std::vector<dialogtest::ListViewRow> rows;
    Names checked; // in row order
    bool themed = false;
};

class PickersTest : public ::testing::Test
{
protected:
    // The opener: a window with list box `id` holding `entries`.
    void SetUpOwner(int id, const Names& entries)
    {
        ResetAmbguiGlobals();
        owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_MULTIPLESEL, 0, 0, 100, 100, owner_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        ownerList_ = id;
        for (const std::wstring& entry : entries)
            dialogtest::AddListBoxItem(owner_, id, entry);
    }
    void TearDown() override
    {
        DestroyWindow(owner_);
        FreeAmbguiGlobals();
    }
    Names OwnerEntries()
    {
        return dialogtest::ListBoxItems(owner_, ownerList_);
    }
    // Opens the picker, checks the rows with these names and presses `button`.
    Picked Pick(DLGPROC procedure, const Names& names, int button = IDOK)
    {
        Picked picked;
        picked.result = harness_.Run(
            IDD_PICKER, procedure, 0,
            [&](HWND dialog) {
                // Wine keeps the name given to SetWindowTheme as this property.
                picked.themed = GetPropW(GetDlgItem(dialog, IDC_PICKER_LIST), L"ux_subapp");
                picked.rows = dialogtest::ListViewRows(dialog, IDC_PICKER_LIST);
                for (size_t i = 0; i < picked.rows.size(); ++i)
                    if (std::count(names.begin(), names.end(), picked.rows[i].text) != 0) {
                        dialogtest::CheckListViewRow(dialog, IDC_PICKER_LIST, int(i), true);
                        picked.checked.push_back(picked.rows[i].text);
                    }
                dialogtest::Press(dialog, button);
            },
            owner_);
        return picked;
    }
    INT_PTR Type(const std::wstring& text)
    {
        return harness_.Run(
            IDD_TYPED_NAMES, TypedNamesDialogProc, 0,
            [&](HWND dialog) {
                // A dialog that another test process keeps from the foreground
                // has no focus at all; one that has it must have it in the edit.
                HWND focus = GetFocus();
                typedInFocus_ = focus == GetDlgItem(dialog, IDC_TYPED_NAMES) || focus == nullptr;
                dialogtest::SetText(dialog, IDC_TYPED_NAMES, text);
                dialogtest::Press(dialog, IDOK);
            },
            owner_);
    }
    void ExpectOneWarning(const std::wstring& text, const std::wstring& caption)
    {
        ASSERT_EQ(1u, harness_.boxes.size());
        EXPECT_EQ(text, harness_.boxes[0].text);
        EXPECT_EQ(caption, harness_.boxes[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), harness_.boxes[0].style);
    }

    CoreWorld world_;
    dialogtest::DialogHarness harness_;
    HWND owner_ = nullptr;
    int ownerList_ = 0;
    bool typedInFocus_ = false;
};
} // namespace

TEST_F(PickersTest, GroupPickerAppendsCheckedGroupsInRowOrderExceptThoseListedInAnyCase)
{
    ASSERT_TRUE(world_.Sim(L"group add 営業部"));
    ASSERT_TRUE(world_.Sim(L"group add 経理部"));
    SetUpOwner(1005, {L"users"});
    Picked picked = Pick(GroupPickerProc, {L"経理部", L"Users", L"営業部"});
    EXPECT_EQ(1, picked.result);
    EXPECT_TRUE(picked.themed);
    ASSERT_EQ(3u, picked.checked.size());
    picked.checked.erase(std::find(picked.checked.begin(), picked.checked.end(), L"Users"));
    picked.checked.insert(picked.checked.begin(), L"users");
    EXPECT_EQ(picked.checked, OwnerEntries());
}

TEST_F(PickersTest, GroupPickerFailsSilentlyWithoutThemeAndRefusesAnUnfittingName)
{
    ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupEnum 5"));
    SetUpOwner(1005, {});
    Picked failed = Pick(GroupPickerProc, {}, IDCANCEL);
    EXPECT_EQ(0u, failed.rows.size());
    EXPECT_FALSE(failed.themed);
    EXPECT_TRUE(harness_.boxes.empty());

    const std::wstring longName(256, L'g');
    ASSERT_TRUE(world_.Sim(L"group add " + longName));
    EXPECT_EQ(2, Pick(GroupPickerProc, {L"Users", longName}).result) << "stays open";
    EXPECT_TRUE(OwnerEntries().empty());
    ExpectOneWarning(L"次のグループ名は長すぎるため追加できません (255 文字まで)。\n" +
                         std::wstring(64, L'g') + L"\x2026",
                     L"グループの追加");
}

TEST_F(PickersTest, UserPickerListsEveryAccountOverSeveralPagesAndCancelAddsNothing)
{
    ASSERT_TRUE(world_.Sim(L"users add-many 120 --prefix u"));
    ASSERT_TRUE(world_.Sim(L"user add hanako --full-name 花子 --disabled"));
    SetUpOwner(1002, {L"KANRI"});
    Picked picked = Pick(UserPickerProc, {L"kanri", L"u00120", L"hanako"});
    EXPECT_EQ(1, picked.result);
    // The five accounts of a fresh world, four of them disabled, are listed too.
    ASSERT_EQ(5u + 120u + 1u, picked.rows.size());
    int disabled = 0;
    for (const dialogtest::ListViewRow& row : picked.rows)
        disabled += row.image;
    EXPECT_EQ(5, disabled);
    ASSERT_EQ(3u, picked.checked.size());
    picked.checked.erase(std::find(picked.checked.begin(), picked.checked.end(), L"kanri"));
    picked.checked.insert(picked.checked.begin(), L"KANRI");
    EXPECT_EQ(picked.checked, OwnerEntries());

    EXPECT_EQ(2, Pick(UserPickerProc, {L"u00001"}, IDCANCEL).result);
    EXPECT_EQ(picked.checked, OwnerEntries());
}

TEST_F(PickersTest, TypedNamesAreCutAtSemicolonsAndLineBreaksAndAnOverlongOneRefusesTheWholeOk)
{
    SetUpOwner(1002, {L"Bob"});
    EXPECT_EQ(1, Type(L";;bob;; alice;;carol;CAROL;\r\ndave\r\n\r\nerin\nfrank\r"));
    EXPECT_TRUE(typedInFocus_);
    Names expected = {L"Bob", L" alice", L"carol", L"dave", L"erin", L"frank"};
    EXPECT_EQ(expected, OwnerEntries());

    EXPECT_EQ(2, Type(L"ok;" + std::wstring(300, L'a'))) << "stays open";
    EXPECT_EQ(expected, OwnerEntries());
    ExpectOneWarning(L"次のユーザー名は長すぎます。255 文字以内で入力してください。\n" +
                         std::wstring(64, L'a') + L"\x2026",
                     L"ユーザーの追加");

    EXPECT_EQ(1, Type(std::wstring(255, L'a')));
    expected.push_back(std::wstring(255, L'a'));
    EXPECT_EQ(expected, OwnerEntries());
}

TEST_F(PickersTest, MovedToAnotherScaleTheColumnsAndIconsFollow)
{
    SetUpOwner(1005, {});
    int widths[2] = {}, before = 0, icon = 0, height = 0;
    harness_.Run(
        IDD_PICKER, GroupPickerProc, 0,
        [&](HWND dialog) {
            HWND list = GetDlgItem(dialog, IDC_PICKER_LIST);
            before = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
            UINT dpi = MulDiv(96, before, 200) * 3 / 2; // half as large again
            RECT rect;
            GetWindowRect(dialog, &rect);
            SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                         reinterpret_cast<LPARAM>(&rect));
            for (int i = 0; i < 2; ++i)
                widths[i] = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
            auto images =
                reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
            ImageList_GetIconSize(images, &icon, &height);
            dialogtest::Press(dialog, IDCANCEL);
        },
        owner_);
    EXPECT_EQ(before * 3 / 2, widths[0]);
    EXPECT_EQ(256 * before / 200 * 3 / 2, widths[1]);
    EXPECT_EQ(before * 3 / 2 * 16 / 200, icon) << "icons drawn at the new scale";
}
