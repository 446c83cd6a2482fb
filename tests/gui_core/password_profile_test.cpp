// The password-reset flow (warning, template 509, completion) and the profile
// dialog (510), run in-process against the simulated platform: outcomes are
// read back from the account database and the profile folders.
#include <windows.h>

#include <lm.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "callcount.h"
#include "core_world.h"
#include "dialog_harness.h"
#include "errortext.h"
#include "globals.h"
#include "password_profile.h"
#include "resource.h"
#include "reachable_computer.h"

using namespace dialogtest;

namespace {
std::wstring WithPlatformText(const std::wstring& text, DWORD code)
{
    LPWSTR detail = FormatErrorText(code);
    std::wstring result = text + L"\n(エラー詳細 : " + detail + L")";
    LocalFree(detail);
    return result;
}

// Profile path, script path, home folder and home drive of a local user.
using HomeFields = std::array<std::wstring, 4>;

HomeFields ReadFields(const wchar_t* user)
{
    LPBYTE buffer = nullptr;
    if (NetUserGetInfo(nullptr, user, 4, &buffer) != NERR_Success)
        return {L"unreadable"};
    auto* u = reinterpret_cast<USER_INFO_4*>(buffer);
    HomeFields fields = {u->usri4_profile, u->usri4_script_path, u->usri4_home_dir,
                         u->usri4_home_dir_drive};
    NetApiBufferFree(buffer);
    return fields;
}

void WriteFields(const wchar_t* user, HomeFields f)
{
    LPBYTE buffer = nullptr;
    ASSERT_EQ(NERR_Success, NetUserGetInfo(nullptr, user, 4, &buffer));
    auto* u = reinterpret_cast<USER_INFO_4*>(buffer);
    u->usri4_profile = &f[0][0];
    u->usri4_script_path = &f[1][0];
    u->usri4_home_dir = &f[2][0];
    u->usri4_home_dir_drive = &f[3][0];
    EXPECT_EQ(NERR_Success, NetUserSetInfo(nullptr, user, 4, buffer, nullptr));
    NetApiBufferFree(buffer);
}

// A logon: the platform refuses a wrong password before it looks for the program.
bool PasswordIs(const wchar_t* user, const wchar_t* password)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    wchar_t command[] = L"none";
    return !CreateProcessWithLogonW(user, L".", password, 0, L"Z:\\no.exe", command, 0, nullptr,
                                    nullptr, &startup, &process) &&
           GetLastError() != ERROR_LOGON_FAILURE;
}

bool HasProfileFolder(const wchar_t* user)
{
    wchar_t dir[MAX_PATH] = {};
    GetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", dir, MAX_PATH);
    return GetFileAttributesW((std::wstring(dir) + L"\\Profiles\\" + user).c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

// HeapAlloc failing for the `nth` server argument (NameChars WCHAR) from now.
using HeapAllocFunction = LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T);
HeapAllocFunction realHeapAlloc = nullptr;
int serverArgumentsLeft = 0;
LPVOID WINAPI FailingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    if (bytes == NameChars * sizeof(WCHAR) && serverArgumentsLeft > 0 && --serverArgumentsLeft == 0)
        return nullptr;
    return realHeapAlloc(heap, flags, bytes);
}

class PasswordProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        AppSettings.Advanced = 1;
        ASSERT_TRUE(world_.Sim(L"user add sato --password old"));
    }
    void TearDown() override
    {
        FreeAmbguiGlobals();
    }
    INT_PTR RunProfile(const wchar_t* user, const Script& script)
    {
        return harness_.Run(IDD_PROFILE, ProfileDialogProc, reinterpret_cast<LPARAM>(user), script);
    }
    // "caption|style|text" of a box shown, for one comparison per box.
    std::string Shown(size_t index)
    {
        if (index >= harness_.boxes.size())
            return "(no box)";
        const Box& b = harness_.boxes[index];
        return Utf8(b.caption + L"|" + std::to_wstring(b.style) + L"|" + b.text);
    }
    static std::string Expected(const std::wstring& caption, UINT style, const std::wstring& text)
    {
        return Utf8(caption + L"|" + std::to_wstring(style) + L"|" + text);
    }

    CoreWorld world_;
    DialogHarness harness_;
};
} // namespace

TEST_F(PasswordProfileTest, ResetComparesAsksTwiceAndStaysOpenOnFailure)
{
    RunPasswordReset(nullptr, L"sato");  // No, the warning's default, opens nothing
    RunPasswordReset(nullptr, L"kanri"); // the running account gets no question at all
    EXPECT_TRUE(harness_.opened.empty());
    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    bool keptAfterNo = false;
    harness_.OnDialog(IDD_PASSWORD_RESET, [&](HWND dialog) {
        SetText(dialog, IDC_RESET_PASSWORD, L"Secret1");
        SetText(dialog, IDC_RESET_CONFIRMATION, L"secret1");
        Press(dialog, IDOK); // differs in case
        SetText(dialog, IDC_RESET_CONFIRMATION, L"Secret1");
        Press(dialog, IDOK); // No, the final question's default
        keptAfterNo = Text(dialog, IDC_RESET_PASSWORD) == L"Secret1" && PasswordIs(L"sato", L"old");
        harness_.Answer({IDYES, IDOK, IDYES});
        Press(dialog, IDOK); // fails and stays open
        SetText(dialog, IDC_RESET_PASSWORD, L"");
        SetText(dialog, IDC_RESET_CONFIRMATION, L"");
        Press(dialog, IDOK);
    });
    harness_.Answer({IDYES});
    RunPasswordReset(nullptr, L"sato");
    ASSERT_EQ(8u, harness_.boxes.size()) << "the completion comes last, once";
    EXPECT_EQ(0u, Shown(1).find(Expected(L"パスワードのリセット", 308,
                                         L"ユーザー sato のパスワードを強制的にリセット")));
    EXPECT_EQ(Expected(L"パスワード リセットエラー", 48,
                       L"パスワードと確認用が一致しません。\n再度パスワードを入力してください。"),
              Shown(2));
    EXPECT_EQ(0u, Shown(3).find(Expected(L"パスワード リセット最終確認", 308,
                                         L"パスワードをリセットします。\n本当によろしいですか？")));
    EXPECT_EQ(Expected(L"パスワード リセットエラー", 48,
                       WithPlatformText(L"パスワードをリセットできませんでした。", 5)),
              Shown(5));
    EXPECT_TRUE(keptAfterNo) << "No keeps the dialog, its input and the old password";
    EXPECT_TRUE(PasswordIs(L"sato", L"")) << "an empty password is handed on";
}

TEST_F(PasswordProfileTest, LocalHomeOpensWithAllDrivesAndNetworkModeNeedsAPath)
{
    WriteFields(L"sato", {L"\\\\srv\\p\\sato", L"logon.cmd", L"C:\\Home\\sato", L""});
    std::wstring drives;
    EXPECT_EQ(2, RunProfile(L"sato", [&](HWND dialog) {
                  EXPECT_EQ(L"\\\\srv\\p\\sato", Text(dialog, IDC_PROFILE_PATH));
                  EXPECT_EQ(L"C:\\Home\\sato", Text(dialog, IDC_PROFILE_LOCAL_PATH));
                  EXPECT_EQ(260, Limit(dialog, IDC_PROFILE_NETWORK_PATH));
                  for (int i = 0; i < 26; ++i) {
                      wchar_t entry[8] = {};
                      SendDlgItemMessageW(dialog, IDC_PROFILE_DRIVE, CB_GETLBTEXT, i,
                                          reinterpret_cast<LPARAM>(entry));
                      drives += entry;
                  }
                  EXPECT_EQ(L"Z:", Text(dialog, IDC_PROFILE_DRIVE));
                  EXPECT_TRUE(Checked(dialog, IDC_PROFILE_HOME_LOCAL));
                  EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_NETWORK_LABEL));
                  Click(dialog, IDC_PROFILE_HOME_NETWORK);
                  EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_LOCAL_PATH));
                  EXPECT_TRUE(Enabled(dialog, IDC_PROFILE_NETWORK_PATH));
                  SetText(dialog, IDC_PROFILE_PATH, L"D:\\changed");
                  Press(dialog, IDOK);
              }));
    EXPECT_EQ(L"A:B:C:D:E:F:G:H:I:J:K:L:M:N:O:P:Q:R:S:T:U:V:W:X:Y:Z:", drives);
    EXPECT_EQ(Expected(L"プロファイル設定エラー", 48,
                       L"ネットワーク ドライブ指定時はネットワーク パスを入力してください。"),
              Shown(0));
    EXPECT_EQ(L"\\\\srv\\p\\sato", ReadFields(L"sato")[0]) << "nothing is written";
}

TEST_F(PasswordProfileTest, LowerCaseDriveKeepsItsLetterAndALocalPathDropsTheDrive)
{
    WriteFields(L"sato", {L"", L"", L"\\\\srv\\home", L"h:"});
    EXPECT_EQ(1, RunProfile(L"sato", [&](HWND dialog) {
                  EXPECT_TRUE(Checked(dialog, IDC_PROFILE_HOME_NETWORK));
                  EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_LOCAL_PATH));
                  EXPECT_EQ(L"H:", Text(dialog, IDC_PROFILE_DRIVE));
                  Press(dialog, IDOK); // untouched
              }));
    EXPECT_EQ((HomeFields{L"", L"", L"\\\\srv\\home", L"H:"}), ReadFields(L"sato"));

    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    EXPECT_EQ(1, RunProfile(L"sato", [&](HWND dialog) {
                  Click(dialog, IDC_PROFILE_HOME_LOCAL);
                  EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_DRIVE));
                  SetText(dialog, IDC_PROFILE_LOCAL_PATH, L"C:\\Users\\sato");
                  SetText(dialog, IDC_PROFILE_SCRIPT, L"run.bat");
                  Press(dialog, IDOK); // fails, stays open
                  Press(dialog, IDOK);
              }));
    std::string failure = Expected(L"プロファイル設定エラー", 48,
                                   WithPlatformText(L"プロファイルを設定できませんでした。", 5));
    EXPECT_EQ(failure, Shown(0));
    EXPECT_EQ((HomeFields{L"", L"run.bat", L"C:\\Users\\sato", L""}), ReadFields(L"sato"));

    ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 5")); // while opening: reported, then Cancel
    EXPECT_EQ(2, RunProfile(L"sato", nullptr));
    EXPECT_EQ(failure, Shown(1));
    WriteFields(L"sato", {L"", L"", L"\\\\srv\\home", L"1:"}); // no letter: Z:
    RunProfile(L"sato", [&](HWND dialog) { EXPECT_EQ(L"Z:", Text(dialog, IDC_PROFILE_DRIVE)); });
}

TEST_F(PasswordProfileTest, ProfileIsCreatedAndDeletedOnTheSpot)
{
    RunProfile(L"sato", [&](HWND dialog) {
        Click(dialog, IDC_PROFILE_CREATE); // No
        EXPECT_FALSE(HasProfileFolder(L"sato"));
        harness_.Answer({IDYES, IDOK, IDYES, IDOK, IDYES, IDOK, IDYES});
        Click(dialog, IDC_PROFILE_CREATE);
        EXPECT_TRUE(HasProfileFolder(L"sato"));
        EXPECT_EQ(L"ユーザー プロファイル作成完了", harness_.boxes.back().caption);
        Click(dialog, IDC_PROFILE_CREATE); // exists already
        Click(dialog, IDC_PROFILE_DELETE);
        EXPECT_FALSE(HasProfileFolder(L"sato"));
        EXPECT_EQ(L"ユーザー プロファイル削除完了", harness_.boxes.back().caption);
        Click(dialog, IDC_PROFILE_DELETE); // nothing left
    });
    EXPECT_EQ(0u, Shown(1).find(Expected(L"ユーザー プロファイルの作成", 36, L"")));
    EXPECT_EQ(Expected(L"ユーザー プロファイル作成エラー", 48,
                       L"ユーザー プロファイルを作成できませんでした。"),
              Shown(4));
    EXPECT_EQ(0u, Shown(5).find(Expected(L"ユーザー プロファイルの削除", 52, L"")));
    EXPECT_EQ(Expected(L"ユーザー プロファイル削除エラー", 48,
                       L"ユーザー プロファイルを削除できませんでした。"),
              Shown(8));
}

TEST_F(PasswordProfileTest, ARecordUnreadableAfterOpeningIsReportedAndNothingChanges)
{
    const HomeFields before = ReadFields(L"sato");
    EXPECT_EQ(2, RunProfile(L"sato", [&](HWND dialog) {
                  harness_.Answer({IDYES, IDOK, IDYES, IDOK});
                  for (int button : {IDC_PROFILE_CREATE, IDC_PROFILE_DELETE, IDOK}) {
                      ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 5"));
                      Click(dialog, button);
                  }
              }));
    EXPECT_EQ(Expected(L"ユーザー プロファイル作成エラー", 48,
                       WithPlatformText(L"ユーザー プロファイルを作成できませんでした。", 5)),
              Shown(1));
    EXPECT_EQ(Expected(L"ユーザー プロファイル削除エラー", 48,
                       WithPlatformText(L"ユーザー プロファイルを削除できませんでした。", 5)),
              Shown(3));
    EXPECT_EQ(Expected(L"プロファイル設定エラー", 48,
                       WithPlatformText(L"プロファイルを設定できませんでした。", 5)),
              Shown(4));
    EXPECT_FALSE(HasProfileFolder(L"sato"));
    EXPECT_EQ(before, ReadFields(L"sato"));
}

// Without its server argument a write must not reach the local account of the
// same name.
TEST_F(PasswordProfileTest, WritesWithoutTheirServerArgumentFailAndNeverGoLocal)
{
    ASSERT_TRUE(AddReachableComputer(world_, L"SRV01"));
    ASSERT_TRUE(world_.Sim(L"user add sato --computer SRV01"));
    wcscpy(TargetServer, L"SRV01");
    realHeapAlloc = reinterpret_cast<HeapAllocFunction>(
        RedirectImport("HeapAlloc", reinterpret_cast<void*>(FailingHeapAlloc)));
    ASSERT_NE(nullptr, realHeapAlloc);
    harness_.Answer({IDYES, IDYES});
    harness_.OnDialog(IDD_PASSWORD_RESET, [&](HWND dialog) {
        SetText(dialog, IDC_RESET_PASSWORD, L"new");
        SetText(dialog, IDC_RESET_CONFIRMATION, L"new");
        serverArgumentsLeft = 1;
        Press(dialog, IDOK);
    });
    RunPasswordReset(nullptr, L"sato");
    EXPECT_EQ(2, RunProfile(L"sato", [&](HWND dialog) {
                  SetText(dialog, IDC_PROFILE_SCRIPT, L"run.bat");
                  serverArgumentsLeft = 2; // the first reads the record
                  Press(dialog, IDOK);
              }));
    RedirectImport("HeapAlloc", reinterpret_cast<void*>(realHeapAlloc));
    EXPECT_EQ(Expected(L"パスワード リセットエラー", 48,
                       WithPlatformText(L"パスワードをリセットできませんでした。",
                                        ERROR_NOT_ENOUGH_MEMORY)),
              Shown(2));
    EXPECT_EQ(Expected(L"プロファイル設定エラー", 48,
                       WithPlatformText(L"プロファイルを設定できませんでした。",
                                        ERROR_NOT_ENOUGH_MEMORY)),
              Shown(3));
    EXPECT_TRUE(PasswordIs(L"sato", L"old"));
    EXPECT_EQ(L"", ReadFields(L"sato")[1]);
}

TEST_F(PasswordProfileTest, PathsLongerThanTheEditLimitStayWholeOnAnUntouchedOk)
{
    const HomeFields fields = {std::wstring(260, L'p'), std::wstring(260, L's'),
                               std::wstring(300, L'h'), L""};
    WriteFields(L"sato", fields);
    EXPECT_EQ(1, RunProfile(L"sato", [&](HWND dialog) { Press(dialog, IDOK); }));
    EXPECT_EQ(fields, ReadFields(L"sato"));
}

TEST_F(PasswordProfileTest, ProfileButtonsAreOffForTheRunningAccountAndOnARemoteTarget)
{
    auto expectOff = [](HWND dialog) {
        EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_CREATE));
        EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_DELETE));
    };
    RunProfile(L"KANRI", expectOff);
    ASSERT_TRUE(AddReachableComputer(world_, L"SRV01") && world_.Sim(L"user add taro --computer SRV01"));
    wcscpy(TargetServer, L"SRV01");
    EXPECT_EQ(2, RunProfile(L"taro", expectOff));
    EXPECT_TRUE(harness_.boxes.empty()) << "the remote account was read";
}
