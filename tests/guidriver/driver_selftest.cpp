// The driver proven on a window of its own (guidriver_testwin.exe): every way of
// working a window that the Ambgui tests rely on, checked against what the
// window reports in its title.
#include <gtest/gtest.h>

#include "guidriver.h"
#include "testwin.h"

using namespace guidriver;

namespace {

class DriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.Start(TestBinDir() + L"\\guidriver_testwin.exe"));
        ASSERT_NE(app.WaitMainWindow(L"AmbDriverTestWin"), nullptr);
        list = app.AccountList();
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override
    {
        app.Kill();
    }

    App app;
    HWND list = nullptr;
};

TEST_F(DriverTest, ReadsRowsImagesOverlaysAndColumns)
{
    EXPECT_EQ(app.Title(), L"テスト ウィンドウ");
    EXPECT_EQ(app.ColumnTitles(list), (std::vector<std::wstring>{L"名前", L"ID", L"説明"}));
    std::vector<ListRow> rows = app.Rows(list);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::wstring>{L"山田太郎", L"1001", L"一般ユーザー"}));
    EXPECT_EQ(rows[1].image, 1);
    EXPECT_EQ(rows[1].overlay, 1);
    EXPECT_EQ(rows[0].overlay, 0);
    EXPECT_EQ(rows[2].image, 2);
    EXPECT_EQ(app.FindRow(list, L"経理グループ"), 2);
    EXPECT_EQ(app.FindRow(list, L"none"), -1);
}

TEST_F(DriverTest, MenuStatesThroughTheProbe)
{
    EXPECT_TRUE(app.MenuGrayed(CMD_DELETE));
    EXPECT_FALSE(app.MenuGrayed(CMD_OPEN));
    EXPECT_TRUE(app.MenuChecked(CMD_CHECK));
    EXPECT_EQ(app.MenuState(12345), -1);
    EXPECT_EQ(app.MenuText(CMD_OPEN), L"開く(&O)");
    std::vector<App::MenuItem> items = app.MenuBarPopup(1);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[1].id, static_cast<UINT>(CMD_DELETE));
    EXPECT_TRUE(items[1].state & MF_GRAYED);
    EXPECT_TRUE(items[2].state & MFT_SEPARATOR);
}

TEST_F(DriverTest, ClickSelectsAndUpdatesDetailsAndStates)
{
    EXPECT_EQ(app.ToolbarState(CMD_DELETE), 0);
    ASSERT_TRUE(app.ClickRow(list, 1));
    EXPECT_EQ(app.SelectedItems(list), std::vector<int>{1});
    EXPECT_EQ(app.Cell(app.DetailsList(), 0, 1), L"無効ユーザー");
    EXPECT_FALSE(app.MenuGrayed(CMD_DELETE));
    EXPECT_EQ(app.ToolbarState(CMD_DELETE), TBSTATE_ENABLED);
    ASSERT_TRUE(app.ClearSelection(list));
    EXPECT_TRUE(app.SelectedItems(list).empty());
    EXPECT_TRUE(app.MenuGrayed(CMD_DELETE));
    ASSERT_TRUE(app.SelectRow(list, 2));
    EXPECT_EQ(app.DetailValue(L"名前"), L"経理グループ");
}

TEST_F(DriverTest, SettleWaitsForAllPostedInputAndWhatItPosts)
{
    // Slow input piled up in the queue, each posting a follow-up of its own.
    for (int i = 0; i < 12; ++i)
        PostMessageW(app.Main(), WM_COMMAND, CMD_COUNT, 0);
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(app.Title(), L"counted 12");
}

TEST_F(DriverTest, KeysReachListAndAccelerators)
{
    app.ClickRow(list, 0);
    app.PressKey(VK_DELETE);
    EXPECT_EQ(app.Title(), L"key 46");
    app.PressKey(VK_F2); // accelerator of an enabled item
    EXPECT_EQ(app.Title(), L"cmd 9002");
    app.PressKey(VK_F5); // accelerator whose command shows a message box
    HWND box = app.WaitDialog(L"テスト");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(App::MessageText(box), L"更新しました。\n次の行です。");
    App::PressButton(box, IDOK);
    EXPECT_TRUE(App::WaitGone(box));
    app.Settle();
    EXPECT_EQ(app.Title(), L"cmd 9005");
}

TEST_F(DriverTest, DoubleClickAndRightClickPopup)
{
    ASSERT_TRUE(app.DoubleClickRow(list, 2));
    EXPECT_EQ(app.Title(), L"dblclk 2");
    ASSERT_TRUE(app.RightClickRow(list, 0));
    std::vector<App::MenuItem> items;
    ASSERT_TRUE(app.WaitPopupMenu(&items));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].text, L"開く(&O)");
    EXPECT_FALSE(items[1].state & MF_GRAYED) << "row 0 was selected by the right click";
    app.CloseMenu();
    EXPECT_EQ(app.Title(), L"rclick 0");
}

TEST_F(DriverTest, ToolbarDialogEditsAndBoxes)
{
    EXPECT_EQ(app.ToolbarButtonCount(), 2);
    ASSERT_TRUE(app.ClickToolbarButton(CMD_OPEN));
    HWND dialog = app.WaitDialog(L"テスト ダイアログ");
    ASSERT_NE(dialog, nullptr);
    DialogText text = App::ReadDialog(dialog);
    EXPECT_EQ(text.statics.at(0), L"名前を入力してください。");
    std::vector<std::wstring> entries = {L"一番目", L"二番目", L"三番目"};
    EXPECT_EQ(App::ListBoxItems(dialog, 1002), entries);
    EXPECT_EQ(App::ComboItems(dialog, 1003), entries);
    EXPECT_EQ(App::ComboSelection(dialog, 1003), 0);
    EXPECT_TRUE(App::SelectComboItem(dialog, 1003, 2));
    app.Settle();
    EXPECT_EQ(App::ControlText(dialog, 1000), L"combo changed");
    SYSTEMTIME date = {};
    date.wYear = 2031;
    date.wMonth = 3;
    date.wDay = 9;
    ASSERT_TRUE(app.SetDateTime(GetDlgItem(dialog, 1004), date));
    EXPECT_EQ(App::ControlText(dialog, 1000), L"date 2031-03-09");
    SYSTEMTIME read = {};
    EXPECT_EQ(app.GetDateTime(GetDlgItem(dialog, 1004), &read), GDT_VALID);
    EXPECT_EQ(read.wYear, 2031);
    EXPECT_EQ(read.wDay, 9);
    EXPECT_TRUE(App::SelectListBoxItem(dialog, 1002, 1));
    EXPECT_EQ(App::ListBoxSelection(dialog, 1002), 1);
    App::SetEditText(dialog, 1000, L"鈴木");
    App::Tick(dialog, 1001, true);
    EXPECT_TRUE(App::IsChecked(dialog, 1001));
    EXPECT_TRUE(App::PressButtonByText(dialog, L"OK"));
    EXPECT_TRUE(App::WaitGone(dialog));
    app.Settle();
    EXPECT_EQ(app.Title(), L"dialog 1 鈴木 lb=1 cb=2");
}

TEST_F(DriverTest, CheckBoxesInAList)
{
    EXPECT_EQ(app.Row(list, 0).stateImage, 1);
    EXPECT_FALSE(app.Row(list, 0).Checked());
    ASSERT_TRUE(app.SetRowChecked(list, 2, true));
    EXPECT_TRUE(app.Row(list, 2).Checked());
    EXPECT_EQ(app.Title(), L"check 22");
    ASSERT_TRUE(app.SetRowChecked(list, 2, false));
    EXPECT_EQ(app.Title(), L"check 21");
}

TEST_F(DriverTest, LeftoverProgramsAreEnded)
{
    EXPECT_EQ(EndLeftoverPrograms(L"AmbDriverTestWin"), 1);
    EXPECT_TRUE(app.WaitExit(5000));
    EXPECT_EQ(EndLeftoverPrograms(L"AmbDriverTestWin"), 0);
}

TEST_F(DriverTest, ScreenshotAndClose)
{
    std::wstring path = ShotPath(L"guidriver_selftest.png");
    ASSERT_TRUE(SaveScreenshotPng(path));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_GT(data.nFileSizeLow, 1000u);
    app.Command(CMD_EXIT);
    DWORD code = 1;
    EXPECT_TRUE(app.WaitExit(5000, &code));
    EXPECT_EQ(code, 0u);
}

} // namespace
