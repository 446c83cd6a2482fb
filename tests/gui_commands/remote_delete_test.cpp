// Deleting while a remote computer is managed: the self check still holds,
// there is no profile question, and the account goes on that computer only.
#include "ambgui_fixture.h"
#include "world_state.h"

namespace ambtest {
namespace {

class RemoteDeleteTest : public AmbguiTest
{
protected:
    void SetUp() override
    {
        AmbguiTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(AddComputer(L"SRV01"));
        ASSERT_TRUE(Sim(L"user add kanri --computer SRV01"));
        ASSERT_TRUE(Sim(L"user add jiro --computer SRV01"));
        ASSERT_TRUE(Sim(L"user add jiro"));
        ASSERT_TRUE(Sim(L"group add eigyo --computer SRV01"));
        ASSERT_TRUE(Sim(L"group add eigyo"));
    }

    void Select(const std::wstring& name)
    {
        int row = app.FindRow(app.AccountList(), name);
        ASSERT_GE(row, 0) << Narrow(name) << " is not listed";
        ASSERT_TRUE(app.ClickRow(app.AccountList(), row));
    }
};

TEST_F(RemoteDeleteTest, AccountNamedLikeTheRunningUserIsRefusedThereToo)
{
    StartOnRemote(L"SRV01");
    if (IsSkipped() || HasFatalFailure())
        return;
    Select(L"kanri");
    app.Command(kDeleteUser);
    HWND refusal = ExpectBox(L"ユーザー削除エラー");
    ASSERT_NE(refusal, nullptr);
    EXPECT_TEXT(App::MessageText(refusal), L"ユーザー kanri は自分自身であるため削除できません。");
    Answer(refusal, IDOK);
    ExpectNoMoreBoxes();
    EXPECT_TRUE(cmdtest::WorldState(world).HasUser(L"kanri", L"SRV01"));
}

TEST_F(RemoteDeleteTest, UserGoesOnThatComputerWithoutAProfileQuestion)
{
    StartOnRemote(L"SRV01");
    if (IsSkipped() || HasFatalFailure())
        return;
    Select(L"jiro");
    app.Command(kDeleteUser);
    Answer(ExpectBox(L"ユーザー削除の確認"), IDYES);
    HWND done = ExpectBox(L"ユーザー削除完了");
    ASSERT_NE(done, nullptr) << "a profile question or an error came instead";
    EXPECT_TEXT(App::MessageText(done), L"ユーザー jiro は正常に削除されました。");
    Answer(done, IDOK);
    ExpectNoMoreBoxes();

    cmdtest::WorldState state(world);
    EXPECT_FALSE(state.HasUser(L"jiro", L"SRV01"));
    EXPECT_TRUE(state.HasUser(L"jiro")) << "the local namesake stays";
    EXPECT_FALSE(Listed(L"jiro"));
    EXPECT_TRUE(Listed(L"kanri")) << "the list was read again from SRV01";
    EXPECT_TEXT(app.Title(), L"Ambrelle - リモート コンピュータ (SRV01)");
}

TEST_F(RemoteDeleteTest, GroupGoesOnThatComputerOnly)
{
    StartOnRemote(L"SRV01");
    if (IsSkipped() || HasFatalFailure())
        return;
    Select(L"eigyo");
    app.Command(kDeleteGroup);
    Answer(ExpectBox(L"グループ削除の確認"), IDYES);
    Answer(ExpectBox(L"グループ削除完了"), IDOK);
    ExpectNoMoreBoxes();
    cmdtest::WorldState state(world);
    EXPECT_FALSE(state.HasGroup(L"eigyo", L"SRV01"));
    EXPECT_TRUE(state.HasGroup(L"eigyo"));
}

} // namespace
} // namespace ambtest
