// The account report from the File menu: the save dialog proposes a name,
// takes the one typed, and the file holds the computer's accounts; the
// policy file beside it holds the computer's password and lock-out policy.
#include "ambgui_fixture.h"

namespace ambtest {
namespace {

const UINT kSaveReport = 40017;

class ReportFlowTest : public AmbguiTest
{
};

TEST_F(ReportFlowTest, SaveDialogWritesTheReportUnderTheTypedName)
{
    ASSERT_TRUE(Sim(L"user add sato --full-name \"佐藤, 一郎\""));
    ASSERT_TRUE(Sim(L"policy min-length 8"));
    PrepareSettings(0, 0, 2); // groups only: the report still lists users
    ASSERT_TRUE(StartReady());
    EXPECT_TEXT(app.MenuText(kSaveReport), L"アカウント レポートの保存(&E)...");
    EXPECT_EQ(app.MenuState(kSaveReport) & MF_GRAYED, 0);

    std::wstring dir = MakeTempDir(L"ambreport");
    std::wstring path = dir + L"\\accounts.csv";
    app.Command(kSaveReport);
    HWND dialog = app.WaitDialog(L"アカウント レポートの保存");
    ASSERT_NE(dialog, nullptr);
    int field = FileNameField(dialog);
    ASSERT_NE(field, 0) << "no file-name field";
    std::wstring proposed = App::ControlText(dialog, field);
    EXPECT_EQ(0u, proposed.find(L"Ambrelle-AMBPC01-")) << Narrow(proposed);
    App::SetEditText(dialog, field, path);
    App::PressButton(dialog, IDOK);
    ASSERT_TRUE(App::WaitGone(dialog));
    app.Settle();
    ExpectNoMoreBoxes();

    std::string report = ReadBytes(path);
    EXPECT_NE(report.find(Narrow(L"\r\nユーザー,sato,")), std::string::npos) << report;
    EXPECT_NE(report.find(Narrow(L",\"佐藤, 一郎\",")), std::string::npos);
    std::string policy = ReadBytes(dir + L"\\accounts.policy.csv");
    EXPECT_EQ(0u, policy.find("\xEF\xBB\xBF" + Narrow(L"コンピューター,パスワードの変更禁止期間 (日),")))
        << policy;
    EXPECT_NE(policy.find(Narrow(L"\r\nAMBPC01,0,42,8,なし,10,10,10\r\n")), std::string::npos) << policy;

    // A report that cannot be read whole is not written, and says why.
    ASSERT_TRUE(Sim(L"fail NetLocalGroupEnum 5"));
    app.Command(kSaveReport);
    dialog = app.WaitDialog(L"アカウント レポートの保存");
    ASSERT_NE(dialog, nullptr);
    App::SetEditText(dialog, FileNameField(dialog), dir + L"\\failed.csv");
    App::PressButton(dialog, IDOK);
    ASSERT_TRUE(App::WaitGone(dialog));
    HWND box = ExpectBox(L"アカウント レポートの保存エラー");
    EXPECT_EQ(0u, App::MessageText(box).find(L"アカウント レポートを保存できませんでした。\n"));
    Answer(box, IDOK);
    EXPECT_EQ(GetFileAttributesW((dir + L"\\failed.csv").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((dir + L"\\failed.policy.csv").c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveTree(dir);
}

} // namespace
} // namespace ambtest
