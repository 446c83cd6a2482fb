// The operating-mode dialog (507) on its way out of remote management: the
// question, No keeping the dialog open, Cancel changing nothing, Yes going back
// to the local computer; the remote switch under another account.
#include "ambgui_fixture.h"

namespace ambtest {
namespace {

const wchar_t kModeTitle[] = L"動作モードの選択";
const wchar_t kQuestionCaption[] = L"動作モード切替確認";
const wchar_t kQuestion[] =
    L"現在リモート管理を行っています。\n\nパーソナル "
    L"モードに変更する前に、リモート管理からローカル管"
    L"理に切り替える必要があります。\n続行すると、リモート管理は切断され自分のコンピュータのアカウ"
    L"ント"
    L"とグループが表示されます。\n\nリモート管理から切断してパーソナル モードに切り替えますか？";
const wchar_t kLocalTitle[] = L"Ambrelle - ローカル コンピュータ";
const wchar_t kRemoteTitle[] = L"Ambrelle - リモート コンピュータ (SRV01)";

class LeaveRemoteTest : public AmbguiTest
{
protected:
    // Advanced mode, managing the remote computer SRV01 (which has a user of its own).
    void StartOnRemote()
    {
        ASSERT_TRUE(AddComputer(L"SRV01"));
        ASSERT_TRUE(Sim(L"user add remoteonly --computer SRV01"));
        AmbguiTest::StartOnRemote(L"SRV01");
        ASSERT_TEXT_EQ(app.Title(), kRemoteTitle);
        ASSERT_TRUE(Listed(L"remoteonly"));
    }

    // Opens the mode dialog and asks for personal mode; returns the question box.
    HWND AskForPersonalMode(HWND* mode)
    {
        app.Command(kOperatingMode);
        *mode = app.WaitDialog(kModeTitle);
        EXPECT_NE(*mode, nullptr);
        if (!*mode)
            return nullptr;
        EXPECT_TRUE(App::IsChecked(*mode, 1001));
        App::Tick(*mode, 1000, true);
        App::PressButton(*mode, IDOK);
        return app.WaitDialog(kQuestionCaption);
    }
};

TEST_F(LeaveRemoteTest, NoKeepsTheDialogOpenAndCancelThenChangesNothing)
{
    StartOnRemote();
    if (HasFatalFailure() || IsSkipped())
        return;
    HWND mode = nullptr;
    HWND question = AskForPersonalMode(&mode);
    ASSERT_NE(question, nullptr) << "leaving a remote computer asks first";
    EXPECT_TEXT(App::MessageText(question), kQuestion);
    EXPECT_NE(GetDlgItem(question, IDYES), nullptr);
    App::PressButton(question, IDNO);
    ASSERT_TRUE(App::WaitGone(question));
    Sleep(200);
    EXPECT_TRUE(IsWindowVisible(mode)) << "No keeps the dialog open";
    EXPECT_TRUE(App::IsChecked(mode, 1000)) << "with personal mode still checked";
    App::PressButton(mode, IDCANCEL);
    ASSERT_TRUE(App::WaitGone(mode));
    app.Settle();
    EXPECT_TEXT(app.Title(), kRemoteTitle);
    EXPECT_TRUE(Listed(L"remoteonly"));
    EXPECT_GE(app.MenuState(kRemote), 0) << "still advanced mode";
    ASSERT_TRUE(app.Close());
    DWORD advanced = 0;
    ASSERT_TRUE(settings::GetDword(L"Advanced", &advanced));
    EXPECT_EQ(advanced, 1u);
}

TEST_F(LeaveRemoteTest, YesReturnsToTheLocalComputerInPersonalMode)
{
    StartOnRemote();
    if (HasFatalFailure() || IsSkipped())
        return;
    HWND mode = nullptr;
    HWND question = AskForPersonalMode(&mode);
    ASSERT_NE(question, nullptr);
    App::PressButton(question, IDYES);
    ASSERT_TRUE(App::WaitGone(mode));
    app.Settle();
    EXPECT_TEXT(app.Title(), kLocalTitle);
    EXPECT_FALSE(Listed(L"remoteonly"));
    EXPECT_TRUE(Listed(L"kanri"));
    EXPECT_EQ(app.MenuState(kRemote), -1);
    ASSERT_TRUE(world.Run(L"connection list"));
    EXPECT_EQ(Narrow(world.LastOutput()), "") << "leaving SRV01 cancels its connection";
    ASSERT_TRUE(app.Close());
    DWORD advanced = 9;
    ASSERT_TRUE(settings::GetDword(L"Advanced", &advanced));
    EXPECT_EQ(advanced, 0u);
}

// The whole switch under another account: SRV01 refuses the session's own
// logon and takes its enabled built-in Administrator; back on this computer
// the connection is gone.
TEST_F(AmbguiTest, RemoteSwitchAsAnotherAccountConnectsAndCancelsOnReturn)
{
    ASSERT_TRUE(Sim(L"computer add SRV01"));
    ASSERT_TRUE(Sim(L"user set Administrator --computer SRV01 --enable --password adm"));
    ASSERT_TRUE(Sim(L"user add remoteonly --computer SRV01"));
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    app.Command(kRemote);
    HWND remote = app.WaitDialog(L"リモート管理", 3000);
    ASSERT_NE(remote, nullptr);
    App::SetEditText(remote, 1000, L"SRV01");
    App::SetEditText(remote, 1002, L"Administrator");
    App::SetEditText(remote, 1003, L"adm");
    App::PressButton(remote, IDOK);
    ASSERT_TRUE(App::WaitGone(remote));
    app.Settle();
    EXPECT_TEXT(app.Title(), kRemoteTitle);
    EXPECT_TRUE(Listed(L"remoteonly"));
    EXPECT_FALSE(Listed(L"kanri"));
    ASSERT_TRUE(world.Run(L"connection list"));
    EXPECT_EQ(Narrow(world.LastOutput()), "\\\\SRV01\\IPC$ SRV01\\Administrator\n");
    app.Command(kRemote);
    remote = app.WaitDialog(L"リモート管理", 3000);
    ASSERT_NE(remote, nullptr);
    App::SetEditText(remote, 1000, L"");
    App::PressButton(remote, IDOK);
    ASSERT_TRUE(App::WaitGone(remote));
    app.Settle();
    EXPECT_TEXT(app.Title(), kLocalTitle);
    EXPECT_TRUE(Listed(L"kanri"));
    ASSERT_TRUE(world.Run(L"connection list"));
    EXPECT_EQ(Narrow(world.LastOutput()), "");
    ASSERT_TRUE(app.Close());
}

} // namespace
} // namespace ambtest
