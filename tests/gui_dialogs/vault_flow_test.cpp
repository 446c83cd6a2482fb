// The password vault from the File menu: the open dialog takes the file, the
// passphrase opens it, the selected row's password shows on the button and is
// copied; the clipboard is emptied after the (shortened) time if it still
// holds the password, and left alone when something else was copied since.
#include "ambgui_fixture.h"
#include "passwordvault.h"

namespace ambtest {
namespace {

const UINT kOpenVault = 40019;
const int kPassphrase = 1101, kList = 1102, kPassword = 1104, kShow = 1105, kCopy = 1106;
const wchar_t kSecret[] = L"Fleet-Admin-Pass-123";

class VaultFlowTest : public AmbguiTest
{
};

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"(busy)";
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    auto* chars = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (chars != nullptr)
        text = chars;
    if (chars != nullptr)
        GlobalUnlock(data);
    CloseClipboard();
    return text;
}

void PutOnClipboard(const wchar_t* text)
{
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    // Another process (Wine's clipboard sync, the program) may hold it a moment.
    for (int tries = 0; tries < 100; ++tries) {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            SetClipboardData(CF_UNICODETEXT, block);
            CloseClipboard();
            return;
        }
        Sleep(20);
    }
    GlobalFree(block);
}

// Polls the clipboard until it holds `expected` (at most timeoutMs).
bool ClipboardBecomes(const std::wstring& expected, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (ClipboardText() == expected)
            return true;
        Sleep(50);
    }
    return ClipboardText() == expected;
}

TEST_F(VaultFlowTest, MenuOpenPassphraseShowCopyAndTheClipboardCleared)
{
    std::wstring dir = MakeTempDir(L"ambvault");
    std::wstring path = dir + L"\\fleet.vault";
    ASSERT_EQ(0u, CreateVault(path.c_str(), L"correct horse battery"));
    VaultWriter writer;
    ASSERT_EQ(0u, OpenVaultWriter(path.c_str(), &writer));
    char id[17] = {};
    ASSERT_EQ(0u, AppendVaultPending(&writer, L"PC2", L"Administrator", kSecret, id));
    ASSERT_EQ(0u, AppendVaultOutcome(&writer, id, L"PC2", L"Administrator", 0, nullptr));
    CloseVaultWriter(&writer);
    SetEnv(L"AMBRELLE_TEST_CLIPBOARD_MS", L"1500");
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    EXPECT_TEXT(app.MenuText(kOpenVault), L"パスワード保管庫を開く(&V)...");

    app.Command(kOpenVault);
    HWND open = app.WaitDialog(L"パスワード保管庫を開く");
    ASSERT_NE(open, nullptr);
    ASSERT_NE(FileNameField(open), 0) << "not the open dialog";
    App::SetEditText(open, FileNameField(open), path);
    App::PressButton(open, IDOK);
    ASSERT_TRUE(App::WaitGone(open));
    HWND ask = app.WaitDialog(L"パスワード保管庫を開く");
    ASSERT_NE(ask, nullptr);
    App::SetEditText(ask, kPassphrase, L"correct horse battery");
    App::PressButton(ask, IDOK);
    ASSERT_TRUE(App::WaitGone(ask, 10000));
    HWND vault = app.WaitDialog(L"パスワード保管庫", 10000);
    ASSERT_NE(vault, nullptr);
    HWND list = GetDlgItem(vault, kList);
    ASSERT_EQ(1, app.ItemCount(list));
    EXPECT_TEXT(app.Cell(list, 0, 0), L"PC2");
    EXPECT_TEXT(app.Cell(list, 0, 3), L"適用済み");
    ASSERT_TRUE(app.SelectRow(list, 0));
    App::PressButton(vault, kShow);
    app.Settle();
    EXPECT_TEXT(App::ControlText(vault, kPassword), kSecret);

    PutOnClipboard(L"before");
    App::PressButton(vault, kCopy);
    EXPECT_TRUE(ClipboardBecomes(kSecret, 2000)) << Narrow(ClipboardText());
    EXPECT_TRUE(ClipboardBecomes(L"", 4000)) << "still " << Narrow(ClipboardText());
    // Copied over by the user in the meantime: left as it is.
    App::PressButton(vault, kCopy);
    EXPECT_TRUE(ClipboardBecomes(kSecret, 2000));
    PutOnClipboard(L"mine");
    ASSERT_TEXT_EQ(ClipboardText(), L"mine");
    Sleep(1700);
    EXPECT_TEXT(ClipboardText(), L"mine");

    App::PressButton(vault, IDOK);
    ASSERT_TRUE(App::WaitGone(vault));
    ExpectNoMoreBoxes();
    RemoveTree(dir);
}

} // namespace
} // namespace ambtest
