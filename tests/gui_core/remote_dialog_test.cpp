// The remote-management dialog (506), run modeless in-process: what it stores
// in TargetServer for a computer that answers, for the empty text, and what it
// says for one that does not.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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
    EXPECT_EQ(0u, box.text.rfind(L"リモート コンピュータに接続できませんでした。\n(エラー詳細 : ", 0))
        << dialogtest::Utf8(box.text);
    EXPECT_EQ(L')', box.text.back());
    EXPECT_STREQ(L"OLD", TargetServer);
    EXPECT_EQ(L"リモート管理", titleAfter);
}
