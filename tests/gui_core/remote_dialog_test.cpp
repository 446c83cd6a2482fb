// The remote-management dialog (506), run modeless in-process: what it stores
// in TargetServer for a computer that answers, for the empty text, and what it
// says for one that does not; its connection under another account and the
// question on a second user name (1219). The rename dialog (513), run modally: which
// account it renames, its limits and its messages.
#include <windows.h>

#include <commctrl.h>
#include <lm.h>
#include <winnetwk.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "accountlist.h"
#include "callcount.h"
#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "remote_mode_rename.h"
#include "resource.h"
#include "reachable_computer.h"

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
    ASSERT_TRUE(AddReachableComputer(world_, L"SRV01", L"--ip 10.1.2.3"));
    EXPECT_EQ(63, SendDlgItemMessageW(dialog_, IDC_REMOTE_NAME, EM_GETLIMITTEXT, 0, 0));
    Type(L"SRV01");
    PressOk();
    EXPECT_STREQ(L"SRV01", TargetServer);
}

// Kept as typed, \\SRV01 would reach the account calls as \\\\SRV01.
TEST_F(RemoteDialogTest, LeadingBackslashesAndSurroundingBlanksAreNotKept)
{
    ASSERT_TRUE(AddReachableComputer(world_, L"SRV01"));
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

namespace {
// The remote names of this session's connections, as Windows lists them.
std::vector<std::wstring> ConnectedResources()
{
    std::vector<std::wstring> names;
    HANDLE enumeration = nullptr;
    if (WNetOpenEnumW(RESOURCE_CONNECTED, RESOURCETYPE_ANY, 0, nullptr, &enumeration) != 0)
        return {L"(no enumeration)"};
    alignas(NETRESOURCEW) BYTE buffer[8192];
    DWORD count = 0xFFFFFFFF, size = sizeof(buffer);
    while (WNetEnumResourceW(enumeration, &count, buffer, &size) == 0) {
        for (DWORD i = 0; i < count; ++i)
            names.push_back(reinterpret_cast<NETRESOURCEW*>(buffer)[i].lpRemoteName);
        count = 0xFFFFFFFF;
        size = sizeof(buffer);
    }
    WNetCloseEnum(enumeration);
    return names;
}

void Request(HWND dialog, const wchar_t* computer, const wchar_t* user, const wchar_t* password)
{
    dialogtest::SetText(dialog, IDC_REMOTE_NAME, computer);
    dialogtest::SetText(dialog, IDC_REMOTE_USER, user);
    dialogtest::SetText(dialog, IDC_REMOTE_PASSWORD, password);
    dialogtest::Press(dialog, IDOK);
}
} // namespace

// Windows 11 defaults: the session reaches SRV01 only through a connection as
// its enabled built-in Administrator.
TEST_F(RemoteDialogTest, UserFieldsConnectAsThatAccountAndWipeThePassword)
{
    ASSERT_TRUE(world_.Sim(L"computer add SRV01"));
    ASSERT_TRUE(world_.Sim(L"user set Administrator --computer SRV01 --enable --password adm"));
    EXPECT_EQ(256, dialogtest::Limit(dialog_, IDC_REMOTE_USER));
    EXPECT_EQ(256, dialogtest::Limit(dialog_, IDC_REMOTE_PASSWORD));
    EXPECT_NE(0, GetWindowLongW(GetDlgItem(dialog_, IDC_REMOTE_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    EXPECT_EQ(L"", dialogtest::Text(dialog_, IDC_REMOTE_USER));
    dialogtest::DialogHarness harness;
    EXPECT_EQ(2, harness.Run(IDD_REMOTE, RemoteDialogProc, 0, [&](HWND dialog) {
        Request(dialog, L"SRV01", L"Administrator", L"wrong");
        EXPECT_EQ(L"", dialogtest::Text(dialog, IDC_REMOTE_PASSWORD));
    }));
    ASSERT_EQ(1u, harness.boxes.size());
    EXPECT_NE(
        std::wstring::npos,
        harness.boxes[0].text.find(
            L"\n\nヒント : 相手のコンピューターがユーザー名またはパスワードを認めませんでした。"))
        << dialogtest::Utf8(harness.boxes[0].text);
    EXPECT_STREQ(L"", TargetServer);
    EXPECT_TRUE(ConnectedResources().empty());
    EXPECT_EQ(1, harness.Run(IDD_REMOTE, RemoteDialogProc, 0, [&](HWND dialog) {
        Request(dialog, L"SRV01", L"Administrator", L"adm");
    }));
    EXPECT_STREQ(L"SRV01", TargetServer);
    EXPECT_EQ(std::vector<std::wstring>{L"\\\\SRV01\\IPC$"}, ConnectedResources());
    CloseRemoteConnection();
    EXPECT_TRUE(ConnectedResources().empty());
}

// 1219: another user name already reaches SRV02. No keeps it and the target;
// Yes closes it and connects once more.
TEST_F(RemoteDialogTest, SecondUserNameAsksBeforeClosingTheServersConnections)
{
    ASSERT_TRUE(world_.Sim(L"computer add SRV02"));
    ASSERT_TRUE(world_.Sim(L"user set Administrator --computer SRV02 --enable --password adm"));
    ASSERT_TRUE(world_.Sim(L"connection add \\\\SRV02\\IPC$ --user SRV02\\other --password x"));
    dialogtest::DialogHarness harness;
    harness.Answer({IDNO, IDYES});
    EXPECT_EQ(1, harness.Run(IDD_REMOTE, RemoteDialogProc, 0, [&](HWND dialog) {
        Request(dialog, L"SRV02", L"Administrator", L"adm");
        EXPECT_STREQ(L"", TargetServer);
        wchar_t title[64] = {};
        GetWindowTextW(dialog, title, 64);
        EXPECT_STREQ(L"リモート管理", title);
        Request(dialog, L"SRV02", L"Administrator", L"adm");
    }));
    ASSERT_EQ(2u, harness.boxes.size());
    for (const dialogtest::Box& box : harness.boxes) {
        EXPECT_EQ(L"接続の競合", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2), box.style);
        EXPECT_EQ(0u, box.text.rfind(
                          L"コンピュータ SRV02 には、別のユーザー名での接続がすでにあります。", 0));
        EXPECT_NE(std::wstring::npos,
                  box.text.find(L"保存していない変更は失われることがあります。"));
    }
    EXPECT_STREQ(L"SRV02", TargetServer);
    EXPECT_EQ(std::vector<std::wstring>{L"\\\\SRV02\\IPC$"}, ConnectedResources());
    CloseRemoteConnection();
}
