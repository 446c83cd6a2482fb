// The import's preview (520) and result (521) dialogs run in-process on a
// simulated computer ("AMBPC01", session user "kanri"): what the lists show,
// the exact box planning again, OK refused for a file with problems, and the
// generated passwords leaving the result only through its buttons.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <lm.h>
#include <sddl.h>
#include <userenv.h>

#include <string>
#include <vector>

#include "accountimport.h"
#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "import_dialogs.h"
#include "resource.h"

namespace {
using dialogtest::Utf8;
using Cells = std::vector<std::wstring>;

// Every row of the dialog's list, all five columns.
std::vector<Cells> ListCells(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_IMPORT_LIST);
    std::vector<Cells> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        Cells cells;
        for (int column = 0; column < 5; ++column) {
            wchar_t text[1024] = {};
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 1024;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            cells.push_back(text);
        }
        rows.push_back(cells);
    }
    return rows;
}

std::string Show(const std::vector<Cells>& rows)
{
    std::wstring all;
    for (const Cells& row : rows) {
        for (const std::wstring& cell : row)
            all += cell + L" | ";
        all += L"\n";
    }
    return Utf8(all);
}

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    auto* chars = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (chars != nullptr)
        text = chars;
    if (data != nullptr)
        GlobalUnlock(data);
    CloseClipboard();
    return text;
}

class ImportDialogsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        ASSERT_TRUE(world_.Sim(L"user add sato"));
        ASSERT_TRUE(world_.Sim(L"group add 営業部"));
        ASSERT_TRUE(world_.Sim(L"member add 営業部 kanri"));
    }
    void TearDown() override
    {
        FreeImportTable(table_);
        FreeAmbguiGlobals();
    }

    // Reads `csv` (UTF-8) and plans it for this computer, as the command does.
    void Load(const std::wstring& csv)
    {
        std::string bytes = Utf8(csv);
        session_ = {};
        session_.path = L"C:\\users\\kanri\\accounts.csv";
        session_.readStatus =
            ReadImportBytes(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), &table_);
        ASSERT_NE(table_, nullptr);
        session_.table = table_;
        if (session_.readStatus == 0)
            session_.planStatus = PlanImport(table_, nullptr, false);
    }

    INT_PTR Preview(const dialogtest::Script& script)
    {
        return harness_.Run(IDD_IMPORT_PREVIEW, ImportPreviewDialogProc,
                            reinterpret_cast<LPARAM>(&session_), script);
    }
    INT_PTR Result(const dialogtest::Script& script)
    {
        return harness_.Run(IDD_IMPORT_RESULT, ImportResultDialogProc,
                            reinterpret_cast<LPARAM>(&session_), script);
    }

    bool IsMember(LPCWSTR group, LPCWSTR member)
    {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        bool found = false;
        if (NetLocalGroupGetMembers(nullptr, group, 3, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                    nullptr) == NERR_Success) {
            auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_3*>(buffer);
            for (DWORD i = 0; i < read; ++i)
                found = found || Contains(members[i].lgrmi3_domainandname, member);
        }
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
        return found;
    }

    CoreWorld world_;
    dialogtest::DialogHarness harness_;
    ImportTable* table_ = nullptr;
    ImportSession session_ = {};
};

const wchar_t* const PlanFile = L"種類,名前,コメント,メンバー,パスワード\r\n"
                                L"グループ,営業部,,sato; yamada,\r\n"
                                L"ユーザー,sato,主任,,\r\n"
                                L"ユーザー,yamada,,,\r\n"
                                L"ユーザー,kanri,,,\r\n";
} // namespace

// The plan row by row; the exact box plans again (and back); OK applies the
// plan as last shown, with the bar run to its end, and ends with IDOK.
TEST_F(ImportDialogsTest, PreviewShowsThePlanAndTheExactBoxPlansAgain)
{
    Load(PlanFile);
    std::vector<Cells> plain, exact, again;
    bool okEnabled = false, progressHidden = false;
    std::wstring summary, file;
    int progressEnd = -1, progressMax = 0;
    INT_PTR result = Preview([&](HWND dialog) {
        plain = ListCells(dialog);
        summary = dialogtest::Text(dialog, IDC_IMPORT_SUMMARY);
        file = dialogtest::Text(dialog, IDC_IMPORT_FILE);
        okEnabled = dialogtest::Enabled(dialog, IDOK);
        progressHidden = !IsWindowVisible(GetDlgItem(dialog, IDC_IMPORT_PROGRESS));
        dialogtest::Click(dialog, IDC_IMPORT_EXACT);
        exact = ListCells(dialog);
        dialogtest::Click(dialog, IDC_IMPORT_EXACT);
        again = ListCells(dialog);
        dialogtest::Click(dialog, IDC_IMPORT_EXACT);
        // The bar is read as the dialog ends: after the last step.
        HWND bar = GetDlgItem(dialog, IDC_IMPORT_PROGRESS);
        dialogtest::Press(dialog, IDOK);
        progressEnd = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        progressMax = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    });

    ASSERT_EQ(4u, plain.size()) << Show(plain);
    EXPECT_EQ((Cells{L"2", L"グループ", L"営業部", L"変更",
                     L"メンバーに追加: AMBPC01\\sato, AMBPC01\\yamada"}),
              plain[0])
        << Show(plain);
    EXPECT_EQ((Cells{L"3", L"ユーザー", L"sato", L"変更", L"変更する項目: コメント"}), plain[1]);
    EXPECT_EQ(
        (Cells{L"4", L"ユーザー", L"yamada", L"作成", L"パスワードを生成 (次回ログイン時に変更)"}),
        plain[2]);
    EXPECT_EQ((Cells{L"5", L"ユーザー", L"kanri", L"変更なし", L""}), plain[3]);
    EXPECT_TRUE(Contains(summary, L"UTF-8、CSV、4 行: 作成 1 件、変更 2 件、変更なし 1 件。"))
        << Utf8(summary);
    EXPECT_EQ(L"C:\\users\\kanri\\accounts.csv", file);
    EXPECT_TRUE(okEnabled);
    EXPECT_TRUE(progressHidden) << "the bar appears once OK is pressed";

    // Exact: kanri is not listed as a member of 営業部, so it leaves.
    ASSERT_EQ(4u, exact.size());
    EXPECT_TRUE(Contains(exact[0][4], L"メンバーから削除: AMBPC01\\kanri")) << Show(exact);
    EXPECT_EQ(plain, again) << "unchecked, the plan is the first one again";

    EXPECT_EQ(IDOK, result);
    EXPECT_GT(progressMax, 0);
    EXPECT_EQ(progressMax, progressEnd);
    EXPECT_TRUE(IsMember(L"営業部", L"yamada"));
    EXPECT_FALSE(IsMember(L"営業部", L"kanri")) << "applied with the box checked";
    EXPECT_TRUE(harness_.boxes.empty());
}

// A file with problems: every problem with its line, OK disabled, nothing
// written. Problems of reading leave nothing to plan (the box is disabled);
// problems of the plan may depend on the box.
TEST_F(ImportDialogsTest, ProblemsAreListedByLineAndOkIsDisabled)
{
    struct Case
    {
        const wchar_t* file;
        std::vector<Cells> rows;
        bool exactEnabled;
    };
    const Case cases[] = {
        {L"種類,名前,アカウントの状態\r\n"
         L"ユーザー,sato,有効\r\n"
         L"コンピューター,pc01,\r\n"
         L"ユーザー,suzuki,たぶん\r\n",
         {{L"3", L"コンピューター", L"pc01", L"エラー", L""},
          {L"4", L"ユーザー", L"suzuki", L"エラー", L""}},
         false},
        {L"種類,名前,所属グループ\r\n"
         L"ユーザー,sato,\r\n"
         L"ユーザー,suzuki,経理部\r\n",
         {{L"3", L"ユーザー", L"suzuki", L"エラー", L""}},
         true},
        {L"種類,名前,背番号\r\nユーザー,sato,7\r\n",
         {{L"1", L"見出し", L"", L"エラー", L""}},
         false},
    };
    for (const Case& c : cases) {
        Load(c.file);
        std::vector<Cells> rows;
        bool okEnabled = true, exactEnabled = false;
        std::wstring summary;
        INT_PTR result = Preview([&](HWND dialog) {
            rows = ListCells(dialog);
            okEnabled = dialogtest::Enabled(dialog, IDOK);
            exactEnabled = dialogtest::Enabled(dialog, IDC_IMPORT_EXACT);
            summary = dialogtest::Text(dialog, IDC_IMPORT_SUMMARY);
            dialogtest::Press(dialog, IDOK); // refused: the dialog stays
        });
        SCOPED_TRACE(Utf8(c.file));
        ASSERT_EQ(c.rows.size(), rows.size()) << Show(rows);
        for (size_t i = 0; i < rows.size(); ++i) {
            for (int column = 0; column < 4; ++column)
                EXPECT_EQ(c.rows[i][column], rows[i][column]) << Show(rows);
            EXPECT_TRUE(Contains(rows[i][4], L"列") || Contains(rows[i][4], L"見出し"))
                << "the column is named: " << Utf8(rows[i][4]);
        }
        EXPECT_FALSE(okEnabled);
        EXPECT_EQ(c.exactEnabled, exactEnabled);
        EXPECT_EQ(0u, summary.find(L"ファイルに問題があるため、インポートできません。"));
        EXPECT_EQ(IDCANCEL, result);
        FreeImportTable(table_);
        table_ = nullptr;
    }
    LPBYTE record = nullptr;
    EXPECT_EQ(DWORD(NERR_UserNotFound), NetUserGetInfo(nullptr, L"suzuki", 0, &record));
}

// A read of the target that fails when the box plans again: said in a
// warning, and OK stays disabled until a plan succeeds.
TEST_F(ImportDialogsTest, FailingPlanOnTheExactBoxDisablesOkAndAScaleChangeRescalesTheList)
{
    Load(PlanFile);
    bool okAfterFailure = true, okAfterRetry = false;
    int before = 0, after = 0;
    Preview([&](HWND dialog) {
        // Moved to a monitor of half as large a scale again: the columns follow.
        HWND list = GetDlgItem(dialog, IDC_IMPORT_LIST);
        before = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 4, 0));
        RECT rect;
        GetWindowRect(dialog, &rect);
        SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&rect));
        after = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 4, 0));
        ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupEnum 5"));
        dialogtest::Click(dialog, IDC_IMPORT_EXACT);
        okAfterFailure = dialogtest::Enabled(dialog, IDOK);
        dialogtest::Click(dialog, IDC_IMPORT_EXACT);
        okAfterRetry = dialogtest::Enabled(dialog, IDOK);
    });
    EXPECT_FALSE(okAfterFailure);
    EXPECT_TRUE(okAfterRetry);
    EXPECT_EQ(MulDiv(before, 3, 2), after);
    ASSERT_EQ(1u, harness_.boxes.size());
    EXPECT_EQ(L"アカウントのインポート エラー", harness_.boxes[0].caption);
    EXPECT_EQ(0u, harness_.boxes[0].text.find(L"アカウントを読み取れませんでした。\n"));
    EXPECT_EQ(UINT(MB_ICONWARNING), harness_.boxes[0].style);
}

// Outcomes row by row, a failing row with its reason; the generated password
// in its row; copied by the button only, and the dialog asks before it closes
// with passwords neither copied nor saved.
TEST_F(ImportDialogsTest, ResultShowsOutcomesAndPasswordsLeaveOnlyByTheButtons)
{
    Load(L"種類,名前,パスワード\r\n"
         L"グループ,経理部,\r\n"
         L"ユーザー,yamada,\r\n"
         L"ユーザー,mori,Kari-Pass-2026\r\n"
         L"ユーザー,sato,\r\n");
    ASSERT_EQ(0u, session_.planStatus);
    ASSERT_TRUE(world_.Sim(L"fail NetLocalGroupAdd 5"));
    ApplyImport(table_, nullptr, nullptr, nullptr);
    std::wstring password = table_->rows[1].password;
    ASSERT_EQ(ImportPasswordChars, password.size());
    // Something else on the clipboard first: only the button replaces it.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();

    std::vector<Cells> rows;
    std::wstring summary, note, clipboardBefore, clipboardAfter;
    bool copyEnabled = false, saveEnabled = false, openAfterNo = false;
    harness_.Answer({IDNO, IDOK});
    INT_PTR result = Result([&](HWND dialog) {
        rows = ListCells(dialog);
        summary = dialogtest::Text(dialog, IDC_IMPORT_SUMMARY);
        note = dialogtest::Text(dialog, IDC_IMPORT_NOTE);
        copyEnabled = dialogtest::Enabled(dialog, IDC_IMPORT_COPY);
        saveEnabled = dialogtest::Enabled(dialog, IDC_IMPORT_SAVE);
        clipboardBefore = ClipboardText();
        // Closing first: asked, and No keeps the dialog.
        // Shown for sure: EndDialog would hide it.
        ShowWindow(dialog, SW_SHOW);
        dialogtest::Press(dialog, IDCANCEL);
        openAfterNo = IsWindowVisible(dialog) != FALSE;
        dialogtest::Click(dialog, IDC_IMPORT_COPY);
        clipboardAfter = ClipboardText();
        dialogtest::Press(dialog, IDOK); // copied: closes without asking
    });
    ASSERT_EQ(4u, rows.size()) << Show(rows);
    EXPECT_EQ(L"経理部", rows[0][2]);
    EXPECT_EQ(0u, rows[0][3].find(L"失敗: ")) << Utf8(rows[0][3]);
    EXPECT_EQ(L"", rows[0][4]);
    EXPECT_EQ((Cells{L"3", L"ユーザー", L"yamada", L"作成しました", password}), rows[1]);
    EXPECT_EQ((Cells{L"4", L"ユーザー", L"mori", L"作成しました", L""}), rows[2])
        << "a password from the file is not shown";
    EXPECT_EQ((Cells{L"5", L"ユーザー", L"sato", L"変更はありません", L""}), rows[3]);
    EXPECT_TRUE(Contains(summary, L"成功 3 件、失敗 1 件。")) << Utf8(summary);
    EXPECT_EQ(0u, note.find(L"1 人の新しいユーザーにパスワードを生成しました")) << Utf8(note);
    EXPECT_TRUE(copyEnabled);
    EXPECT_TRUE(saveEnabled);

    EXPECT_EQ(L"", clipboardBefore) << "nothing copied before the button";
    EXPECT_EQ(L"名前\tパスワード\r\nyamada\t" + password + L"\r\n", clipboardAfter);
    EXPECT_TRUE(openAfterNo);
    EXPECT_EQ(IDOK, result);
    ASSERT_EQ(2u, harness_.boxes.size());
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), harness_.boxes[0].style);
    EXPECT_EQ(0u, harness_.boxes[0].text.find(L"生成したパスワードをコピーも保存もしていません。"));
    EXPECT_EQ(UINT(MB_ICONINFORMATION), harness_.boxes[1].style);
    EXPECT_EQ(0u,
              harness_.boxes[1].text.find(L"生成したパスワードをクリップボードにコピーしました。"));
}

// Without generated passwords there is nothing to copy or save, and closing
// asks nothing; the password file holds the generated passwords only.
TEST_F(ImportDialogsTest, PasswordFileAndAResultWithoutPasswords)
{
    Load(L"種類,名前,パスワード\r\nユーザー,mori,Kari-Pass-2026\r\n");
    ApplyImport(table_, nullptr, nullptr, nullptr);
    bool copyEnabled = true, saveEnabled = true;
    INT_PTR result = Result([&](HWND dialog) {
        copyEnabled = dialogtest::Enabled(dialog, IDC_IMPORT_COPY);
        saveEnabled = dialogtest::Enabled(dialog, IDC_IMPORT_SAVE);
        dialogtest::Press(dialog, IDCANCEL);
    });
    EXPECT_FALSE(copyEnabled);
    EXPECT_FALSE(saveEnabled);
    EXPECT_EQ(IDOK, result);
    EXPECT_TRUE(harness_.boxes.empty());
    FreeImportTable(table_);
    table_ = nullptr;

    Load(L"種類,名前\r\nユーザー,ueda\r\nユーザー,山本\r\n");
    ApplyImport(table_, nullptr, nullptr, nullptr);
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"ambimport-passwords.txt";
    ASSERT_EQ(0u, WriteImportPasswords(table_, path.c_str()));
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char chunk[1024];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    DeleteFileW(path.c_str());
    EXPECT_EQ("\xEF\xBB\xBF" +
                  Utf8(L"名前\tパスワード\r\nueda\t" + std::wstring(table_->rows[0].password) +
                       L"\r\n山本\t" + std::wstring(table_->rows[1].password) + L"\r\n"),
              bytes);
}

// The class changeover: the deletions' box plans the leavers of the file's
// group (protected accounts kept with the reason) in their own section; the
// password form is named; OK asks with the count (No keeps everything), Yes
// deletes them with their profiles and makes easy passwords; the result lists
// the deletions. Remotely the profiles box stays off.
TEST_F(ImportDialogsTest, RemovalBoxPlansTheLeaversAsksWithTheCountAndTheFormIsNamed)
{
    for (const wchar_t* step :
         {L"user add leaver", L"user add admin2", L"group add 生徒", L"member add 生徒 leaver",
          L"member add 生徒 admin2", L"member add 生徒 kanri", L"member add Administrators admin2",
          L"computer add SRV01", L"group add 生徒 --computer SRV01"})
        ASSERT_TRUE(world_.Sim(step));
    LPBYTE record = nullptr;
    ASSERT_EQ(DWORD(NERR_Success), NetUserGetInfo(nullptr, L"leaver", 4, &record));
    LPWSTR sid = nullptr; // logged on once: a profile to delete
    ASSERT_TRUE(
        ConvertSidToStringSidW(reinterpret_cast<USER_INFO_4*>(record)->usri4_user_sid, &sid));
    wchar_t profile[MAX_PATH] = {};
    ASSERT_EQ(S_OK, CreateProfile(sid, L"leaver", profile, MAX_PATH));
    LocalFree(sid);
    NetApiBufferFree(record);
    Load(L"種類,名前\r\nグループ,生徒\r\nユーザー,sato\r\nユーザー,new1\r\n");
    std::vector<Cells> planned, results;
    std::wstring summary, easy;
    bool profilesOff = false, leaverAfterNo = false;
    harness_.Answer({IDNO, IDYES});
    INT_PTR result = Preview([&](HWND dialog) {
        profilesOff = !dialogtest::Enabled(dialog, IDC_IMPORT_PROFILES);
        dialogtest::Click(dialog, IDC_IMPORT_REMOVE); // 生徒, the file's group, is proposed
        dialogtest::Click(dialog, IDC_IMPORT_PROFILES);
        planned = ListCells(dialog);
        summary = dialogtest::Text(dialog, IDC_IMPORT_SUMMARY);
        SendDlgItemMessageW(dialog, IDC_IMPORT_PASSWORD_FORM, CB_SETCURSEL, 1, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_IMPORT_PASSWORD_FORM, CBN_SELCHANGE), 0);
        easy = dialogtest::Text(dialog, IDC_IMPORT_SUMMARY);
        dialogtest::Press(dialog, IDOK); // No: nothing happens
        leaverAfterNo = NetUserGetInfo(nullptr, L"leaver", 0, &record) == NERR_Success;
        NetApiBufferFree(record);
        dialogtest::Press(dialog, IDOK);
    });
    ASSERT_EQ(7u, planned.size()) << Show(planned);
    EXPECT_EQ((Cells{L"", L"[削除]", L"", L"", L"ファイルにないグループ「生徒」のメンバー: 3 人"}),
              planned[3]);
    EXPECT_EQ(
        (Cells{L"", L"ユーザー", L"leaver", L"削除",
               L"削除 (グループ「生徒」のメンバーで、ファイルにありません。プロファイルも削除)"}),
        planned[4]);
    EXPECT_EQ((Cells{L"", L"ユーザー", L"admin2", L"削除しない",
                     L"Administrators のメンバーは削除しません。"}),
              planned[5]);
    EXPECT_EQ(L"このプログラムを実行しているユーザーは削除しません。", planned[6][4]);
    EXPECT_TRUE(Contains(summary, L"削除 1 人、削除しない 2 人。\n生成するパスワード: 強力な形式"))
        << Utf8(summary);
    EXPECT_TRUE(Contains(easy, L"生成するパスワード: 入力しやすい形式")) << Utf8(easy);
    EXPECT_TRUE(profilesOff) << "no deletions yet";
    EXPECT_TRUE(leaverAfterNo);
    EXPECT_EQ(IDOK, result);
    ASSERT_EQ(2u, harness_.boxes.size());
    EXPECT_EQ(UINT(MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2), harness_.boxes[1].style);
    EXPECT_EQ(
        0u,
        harness_.boxes[1].text.find(
            L"グループ「生徒」のメンバーで、ファイルにない 1 人のユーザーを削除しようとしています。"));
    EXPECT_TRUE(Contains(harness_.boxes[1].text, L"ユーザー プロファイルも同時に削除します。"));
    EXPECT_EQ(DWORD(NERR_UserNotFound), NetUserGetInfo(nullptr, L"leaver", 0, &record));
    std::wstring password = table_->rows[2].password;
    EXPECT_TRUE(password.size() == 14 && password[4] == L'-') << Utf8(password);

    Result([&](HWND dialog) {
        results = ListCells(dialog);
        summary = dialogtest::Text(dialog, IDC_IMPORT_SUMMARY);
        dialogtest::Click(dialog, IDC_IMPORT_COPY);
    });
    ASSERT_EQ(7u, results.size()) << Show(results);
    EXPECT_EQ(L"削除しました (プロファイルも削除)", results[4][3]);
    EXPECT_EQ(L"削除しない: Administrators のメンバーは削除しません。", results[5][3]);
    EXPECT_TRUE(Contains(summary, L"\n削除 1 人、削除の失敗 0 人、削除しない 2 人。"));

    FreeImportTable(table_);
    table_ = nullptr;
    Load(L"種類,名前\r\nグループ,生徒\r\n");
    session_.server = L"\\\\SRV01";
    bool groupsOn = false, profilesOn = true;
    Preview([&](HWND dialog) {
        dialogtest::Click(dialog, IDC_IMPORT_REMOVE);
        groupsOn = dialogtest::Enabled(dialog, IDC_IMPORT_REMOVE_GROUP);
        profilesOn = dialogtest::Enabled(dialog, IDC_IMPORT_PROFILES);
    });
    EXPECT_TRUE(groupsOn);
    EXPECT_FALSE(profilesOn) << "a remote computer's profiles are not deleted";
}
