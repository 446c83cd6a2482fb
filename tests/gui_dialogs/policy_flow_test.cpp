// The password and lock-out policy dialog from the Tools menu, on a remote
// computer: a rule broken keeps the dialog open, the values written land on
// that computer and nowhere else.
#include "ambgui_fixture.h"
#include "world_state.h"

namespace ambtest {
namespace {

const UINT kPolicy = 40030;
const wchar_t kPolicyTitle[] = L"パスワードとロックアウトのポリシー";
// Edit boxes of the dialog, in the order `net accounts` lists the values.
const int kMinLength = 1022;
const int kDuration = 1025;
const int kWindow = 1026;

class PolicyFlowTest : public AmbguiTest
{
};

TEST_F(PolicyFlowTest, RemoteComputersPolicyIsCheckedThenWritten)
{
    ASSERT_TRUE(Sim(L"computer add SRV01"));
    StartOnRemote(L"SRV01");
    if (HasFatalFailure())
        return;
    EXPECT_TEXT(app.MenuText(kPolicy), L"パスワードとロックアウトのポリシー(&P)...");
    app.Command(kPolicy);
    HWND dialog = app.WaitDialog(kPolicyTitle);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TEXT(App::ControlText(dialog, 1000), L"リモート コンピュータ (SRV01)");
    EXPECT_TEXT(App::ControlText(dialog, kDuration), L"10");

    App::SetEditText(dialog, kWindow, L"30");
    App::PressButton(dialog, IDOK);
    HWND box = ExpectBox(L"ポリシー設定エラー");
    EXPECT_TEXT(
        App::MessageText(box),
        L"ロックアウト カウンターのリセット (分) の 30 は、ロックアウト期間 (分) の 10 以下にしてください。");
    Answer(box, IDOK);
    ASSERT_TRUE(IsWindowVisible(dialog)) << "the dialog stays open";

    App::SetEditText(dialog, kDuration, L"30");
    App::SetEditText(dialog, kMinLength, L"10");
    App::PressButton(dialog, IDOK);
    ASSERT_TRUE(App::WaitGone(dialog));
    ExpectNoMoreBoxes();

    cmdtest::WorldState state(world);
    ASSERT_TRUE(state.Ok());
    EXPECT_EQ(10, state.Policy("minLength", L"SRV01"));
    EXPECT_EQ(1800, state.Policy("lockoutDuration", L"SRV01"));
    EXPECT_EQ(1800, state.Policy("lockoutWindow", L"SRV01"));
    EXPECT_EQ(0, state.Policy("minLength")) << "this computer's policy stays";
    EXPECT_EQ(600, state.Policy("lockoutDuration"));
}

} // namespace
} // namespace ambtest
