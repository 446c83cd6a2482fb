// The password vault's dialogs run in-process on a vault made here: the
// passphrase dialog (522) keeps asking until the key opens, and the vault
// dialog (523) lists each computer and account with its state, names the
// lines it could not read and shows a password only on the button.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "resource.h"
#include "vault_dialogs.h"

namespace {
using dialogtest::Utf8;

const wchar_t Passphrase[] = L"correct horse battery";

std::wstring TempVaultPath()
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"ambvault-" + std::to_wstring(GetCurrentProcessId()) + L".vault";
}

// One change on computer: pending, then its outcome (none: the process died).
void Change(VaultWriter* writer, const wchar_t* computer, const wchar_t* password, int outcome)
{
    char id[17] = {};
    ASSERT_EQ(0u, AppendVaultPending(writer, computer, L"Administrator", password, id));
    if (outcome < 0)
        return;
    ASSERT_EQ(0u, AppendVaultOutcome(writer, id, computer, L"Administrator",
                                     static_cast<DWORD>(outcome),
                                     outcome != 0 ? L"アクセスが拒否されました。" : nullptr));
}

std::vector<std::wstring> Row(HWND dialog, int row)
{
    std::vector<std::wstring> cells;
    for (int column = 0; column < 4; ++column) {
        wchar_t text[256] = {};
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 256;
        SendDlgItemMessageW(dialog, IDC_VAULT_LIST, LVM_GETITEMTEXTW, row,
                            reinterpret_cast<LPARAM>(&item));
        cells.push_back(text);
    }
    return cells;
}

void Select(HWND dialog, int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = item.stateMask;
    SendDlgItemMessageW(dialog, IDC_VAULT_LIST, LVM_SETITEMSTATE, row,
                        reinterpret_cast<LPARAM>(&item));
}
} // namespace

TEST(VaultDialogsTest, PassphraseOpensTheKeyAndTheListShowsStatesAndPasswordsOnRequest)
{
    ResetAmbguiGlobals();
    std::wstring path = TempVaultPath();
    DeleteFileW(path.c_str());
    ASSERT_EQ(0u, CreateVault(path.c_str(), Passphrase));
    VaultWriter writer;
    ASSERT_EQ(0u, OpenVaultWriter(path.c_str(), &writer));
    Change(&writer, L"PC2", L"Applied-Pass-0000002", 0);
    Change(&writer, L"PC3", L"Applied-Pass-0000003", 0);
    Change(&writer, L"PC3", L"Pending-Pass-0000003", -1);
    Change(&writer, L"PC4", L"Failed-Pass-00000004", ERROR_ACCESS_DENIED);
    CloseVaultWriter(&writer);
    HANDLE file =
        CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "{\"v\":9}\n", 8, &written, nullptr);
    CloseHandle(file);

    VaultSession session;
    session.path = path.c_str();
    ASSERT_EQ(0u, ReadVault(path.c_str(), &session.contents));
    session.entries = SummariseVault(session.contents);
    dialogtest::DialogHarness harness;

    // A wrong passphrase is said and asked again, the field emptied each time.
    std::wstring afterWrong;
    bool openAfterWrong = false;
    INT_PTR result =
        harness.Run(IDD_VAULT_PASSPHRASE, VaultPassphraseDialogProc,
                    reinterpret_cast<LPARAM>(&session), [&](HWND dialog) {
                        dialogtest::SetText(dialog, IDC_VAULT_PASSPHRASE, L"wrong horse battery");
                        dialogtest::Press(dialog, IDOK);
                        afterWrong = dialogtest::Text(dialog, IDC_VAULT_PASSPHRASE);
                        openAfterWrong = IsWindow(dialog) && session.key == nullptr;
                        dialogtest::SetText(dialog, IDC_VAULT_PASSPHRASE, Passphrase);
                        dialogtest::Press(dialog, IDOK);
                    });
    EXPECT_EQ(IDOK, result);
    EXPECT_TRUE(openAfterWrong);
    EXPECT_EQ(L"", afterWrong);
    ASSERT_EQ(1u, harness.boxes.size());
    EXPECT_EQ(L"パスフレーズが正しくありません。", harness.boxes[0].text);
    ASSERT_NE(nullptr, session.key);

    std::vector<std::vector<std::wstring>> rows;
    std::wstring note, hidden, pc3, afterMove;
    bool showBefore = false, showFailed = true;
    harness.Run(IDD_VAULT, VaultDialogProc, reinterpret_cast<LPARAM>(&session), [&](HWND dialog) {
        for (int row = 0; row < 3; ++row)
            rows.push_back(Row(dialog, row));
        note = dialogtest::Text(dialog, IDC_VAULT_NOTE);
        showBefore = dialogtest::Enabled(dialog, IDC_VAULT_SHOW);
        hidden = dialogtest::Text(dialog, IDC_VAULT_PASSWORD);
        Select(dialog, 1);
        dialogtest::Click(dialog, IDC_VAULT_SHOW);
        pc3 = dialogtest::Text(dialog, IDC_VAULT_PASSWORD);
        Select(dialog, 2); // another row hides the password again
        afterMove = dialogtest::Text(dialog, IDC_VAULT_PASSWORD);
        showFailed = dialogtest::Enabled(dialog, IDC_VAULT_SHOW);
        dialogtest::Press(dialog, IDOK);
    });
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ(L"PC2", rows[0][0]);
    EXPECT_EQ(L"Administrator", rows[0][1]);
    EXPECT_EQ(L"適用済み", rows[0][3]);
    EXPECT_EQ(L"保留中 (適用済みか保留中のものが有効)", rows[1][3])
        << Utf8(rows[1][3]);
    EXPECT_EQ(L"変更失敗 (保管庫にないものが有効)", rows[2][3]) << Utf8(rows[2][3]);
    EXPECT_EQ(L"読み取れなかった行があります (使っていません): 行 9", note) << Utf8(note);
    EXPECT_TRUE(showBefore) << "the first row is chosen";
    EXPECT_EQ(L"", hidden);
    EXPECT_EQ(L"適用済み: Applied-Pass-0000003\r\n保留中: Pending-Pass-0000003", pc3) << Utf8(pc3);
    EXPECT_EQ(L"", afterMove);
    EXPECT_FALSE(showFailed) << "no password of PC4 is in the vault";
    EXPECT_EQ(1u, harness.boxes.size()) << "no message on the way";
    CloseVaultKey(session.key);
    DeleteFileW(path.c_str());
    FreeAmbguiGlobals();
}
