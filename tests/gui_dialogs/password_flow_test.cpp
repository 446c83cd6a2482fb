// The password reset worked from the settings dialog of a selected user, the
// way a person does it: both warnings answered, the new password typed twice.
#include "ambgui_fixture.h"

namespace ambtest {
namespace {

using PasswordFlowTest = AmbguiTest;

TEST_F(PasswordFlowTest, PersonalSettingsResetThePasswordAfterBothWarnings)
{
    ASSERT_TRUE(Sim(L"user add taro --password old"));
    PrepareSettings(0, 0);
    ASSERT_TRUE(StartReady());
    HWND settings = OpenUserSettings(L"taro");
    ASSERT_NE(settings, nullptr);
    App::PressButton(settings, 1012);
    HWND warning = ExpectBox(L"パスワードのリセット");
    EXPECT_EQ(0u, App::MessageText(warning).find(
                      L"ユーザー taro のパスワードを強制的にリセットすることを選択しました。"));
    Answer(warning, IDYES);

    HWND dialog = app.WaitDialog(L"パスワードのリセット");
    ASSERT_NE(dialog, nullptr);
    App::SetEditText(dialog, 1003, L"N3w-pass");
    App::SetEditText(dialog, 1004, L"N3w-pass");
    App::PressButton(dialog, IDOK);
    Answer(ExpectBox(L"パスワード リセット最終確認"), IDYES);
    HWND done = ExpectBox(L"パスワード リセット完了");
    EXPECT_TEXT(App::MessageText(done), L"パスワードはリセットされました。");
    EXPECT_FALSE(IsWindow(dialog)) << "the completion follows the closed dialog";
    Answer(done, IDOK);
    App::PressButton(settings, IDCANCEL);
    ASSERT_TRUE(App::WaitGone(settings));
    ExpectNoMoreBoxes();
    std::wstring dump;
    ASSERT_TRUE(world.Run(L"dump", &dump));
    EXPECT_NE(dump.find(L"\"N3w-pass\""), std::wstring::npos) << "the new password is stored";
}

} // namespace
} // namespace ambtest
