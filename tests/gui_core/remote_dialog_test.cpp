// The remote-management dialog (506), run modeless in-process: what it stores
// in TargetServer for a computer that answers, for the empty text, and what it
// says for one that does not. The rename dialog (513), run modally: which
// account it renames, its limits and its messages.
#include <windows.h>

#include <commctrl.h>
#include <lm.h>

#include <gtest/gtest.h>

#include <string>

#include "accountlist.h"
#include "callcount.h"
#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "remote_mode_rename.h"
#include "resource.h"

namespace {
class RemoteDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_REMOTE),
                                     nullptr, RemoteDialogProc, 0);
        ASSERT_NE(nullptr, dialog_);
    }
    void TearDown() override
    {
        if (dialog_ != nullptr)
            DestroyWindow(dialog_);
        FreeAmbguiGlobals();
    }
    void Type(const wchar_t* text)
    {
        SetDlgItemTextW(dialog_, IDC_REMOTE_NAME, text);
    }
    void PressOk()
    {
        SendMessageW(dialog_, WM_COMMAND, IDOK, 0);
    }
    std::wstring Title()
    {
        wchar_t title[128] = {};
        GetWindowTextW(dialog_, title, 128);
        return title;
    }

    CoreWorld world_;
    HWND dialog_ = nullptr;
};
} // namespace

TEST_F(RemoteDialogTest, AnsweringComputerBecomesTheTargetAsTyped)
{
    ASSERT_TRUE(world_.Sim(L"computer add SRV01 --ip 10.1.2.3"));
    EXPECT_EQ(63, SendDlgItemMessageW(dialog_, IDC_REMOTE_NAME, EM_GETLIMITTEXT, 0, 0));
    Type(L"SRV01");
    PressOk();
    EXPECT_STREQ(L"SRV01", TargetServer);
}

// Kept as typed, \\SRV01 would reach the account calls as \\\\SRV01.
TEST_F(RemoteDialogTest, LeadingBackslashesAndSurroundingBlanksAreNotKept)
{
    ASSERT_TRUE(world_.Sim(L"computer add SRV01"));
    for (const wchar_t* typed : {L"\\\\SRV01", L" SRV01 ", L"\\\\ SRV01\t"}) {
        TargetServer[0] = L'\0';
        Type(typed);
        PressOk();
        EXPECT_STREQ(L"SRV01", TargetServer) << dialogtest::Utf8(typed);
    }
}

TEST_F(RemoteDialogTest, OpensWithTheCurrentTargetAndTheEmptyTextMeansLocal)
{
    DestroyWindow(dialog_);
    wcscpy(TargetServer, L"SRV01");
    dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_REMOTE), nullptr,
                                 RemoteDialogProc, 0);
    wchar_t shown[64] = {};
    GetDlgItemTextW(dialog_, IDC_REMOTE_NAME, shown, 64);
    EXPECT_STREQ(L"SRV01", shown);
    Type(L"");
    PressOk();
    EXPECT_STREQ(L"", TargetServer);
}

TEST_F(RemoteDialogTest, SilentComputerIsReportedAndNothingChanges)
{
    wcscpy(TargetServer, L"OLD");
    dialogtest::DialogHarness harness;
    std::wstring titleAfter;
    INT_PTR result = harness.Run(IDD_REMOTE, RemoteDialogProc, 0, [&](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_REMOTE_NAME, L"NOSUCHPC");
        dialogtest::Press(dialog, IDOK);
        wchar_t title[128] = {};
        GetWindowTextW(dialog, title, 128);
        titleAfter = title;
    });
    EXPECT_EQ(2, result) << "the dialog stays open until cancelled";
    ASSERT_EQ(1u, harness.boxes.size());
    const dialogtest::Box& box = harness.boxes[0];
    EXPECT_EQ(L"接続エラー", box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.style);
    EXPECT_EQ(0u,
              box.text.rfind(L"リモート コンピュータに接続できませんでした。\n(エラー詳細 : ", 0))
        << dialogtest::Utf8(box.text);
    // A computer that does not answer: the error line, then the hint on reaching it.
    EXPECT_NE(std::wstring::npos, box.text.find(L")\n\nヒント : コンピューターに届きません。"))
        << dialogtest::Utf8(box.text);
    EXPECT_NE(std::wstring::npos, box.text.find(L"「リモート管理の準備」"));
    EXPECT_STREQ(L"OLD", TargetServer);
    EXPECT_EQ(L"リモート管理", titleAfter);
}

namespace {
// Runs the rename dialog as the main window opens it, with the list's item record.
INT_PTR Rename(dialogtest::DialogHarness& harness, const wchar_t* name, int image,
               const dialogtest::Script& script)
{
    std::wstring text(name);
    text.resize(257);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.pszText = &text[0];
    item.iImage = image;
    return harness.Run(IDD_RENAME, RenameDialogProc, reinterpret_cast<LPARAM>(&item), script);
}

// NetLocalGroupGetInfo as its reference page has it: level 1 only.
using GroupGetInfo = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
GroupGetInfo realGroupGetInfo = nullptr;
NET_API_STATUS WINAPI GroupGetInfoLevelOne(LPCWSTR server, LPCWSTR group, DWORD level,
                                           LPBYTE* buffer)
{
    return level == 1 ? realGroupGetInfo(server, group, level, buffer) : ERROR_INVALID_LEVEL;
}

bool Exists(LPCWSTR name)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(nullptr, name, 0, &buffer);
    NetApiBufferFree(buffer);
    return status == NERR_Success || GetAccountKind(name) == AccountKindGroup;
}
} // namespace

TEST(RenameDialogTest, ImageTellsGroupFromUserOkWaitsForTextAndFailuresKeepItOpen)
{
    CoreWorld world;
    ResetAmbguiGlobals();
    for (const wchar_t* command : {L"user add taro", L"user add hanako", L"group add keiri"})
        ASSERT_TRUE(world.Sim(command));
    dialogtest::DialogHarness harness;
    realGroupGetInfo = reinterpret_cast<GroupGetInfo>(
        RedirectImport("NetLocalGroupGetInfo", reinterpret_cast<void*>(GroupGetInfoLevelOne)));
    EXPECT_EQ(1, Rename(harness, L"keiri", 2, [](HWND dialog) {
                  EXPECT_EQ(L"keiri", dialogtest::Text(dialog, IDC_RENAME_CURRENT));
                  EXPECT_EQ(256, dialogtest::Limit(dialog, IDC_RENAME_NEW));
                  // No focus at all: another test process has the foreground.
                  HWND focus = GetFocus();
                  EXPECT_TRUE(focus == GetDlgItem(dialog, IDC_RENAME_NEW) || focus == nullptr);
                  EXPECT_FALSE(dialogtest::Enabled(dialog, IDOK));
                  dialogtest::SetText(dialog, IDC_RENAME_NEW, L"x");
                  EXPECT_TRUE(dialogtest::Enabled(dialog, IDOK));
                  dialogtest::SetText(dialog, IDC_RENAME_NEW, L"");
                  EXPECT_FALSE(dialogtest::Enabled(dialog, IDOK));
                  dialogtest::SetText(dialog, IDC_RENAME_NEW, L"経理部");
                  dialogtest::Press(dialog, IDOK);
              }));
    // keiri is gone by now: its record cannot be read.
    EXPECT_EQ(2, Rename(harness, L"keiri", 2, [](HWND dialog) {
                  dialogtest::SetText(dialog, IDC_RENAME_NEW, L"会計部");
                  dialogtest::Press(dialog, IDOK);
              }));
    EXPECT_EQ(1, Rename(harness, L"taro", 0, [](HWND dialog) {
                  EXPECT_EQ(20, dialogtest::Limit(dialog, IDC_RENAME_NEW));
                  dialogtest::SetText(dialog, IDC_RENAME_NEW, L"hanako");
                  dialogtest::Press(dialog, IDOK);
                  dialogtest::SetText(dialog, IDC_RENAME_NEW, L"jiro");
                  dialogtest::Press(dialog, IDOK);
              }));
    ASSERT_EQ(2u, harness.boxes.size());
    EXPECT_EQ(0u, harness.boxes[0].text.rfind(
                      L"ローカル グループの名前を変更できませんでした。\n(エラー詳細 : ", 0));
    EXPECT_EQ(
        0u, harness.boxes[1].text.rfind(L"ユーザー名を変更できませんでした。\n(エラー詳細 : ", 0));
    for (const dialogtest::Box& box : harness.boxes) {
        EXPECT_EQ(L"名前の変更エラー", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.style);
    }
    EXPECT_TRUE(Exists(L"経理部") && Exists(L"jiro") && Exists(L"hanako"));
    EXPECT_FALSE(Exists(L"keiri") || Exists(L"会計部") || Exists(L"taro"));
    RedirectImport("NetLocalGroupGetInfo", reinterpret_cast<void*>(realGroupGetInfo));
    FreeAmbguiGlobals();
}
