// The user dialogs opened from the main window: the template follows the
// operating mode, adding repeats on Yes, and the settings dialog works on the
// selected user.
#include "ambgui_fixture.h"
#include "world_state.h"

namespace ambtest {
namespace {

class UserFlowTest : public AmbguiTest
{
protected:
    HWND ExpectMessage(const std::wstring& caption, const std::wstring& text)
    {
        HWND box = ExpectBox(caption);
        if (box != nullptr) {
            EXPECT_TEXT(App::MessageText(box), text);
        }
        return box;
    }
};

TEST_F(UserFlowTest, PersonalAddUsesItsTemplateAndYesOpensTheDialogAgain)
{
    PrepareSettings(0, 0);
    ASSERT_TRUE(StartReady());
    app.Command(kAddUser);
    HWND dialog = app.WaitDialog(L"ユーザー アカウントの追加");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetDlgItem(dialog, 1002), nullptr) << "the personal template has no description";
    // A network status shows its text from the system's netmsg.dll.
    App::SetEditText(dialog, 1000, L"kanri");
    App::PressButton(dialog, IDOK);
    Answer(ExpectMessage(L"ユーザー作成エラー", L"ユーザーを作成できませんでした。\n(エラー詳細 : "
                                                L"同じ名前のアカウントが既にあります。)"),
           IDOK);
    App::SetEditText(dialog, 1000, L"hanako");
    App::PressButton(dialog, IDOK);
    Answer(ExpectMessage(L"ユーザー プロファイルの作成",
                         L"ユーザー プロファイルも同時に作成しますか？"),
           IDNO);
    Answer(ExpectMessage(L"ユーザーの追加", L"ユーザーは正常に追加されました。"), IDOK);
    EXPECT_TRUE(Listed(L"hanako")) << "the list is read again before the question";
    Answer(ExpectMessage(L"ユーザーの追加", L"続けてユーザーを追加しますか？"), IDYES);

    HWND again = app.WaitDialog(L"ユーザー アカウントの追加");
    ASSERT_NE(again, nullptr);
    App::PressButton(again, IDCANCEL);
    ASSERT_TRUE(App::WaitGone(again));
    ExpectNoMoreBoxes();
    cmdtest::WorldState state(world);
    EXPECT_TRUE(state.HasUser(L"hanako"));
}

TEST_F(UserFlowTest, AdvancedSettingsOpenOnTheSelectedUserAndRefreshOnOk)
{
    ASSERT_TRUE(Sim(L"user add taro"));
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    HWND dialog = OpenUserSettings(L"taro");
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(GetDlgItem(dialog, 1013), nullptr) << "the advanced template";
    EXPECT_TEXT(App::ControlText(dialog, 1000), L"taro");
    App::SetEditText(dialog, 1001, L"山田太郎");
    App::PressButton(dialog, IDOK);
    ASSERT_TRUE(App::WaitGone(dialog));
    ExpectNoMoreBoxes();
    int row = app.FindRow(app.AccountList(), L"taro");
    ASSERT_GE(row, 0);
    bool shown = false;
    for (const std::wstring& cell : app.Row(app.AccountList(), row).cells)
        shown = shown || cell == L"山田太郎";
    EXPECT_TRUE(shown) << "the list shows the stored full name";
}

} // namespace
} // namespace ambtest
