// The password and lock-out policy dialog from the Tools menu on a remote
// computer: what it shows and writes lands on that computer and nowhere else.
#include "ambgui_fixture.h"
#include "world_state.h"

namespace ambtest {
namespace {

const UINT kPolicy = 40030;

class PolicyFlowTest : public AmbguiTest
{
};

TEST_F(PolicyFlowTest, RemoteComputersPolicyIsShownAndWritten)
{
    ASSERT_TRUE(Sim(L"computer add SRV01"));
    ASSERT_TRUE(Sim(L"policy lockout-threshold 5 --computer SRV01"));
    StartOnRemote(L"SRV01");
    if (HasFatalFailure())
        return;
    EXPECT_TEXT(app.MenuText(kPolicy), L"パスワードとロックアウトのポリシー(&P)...");
    app.Command(kPolicy);
    HWND dialog = app.WaitDialog(L"パスワードとロックアウトのポリシー");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TEXT(App::ControlText(dialog, 1000), L"リモート コンピュータ (SRV01)");
    EXPECT_TEXT(App::ControlText(dialog, 1024), L"5"); // the threshold
    App::SetEditText(dialog, 1025, L"30");             // duration, minutes
    App::SetEditText(dialog, 1022, L"10");             // minimum length
    App::PressButton(dialog, IDOK);
    ASSERT_TRUE(App::WaitGone(dialog));
    ExpectNoMoreBoxes();

    cmdtest::WorldState state(world);
    ASSERT_TRUE(state.Ok());
    EXPECT_EQ(10, state.Policy("minLength", L"SRV01"));
    EXPECT_EQ(1800, state.Policy("lockoutDuration", L"SRV01"));
    EXPECT_EQ(0, state.Policy("minLength")) << "this computer's policy stays";
    EXPECT_EQ(600, state.Policy("lockoutDuration"));
}

} // namespace
} // namespace ambtest
