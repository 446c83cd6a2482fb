// The remote-management dialog (506), run modeless in-process: what it stores
// in TargetServer for a computer that answers, for the empty text, and what it
// says for one that does not.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core_world.h"
#include "globals.h"
#include "remote_mode_rename.h"
#include "resource.h"

namespace {
struct SeenMessage
{
    HDESK desktop = nullptr; // the test's desktop, where the box opens
    std::wstring text;
    bool seen = false;
};

// Waits for the message box captioned `caption`, keeps its text and presses OK.
DWORD WINAPI AnswerMessageBox(LPVOID context)
{
    auto* seen = static_cast<SeenMessage*>(context);
    SetThreadDesktop(seen->desktop);
    for (int i = 0; i < 200; ++i) {
        HWND box = FindWindowW(L"#32770", L"接続エラー");
        if (box != nullptr) {
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            seen->text = text;
            seen->seen = true;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

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
    Type(L"NOSUCHPC");
    SeenMessage seen;
    seen.desktop = GetThreadDesktop(GetCurrentThreadId());
    HANDLE answer = CreateThread(nullptr, 0, AnswerMessageBox, &seen, 0, nullptr);
    PressOk();
    WaitForSingleObject(answer, 15000);
    CloseHandle(answer);
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(0u,
              seen.text.rfind(L"リモート コンピュータに接続できませんでした。\n(エラー詳細 : ", 0))
        << std::string(seen.text.begin(), seen.text.end());
    EXPECT_EQ(L')', seen.text.back());
    EXPECT_STREQ(L"OLD", TargetServer);
    EXPECT_EQ(L"リモート管理", Title());
}
