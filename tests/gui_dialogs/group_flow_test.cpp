// The group dialogs worked from the main window in advanced mode: the member
// button's menu, the add flow's note and repeat question, and a double click
// on a group.
#include "ambgui_fixture.h"
#include "world_state.h"

namespace ambtest {
namespace {

class GroupFlowTest : public AmbguiTest
{
};

TEST_F(GroupFlowTest, MemberMenuRepeatQuestionAndDoubleClickOnTheNewGroup)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    app.Command(kAddGroup);
    HWND dialog = app.WaitDialog(L"ローカル グループの追加");
    ASSERT_NE(dialog, nullptr);
    App::PressButton(dialog, 1003);
    std::vector<App::MenuItem> items;
    ASSERT_TRUE(app.WaitPopupMenu(&items)) << "the add button opens a menu";
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].id, 50000u);
    EXPECT_TEXT(items[0].text, L"ユーザー一覧から選択して追加(&U)");
    EXPECT_EQ(items[1].id, 50001u);
    EXPECT_TEXT(items[1].text, L"ユーザー名を入力して追加(&S)");
    app.CloseMenu();

    App::SetEditText(dialog, 1000, L"総務部");
    App::PressButton(dialog, IDOK);
    HWND done = ExpectBox(L"グループの追加");
    ASSERT_NE(done, nullptr);
    EXPECT_TEXT(App::MessageText(done), L"グループは正常に追加されました。");
    EXPECT_TRUE(Listed(L"総務部")) << "the list is read again before the note";
    Answer(done, IDOK);
    HWND again = ExpectBox(L"グループの追加");
    ASSERT_NE(again, nullptr);
    EXPECT_TEXT(App::MessageText(again), L"続けてグループを追加しますか？");
    Answer(again, IDYES);
    HWND next = app.WaitDialog(L"ローカル グループの追加");
    ASSERT_NE(next, nullptr) << "Yes opens the dialog again";
    App::PressButton(next, IDCANCEL);
    ASSERT_TRUE(App::WaitGone(next));
    EXPECT_TRUE(cmdtest::WorldState(world).HasGroup(L"総務部"));

    ASSERT_TRUE(app.DoubleClickRow(app.AccountList(), app.FindRow(app.AccountList(), L"総務部")));
    HWND settings = app.WaitDialog(L"ローカル グループの設定");
    ASSERT_NE(settings, nullptr);
    EXPECT_TEXT(App::ControlText(settings, 1000), L"総務部");
    App::PressButton(settings, IDCANCEL);
    ASSERT_TRUE(App::WaitGone(settings));
    ExpectNoMoreBoxes();
}

} // namespace
} // namespace ambtest
