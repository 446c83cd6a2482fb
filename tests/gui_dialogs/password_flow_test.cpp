// The password reset worked from the settings dialog of a selected user, the
// way a person does it: both warnings answered, the new password typed twice.
#include "ambgui_fixture.h"

namespace ambtest {
namespace {

// A logon through the simulated platform: a wrong password is refused before
// the program is looked for.
bool PasswordIs(const std::wstring& user, const std::wstring& password)
{
    HMODULE sim = LoadLibraryW((SimBinDir() + L"\\AmbSim.dll").c_str());
    using LogonFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                  LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
    auto logon = sim != nullptr ? reinterpret_cast<LogonFn>(reinterpret_cast<void*>(
                                      GetProcAddress(sim, "CreateProcessWithLogonW")))
                                : nullptr;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    wchar_t command[] = L"none";
    bool right = logon != nullptr &&
                 !logon(user.c_str(), L".", password.c_str(), 0, L"Z:\\no.exe", command, 0, nullptr,
                        nullptr, &startup, &process) &&
                 GetLastError() != ERROR_LOGON_FAILURE;
    if (sim != nullptr)
        FreeLibrary(sim);
    return right;
}

using PasswordFlowTest = AmbguiTest;

TEST_F(PasswordFlowTest, PersonalSettingsResetThePasswordAfterBothWarnings)
{
    ASSERT_TRUE(Sim(L"user add taro --password old"));
    PrepareSettings(0, 0);
    ASSERT_TRUE(StartReady());
    int row = app.FindRow(app.AccountList(), L"taro");
    ASSERT_GE(row, 0);
    ASSERT_TRUE(app.ClickRow(app.AccountList(), row));
    app.Command(kUserSettings);
    HWND settings = app.WaitDialog(L"ユーザー アカウントの設定");
    ASSERT_NE(settings, nullptr);
    App::PressButton(settings, 1012);
    HWND warning = ExpectBox(L"パスワードのリセット");
    EXPECT_EQ(0u, App::MessageText(warning).find(
                      L"ユーザー taro のパスワードを強制的にリセットすることを選択しました。"));
    Answer(warning, IDYES);

    HWND dialog = app.WaitDialog(L"パスワードのリセット");
    ASSERT_NE(dialog, nullptr);
    App::SetEditText(dialog, 1003, L"N3w-pass");
    App::SetEditText(dialog, 1004, L"N3w-pass");
    App::PressButton(dialog, IDOK);
    Answer(ExpectBox(L"パスワード リセット最終確認"), IDYES);
    HWND done = ExpectBox(L"パスワード リセット完了");
    EXPECT_TEXT(App::MessageText(done), L"パスワードはリセットされました。");
    EXPECT_FALSE(IsWindow(dialog)) << "the completion follows the closed dialog";
    Answer(done, IDOK);
    App::PressButton(settings, IDCANCEL);
    ASSERT_TRUE(App::WaitGone(settings));
    ExpectNoMoreBoxes();
    EXPECT_TRUE(PasswordIs(L"taro", L"N3w-pass"));
    EXPECT_FALSE(PasswordIs(L"taro", L"old"));
}

} // namespace
} // namespace ambtest
