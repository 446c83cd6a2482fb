// The password-reset flow (warning, template 509, completion) and the profile
// dialog (510), run in-process against the simulated platform: outcomes are
// read back from the account database and the profile folders.
#include <windows.h>

#include <lm.h>

#include <gtest/gtest.h>

#include <string>

#include "core_world.h"
#include "dialog_harness.h"
#include "errortext.h"
#include "globals.h"
#include "password_profile.h"
#include "resource.h"

using namespace dialogtest;

namespace {
const UINT kQuestion308 = MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2;

std::wstring PlatformText(DWORD code)
{
    LPWSTR text = FormatErrorText(code);
    std::wstring result = text != nullptr ? text : L"";
    LocalFree(text);
    return result;
}

struct HomeFields
{
    std::wstring profile, script, home, drive;
};

std::wstring Str(LPCWSTR text)
{
    return text != nullptr ? text : L"";
}

HomeFields ReadFields(const wchar_t* user)
{
    HomeFields fields;
    LPBYTE buffer = nullptr;
    EXPECT_EQ(NERR_Success, NetUserGetInfo(nullptr, user, 4, &buffer));
    if (auto* info = reinterpret_cast<USER_INFO_4*>(buffer)) {
        fields = {Str(info->usri4_profile), Str(info->usri4_script_path), Str(info->usri4_home_dir),
                  Str(info->usri4_home_dir_drive)};
        NetApiBufferFree(buffer);
    }
    return fields;
}

void WriteFields(const wchar_t* user, HomeFields fields)
{
    LPBYTE buffer = nullptr;
    ASSERT_EQ(NERR_Success, NetUserGetInfo(nullptr, user, 4, &buffer));
    auto* info = reinterpret_cast<USER_INFO_4*>(buffer);
    info->usri4_profile = &fields.profile[0];
    info->usri4_script_path = &fields.script[0];
    info->usri4_home_dir = &fields.home[0];
    info->usri4_home_dir_drive = &fields.drive[0];
    EXPECT_EQ(NERR_Success, NetUserSetInfo(nullptr, user, 4, buffer, nullptr));
    NetApiBufferFree(buffer);
}

// A logon with the password: the platform refuses a wrong one with
// ERROR_LOGON_FAILURE before it looks for the program.
bool PasswordIs(const wchar_t* user, const wchar_t* password)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    wchar_t command[] = L"none";
    if (CreateProcessWithLogonW(user, L".", password, 0, L"Z:\\no\\such.exe", command, 0, nullptr,
                                nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    return GetLastError() != ERROR_LOGON_FAILURE;
}

bool HasProfileFolder(const wchar_t* user)
{
    wchar_t dir[MAX_PATH] = {};
    GetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", dir, MAX_PATH);
    DWORD attributes = GetFileAttributesW((std::wstring(dir) + L"\\Profiles\\" + user).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring SelectedDrive(HWND dialog)
{
    return Text(dialog, IDC_PROFILE_DRIVE);
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
    void ExpectBox(size_t index, const std::wstring& text, const std::wstring& caption, UINT style)
    {
        ASSERT_LT(index, harness_.boxes.size());
        EXPECT_EQ(Utf8(text), Utf8(harness_.boxes[index].text));
        EXPECT_EQ(Utf8(caption), Utf8(harness_.boxes[index].caption));
        EXPECT_EQ(style, harness_.boxes[index].style);
    }

    CoreWorld world_;
    DialogHarness harness_;
};
} // namespace

TEST_F(PasswordProfileTest, ResetPassesTheWarningTheComparisonAndTheFinalQuestion)
{
    RunPasswordReset(nullptr, L"sato"); // the warning's default answer, No, opens nothing
    ASSERT_EQ(1u, harness_.boxes.size());
    EXPECT_EQ(0u,
              harness_.boxes[0].text.rfind(
                  L"ユーザー sato のパスワードを強制的にリセットすることを選択しました。\n", 0));
    EXPECT_EQ(L"パスワードのリセット", harness_.boxes[0].caption);
    EXPECT_EQ(kQuestion308, harness_.boxes[0].style);
    EXPECT_TRUE(harness_.opened.empty());

    bool keptAfterNo = false;
    harness_.OnDialog(IDD_PASSWORD_RESET, [&](HWND dialog) {
        EXPECT_EQ(127, Limit(dialog, IDC_RESET_PASSWORD));
        SetText(dialog, IDC_RESET_PASSWORD, L"Secret1");
        SetText(dialog, IDC_RESET_CONFIRMATION, L"secret1");
        Press(dialog, IDOK); // differs in case
        SetText(dialog, IDC_RESET_CONFIRMATION, L"Secret1");
        Press(dialog, IDOK); // final question: No
        keptAfterNo = IsWindow(dialog) && Text(dialog, IDC_RESET_PASSWORD) == L"Secret1" &&
                      Text(dialog, IDC_RESET_CONFIRMATION) == L"Secret1" &&
                      PasswordIs(L"sato", L"old");
        harness_.Answer({IDYES});
        Press(dialog, IDOK);
    });
    harness_.Answer({IDYES});
    RunPasswordReset(nullptr, L"sato");
    ASSERT_EQ(6u, harness_.boxes.size());
    ExpectBox(2, L"パスワードと確認用が一致しません。\n再度パスワードを入力してください。",
              L"パスワード リセットエラー", MB_ICONWARNING);
    EXPECT_EQ(0u, harness_.boxes[3].text.rfind(
                      L"パスワードをリセットします。\n本当によろしいですか？\n", 0));
    EXPECT_EQ(L"パスワード リセット最終確認", harness_.boxes[3].caption);
    EXPECT_EQ(kQuestion308, harness_.boxes[3].style);
    ExpectBox(5, L"パスワードはリセットされました。", L"パスワード リセット完了",
              MB_ICONINFORMATION);
    EXPECT_TRUE(keptAfterNo) << "No keeps the dialog, its input and the old password";
    EXPECT_TRUE(PasswordIs(L"sato", L"Secret1"));
    EXPECT_FALSE(PasswordIs(L"sato", L"old"));
}

TEST_F(PasswordProfileTest, FailedResetStaysOpenAndAnEmptyPasswordIsHandedOn)
{
    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    harness_.OnDialog(IDD_PASSWORD_RESET, [&](HWND dialog) {
        SetText(dialog, IDC_RESET_PASSWORD, L"new");
        SetText(dialog, IDC_RESET_CONFIRMATION, L"new");
        harness_.Answer({IDYES});
        Press(dialog, IDOK);
        ASSERT_TRUE(IsWindow(dialog));
        SetText(dialog, IDC_RESET_PASSWORD, L"");
        SetText(dialog, IDC_RESET_CONFIRMATION, L"");
        harness_.Answer({IDYES});
        Press(dialog, IDOK);
    });
    harness_.Answer({IDYES});
    RunPasswordReset(nullptr, L"sato");
    ASSERT_EQ(5u, harness_.boxes.size());
    ExpectBox(2, L"パスワードをリセットできませんでした。\n(エラー詳細 : " + PlatformText(5) + L")",
              L"パスワード リセットエラー", MB_ICONWARNING);
    EXPECT_EQ(L"パスワード リセット完了", harness_.boxes[4].caption);
    EXPECT_TRUE(PasswordIs(L"sato", L""));

    // The running account never gets there, whoever calls.
    harness_.boxes.clear();
    harness_.opened.clear();
    RunPasswordReset(nullptr, L"kanri");
    EXPECT_TRUE(harness_.boxes.empty());
    EXPECT_TRUE(harness_.opened.empty());
}

TEST_F(PasswordProfileTest, LocalHomeOpensWithAllDrivesAndNetworkModeNeedsAPath)
{
    WriteFields(L"sato", {L"\\\\srv\\p\\sato", L"logon.cmd", L"C:\\Home\\sato", L""});
    std::vector<std::wstring> drives;
    INT_PTR result = RunProfile(L"sato", [&](HWND dialog) {
        EXPECT_EQ(L"\\\\srv\\p\\sato", Text(dialog, IDC_PROFILE_PATH));
        EXPECT_EQ(L"logon.cmd", Text(dialog, IDC_PROFILE_SCRIPT));
        EXPECT_EQ(L"C:\\Home\\sato", Text(dialog, IDC_PROFILE_LOCAL_PATH));
        for (int id : {IDC_PROFILE_PATH, IDC_PROFILE_SCRIPT, IDC_PROFILE_LOCAL_PATH,
                       IDC_PROFILE_NETWORK_PATH})
            EXPECT_EQ(260, Limit(dialog, id));
        HWND list = GetDlgItem(dialog, IDC_PROFILE_DRIVE);
        for (int i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
            wchar_t entry[8] = {};
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
            drives.push_back(entry);
        }
        EXPECT_EQ(L"Z:", SelectedDrive(dialog));
        EXPECT_TRUE(Checked(dialog, IDC_PROFILE_HOME_LOCAL));
        EXPECT_TRUE(Enabled(dialog, IDC_PROFILE_LOCAL_PATH));
        for (int id : {IDC_PROFILE_DRIVE, IDC_PROFILE_NETWORK_LABEL, IDC_PROFILE_NETWORK_PATH})
            EXPECT_FALSE(Enabled(dialog, id));
        EXPECT_TRUE(Enabled(dialog, IDC_PROFILE_CREATE));
        EXPECT_TRUE(Enabled(dialog, IDC_PROFILE_DELETE));

        Click(dialog, IDC_PROFILE_HOME_NETWORK);
        EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_LOCAL_PATH));
        for (int id : {IDC_PROFILE_DRIVE, IDC_PROFILE_NETWORK_LABEL, IDC_PROFILE_NETWORK_PATH})
            EXPECT_TRUE(Enabled(dialog, id));
        EXPECT_EQ(GetDlgItem(dialog, IDC_PROFILE_DRIVE), GetFocus());
        SetText(dialog, IDC_PROFILE_PATH, L"D:\\changed");
        Press(dialog, IDOK);
    });
    EXPECT_EQ(2, result) << "the dialog stays open";
    ASSERT_EQ(26u, drives.size());
    EXPECT_EQ(L"A:", drives[0]);
    EXPECT_EQ(L"H:", drives[7]);
    ASSERT_EQ(1u, harness_.boxes.size());
    ExpectBox(0, L"ネットワーク ドライブ指定時はネットワーク パスを入力してください。",
              L"プロファイル設定エラー", MB_ICONWARNING);
    EXPECT_EQ(L"\\\\srv\\p\\sato", ReadFields(L"sato").profile) << "nothing is written";
}

TEST_F(PasswordProfileTest, LowerCaseDriveOpensOnItsLetterAndAnUntouchedOkKeepsIt)
{
    WriteFields(L"sato", {L"", L"", L"\\\\srv\\home\\sato", L"h:"});
    EXPECT_EQ(1, RunProfile(L"sato", [&](HWND dialog) {
                  EXPECT_TRUE(Checked(dialog, IDC_PROFILE_HOME_NETWORK));
                  EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_LOCAL_PATH));
                  EXPECT_EQ(L"\\\\srv\\home\\sato", Text(dialog, IDC_PROFILE_NETWORK_PATH));
                  EXPECT_EQ(L"H:", SelectedDrive(dialog));
                  Press(dialog, IDOK);
              }));
    HomeFields fields = ReadFields(L"sato");
    EXPECT_EQ(L"H:", fields.drive);
    EXPECT_EQ(L"\\\\srv\\home\\sato", fields.home);

    WriteFields(L"sato", {L"", L"", L"\\\\srv\\home\\sato", L"1:"});
    RunProfile(L"sato", [&](HWND dialog) { EXPECT_EQ(L"Z:", SelectedDrive(dialog)); });
}

TEST_F(PasswordProfileTest, SwitchingToALocalPathWritesAnEmptyDriveAndFailuresAreReported)
{
    WriteFields(L"sato", {L"", L"", L"\\\\srv\\home\\sato", L"H:"});
    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    EXPECT_EQ(1, RunProfile(L"sato", [&](HWND dialog) {
                  Click(dialog, IDC_PROFILE_HOME_LOCAL);
                  EXPECT_EQ(GetDlgItem(dialog, IDC_PROFILE_LOCAL_PATH), GetFocus());
                  EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_NETWORK_PATH));
                  SetText(dialog, IDC_PROFILE_LOCAL_PATH, L"C:\\Users\\sato");
                  SetText(dialog, IDC_PROFILE_SCRIPT, L"run.bat");
                  Press(dialog, IDOK); // fails, stays open
                  Press(dialog, IDOK);
              }));
    ASSERT_EQ(1u, harness_.boxes.size());
    ExpectBox(0, L"プロファイルを設定できませんでした。\n(エラー詳細 : " + PlatformText(5) + L")",
              L"プロファイル設定エラー", MB_ICONWARNING);
    HomeFields fields = ReadFields(L"sato");
    EXPECT_EQ(L"", fields.drive);
    EXPECT_EQ(L"C:\\Users\\sato", fields.home);
    EXPECT_EQ(L"run.bat", fields.script);

    // An account that cannot be read is reported and the dialog ends.
    harness_.boxes.clear();
    EXPECT_EQ(2, RunProfile(L"nobody", nullptr));
    ASSERT_EQ(1u, harness_.boxes.size());
    ExpectBox(0,
              L"プロファイルを設定できませんでした。\n(エラー詳細 : " +
                  PlatformText(NERR_UserNotFound) + L")",
              L"プロファイル設定エラー", MB_ICONWARNING);
}

TEST_F(PasswordProfileTest, ProfileIsCreatedAndDeletedOnTheSpot)
{
    RunProfile(L"sato", [&](HWND dialog) {
        Click(dialog, IDC_PROFILE_CREATE); // No
        EXPECT_FALSE(HasProfileFolder(L"sato"));
        harness_.Answer({IDYES});
        Click(dialog, IDC_PROFILE_CREATE);
        EXPECT_TRUE(HasProfileFolder(L"sato"));
        harness_.Answer({IDYES});
        Click(dialog, IDC_PROFILE_CREATE); // exists already
        harness_.Answer({IDYES});
        Click(dialog, IDC_PROFILE_DELETE);
        EXPECT_FALSE(HasProfileFolder(L"sato"));
        harness_.Answer({IDYES});
        Click(dialog, IDC_PROFILE_DELETE); // nothing left
    });
    ASSERT_EQ(9u, harness_.boxes.size());
    ExpectBox(0, L"ユーザー プロファイルを作成します。\nよろしいですか？",
              L"ユーザー プロファイルの作成", MB_ICONQUESTION | MB_YESNO);
    ExpectBox(2, L"ユーザー プロファイルは正常に作成されました。", L"ユーザー プロファイル作成完了",
              MB_ICONINFORMATION);
    ExpectBox(4, L"ユーザー プロファイルを作成できませんでした。",
              L"ユーザー プロファイル作成エラー", MB_ICONWARNING);
    EXPECT_EQ(L"ユーザー プロファイルの削除", harness_.boxes[5].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING | MB_YESNO), harness_.boxes[5].style);
    ExpectBox(6, L"ユーザー プロファイルは正常に削除されました。", L"ユーザー プロファイル削除完了",
              MB_ICONINFORMATION);
    ExpectBox(8, L"ユーザー プロファイルを削除できませんでした。",
              L"ユーザー プロファイル削除エラー", MB_ICONWARNING);
}

TEST_F(PasswordProfileTest, ProfileButtonsAreOffForTheRunningAccountAndOnARemoteTarget)
{
    auto expectOff = [](HWND dialog) {
        EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_CREATE));
        EXPECT_FALSE(Enabled(dialog, IDC_PROFILE_DELETE));
    };
    RunProfile(L"KANRI", expectOff);
    ASSERT_TRUE(world_.Sim(L"computer add SRV01"));
    ASSERT_TRUE(world_.Sim(L"user add taro --computer SRV01"));
    wcscpy(TargetServer, L"SRV01");
    EXPECT_EQ(2, RunProfile(L"taro", expectOff));
    EXPECT_TRUE(harness_.boxes.empty()) << "the remote account was read";
}
