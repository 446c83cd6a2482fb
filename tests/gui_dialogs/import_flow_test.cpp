// The account import from the File menu, in personal mode: the open dialog
// takes the file, the preview shows the plan (with the leavers of the file's
// group to delete), OK asks and applies it, the
// result shows the generated password and saves it and the cards on request;
// the main list shows the new accounts and the world holds them.
#include "ambgui_fixture.h"
#include "world_state.h"

namespace ambtest {
namespace {

const UINT kImport = 40018;
const int kImportList = 1002;
const int kSavePasswords = 1007;
const int kRemoveMissing = 1008;
const int kSaveSlips = 1012;

class ImportFlowTest : public AmbguiTest
{
};

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

// Types `path` into the file dialog titled `title` and presses OK.
void ChooseFile(App& app, const std::wstring& title, const std::wstring& path)
{
    HWND dialog = app.WaitDialog(title);
    ASSERT_NE(dialog, nullptr) << "no file dialog " << Narrow(title);
    int field = FileNameField(dialog);
    ASSERT_NE(field, 0) << "no file-name field";
    App::SetEditText(dialog, field, path);
    App::PressButton(dialog, IDOK);
    ASSERT_TRUE(App::WaitGone(dialog));
}

TEST_F(ImportFlowTest, MenuOpenPreviewApplyResultAndTheWorldAfterwards)
{
    ASSERT_TRUE(Sim(L"user add sato"));
    ASSERT_TRUE(Sim(L"user add leaver"));
    ASSERT_TRUE(Sim(L"group add 開発部"));
    ASSERT_TRUE(Sim(L"member add 開発部 leaver"));
    PrepareSettings(); // personal mode
    std::wstring dir = MakeTempDir(L"ambimport");
    std::wstring file = dir + L"\\accounts.csv";
    ASSERT_TRUE(WriteBytes(file, Narrow(L"\xFEFF種類,名前,コメント,メンバー\r\n"
                                        L"グループ,開発部,,sato; 高橋\r\n"
                                        L"ユーザー,高橋,開発部の新人,\r\n"
                                        L"ユーザー,sato,主任,\r\n")));
    ASSERT_TRUE(StartReady());
    EXPECT_TEXT(app.MenuText(kImport), L"アカウントのインポート(&I)...");

    app.Command(kImport);
    ChooseFile(app, L"アカウントのインポート", file);
    if (HasFatalFailure())
        return;
    HWND preview = app.WaitDialog(L"アカウントのインポート");
    ASSERT_NE(preview, nullptr);
    App::PressButton(preview, kRemoveMissing); // the file's group 開発部 is proposed
    app.Settle();
    std::vector<ListRow> plan = app.Rows(GetDlgItem(preview, kImportList));
    ASSERT_EQ(5u, plan.size());
    EXPECT_TEXT(plan[0].cells[3], L"変更");
    EXPECT_TEXT(plan[1].cells[3], L"作成");
    EXPECT_TEXT(plan[2].cells[3], L"変更");
    EXPECT_TEXT(plan[4].cells[2], L"leaver");
    EXPECT_TEXT(plan[4].cells[3], L"削除");
    EXPECT_TRUE(App::IsEnabled(preview, IDOK));
    App::PressButton(preview, IDOK);
    Answer(ExpectBox(L"ユーザーの削除の確認"), IDYES);
    ASSERT_TRUE(App::WaitGone(preview, 10000));

    HWND result = app.WaitDialog(L"アカウントのインポートの結果", 10000);
    ASSERT_NE(result, nullptr);
    std::vector<ListRow> rows = app.Rows(GetDlgItem(result, kImportList));
    ASSERT_EQ(5u, rows.size());
    EXPECT_TEXT(rows[4].cells[3], L"削除しました");
    EXPECT_TEXT(rows[1].cells[2], L"高橋");
    EXPECT_TEXT(rows[1].cells[3], L"作成しました");
    std::wstring password = rows[1].cells[4];
    EXPECT_EQ(16u, password.size()) << Narrow(password);
    EXPECT_TEXT(rows[2].cells[4], L"");

    // The password leaves the dialog only by the save button.
    std::wstring saved = dir + L"\\passwords.txt";
    App::PressButton(result, kSavePasswords);
    ChooseFile(app, L"生成したパスワードの保存", saved);
    if (HasFatalFailure())
        return;
    HWND box = ExpectBox(L"アカウントのインポート");
    EXPECT_EQ(0u, App::MessageText(box).find(L"生成したパスワードを保存しました。"));
    Answer(box, IDOK);

    // The cards: saved, then opened for printing.
    std::wstring slips = dir + L"\\cards.html";
    App::PressButton(result, kSaveSlips);
    ChooseFile(app, L"配布用カードの保存", slips);
    if (HasFatalFailure())
        return;
    box = ExpectBox(L"アカウントのインポート");
    Answer(box, IDYES);
    App::PressButton(result, IDOK); // saved: closes without asking
    ASSERT_TRUE(App::WaitGone(result));
    app.Settle();
    ExpectNoMoreBoxes();

    EXPECT_EQ(Narrow(L"\xFEFF名前\tパスワード\r\n高橋\t" + password + L"\r\n"), ReadBytes(saved));
    EXPECT_TRUE(Listed(L"高橋")) << "the main list is read again";
    EXPECT_TRUE(Listed(L"開発部"));
    cmdtest::WorldState state(world);
    ASSERT_TRUE(state.Ok());
    EXPECT_TRUE(state.HasUser(L"高橋"));
    EXPECT_TRUE(state.HasGroup(L"開発部"));
    EXPECT_FALSE(state.HasUser(L"leaver"));
    EXPECT_TEXT(state.Opened(), slips + L"\n");
    // The page holds the password as HTML text: its symbols escaped.
    std::wstring escaped;
    for (wchar_t c : password)
        escaped += c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : c == L'>' ? L"&gt;"
                 : c == L'"' ? L"&quot;" : c == L'\'' ? L"&#39;" : std::wstring(1, c);
    std::string cards = ReadBytes(slips);
    EXPECT_NE(std::string::npos,
              cards.find(Narrow(L"<dd class=\"password\">" + escaped + L"</dd>")))
        << Narrow(password);
    RemoveTree(dir);
}

} // namespace
} // namespace ambtest
