// Amblift: asks for the built-in Administrator's password and starts Ambgui from
// its own folder under that account, whatever the account is called now.
#include <gtest/gtest.h>

#include "guidriver.h"

#include <lm.h>

#include <string>

#include "errortext.h"

#include <tlhelp32.h>
#include <vector>

using guidriver::App;
using guidriver::SimWorld;

namespace {

const wchar_t kLogonTitle[] = L"Ambrelle";
constexpr int kPasswordEdit = 1000;

std::wstring SimAmbliftPath()
{
    return guidriver::SimBinDir() + L"\\Amblift.exe";
}

std::wstring SystemText(DWORD code)
{
    LPWSTR text = FormatErrorText(code);
    std::wstring copy = text ? text : L"";
    LocalFree(text);
    return copy;
}

// The built-in Administrator, enabled with a password (and renamed when asked).
void PrepareAdministrator(SimWorld& world, const wchar_t* password, const wchar_t* newName)
{
    ASSERT_TRUE(world.Run(std::wstring(L"user set Administrator --enable --password ") + password))
        << world.LastOutput();
    if (newName != nullptr) {
        USER_INFO_0 info = {const_cast<LPWSTR>(newName)};
        ASSERT_EQ(
            NetUserSetInfo(nullptr, L"Administrator", 0, reinterpret_cast<LPBYTE>(&info), nullptr),
            static_cast<NET_API_STATUS>(NERR_Success));
    }
}

HWND OpenLogonDialog(App& lift)
{
    EXPECT_TRUE(lift.Start(SimAmbliftPath()));
    HWND dialog = lift.WaitDialog(kLogonTitle);
    EXPECT_NE(dialog, nullptr);
    return dialog;
}

// Ambgui processes started since the test began, found by their image name.
std::vector<DWORD> AmbguiProcesses()
{
    std::vector<DWORD> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return pids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, L"Ambgui.exe") == 0)
            pids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return pids;
}

void KillAmbguiProcesses()
{
    for (DWORD pid : AmbguiProcesses()) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (process != nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

// The world's record of programs started under other credentials.
std::wstring Launches(SimWorld& world)
{
    std::wstring dump;
    EXPECT_TRUE(world.Run(L"dump", &dump));
    size_t at = dump.find(L"\"launches\"");
    return at == std::wstring::npos ? std::wstring() : dump.substr(at, dump.find(L']', at) - at);
}

std::wstring JsonEscaped(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t c : text)
        escaped += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    return escaped;
}

TEST(AmbliftTest, WrongPasswordIsReportedAndTheDialogKeepsIt)
{
    SimWorld world;
    PrepareAdministrator(world, L"Sora-2026", nullptr);
    App lift;
    HWND dialog = OpenLogonDialog(lift);
    ASSERT_NE(dialog, nullptr);
    App::SetEditText(dialog, kPasswordEdit, L"wrong");
    App::PressButton(dialog, IDOK);

    HWND box = lift.WaitDialog(L"ログイン エラー");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(App::MessageText(box),
              L"Administrator アカウントにログインできませんでした。\n(エラー詳細 : " +
                  SystemText(ERROR_LOGON_FAILURE) + L")");
    EXPECT_TRUE(App::MessageBoxHasIcon(box));
    ASSERT_TRUE(App::PressButtonByText(box, L"OK"));
    ASSERT_TRUE(App::WaitGone(box));

    EXPECT_TRUE(IsWindow(dialog)) << "the dialog stays open for another try";
    EXPECT_EQ(App::ControlText(dialog, kPasswordEdit), L"wrong");
    EXPECT_TRUE(lift.Running());
    EXPECT_TRUE(AmbguiProcesses().empty());
}

TEST(AmbliftTest, DisabledAdministratorCannotStartAmbgui)
{
    SimWorld world; // the built-in Administrator is disabled, as on a fresh Windows
    App lift;
    HWND dialog = OpenLogonDialog(lift);
    ASSERT_NE(dialog, nullptr);
    App::PressButton(dialog, IDOK); // an empty password is passed as it is
    HWND box = lift.WaitDialog(L"ログイン エラー");
    ASSERT_NE(box, nullptr);
    EXPECT_NE(App::MessageText(box).find(L"(エラー詳細 : "), std::wstring::npos);
    App::PressButtonByText(box, L"OK");
    EXPECT_TRUE(AmbguiProcesses().empty());
}

// In a workgroup and on a domain-joined computer, whose own account domain is
// not its primary domain and whose name alone is not mapped.
TEST(AmbliftTest, RenamedAdministratorStartsAmbguiFromTheLaunchersFolder)
{
    for (bool joined : {false, true}) {
        SCOPED_TRACE(joined ? "domain-joined" : "workgroup");
        SimWorld world;
        PrepareAdministrator(world, L"Sora-2026", L"kanrisha");
        if (joined) {
            for (const wchar_t* step : {L"computer add DC1", L"domain add CORP --dc DC1",
                                        L"computer set AMBPC01 --join CORP"})
                ASSERT_TRUE(world.Run(step)) << world.LastOutput();
        }
        App lift;
        HWND dialog = OpenLogonDialog(lift);
        ASSERT_NE(dialog, nullptr);
        App::SetEditText(dialog, kPasswordEdit, L"Sora-2026");
        App::PressButton(dialog, IDOK);

        DWORD exitCode = 99;
        ASSERT_TRUE(lift.WaitExit(10000, &exitCode)) << "the launcher ends after the start";
        EXPECT_EQ(exitCode, 0u);

        // Ambgui beside the launcher, started as the renamed Administrator with no arguments.
        std::wstring launches = Launches(world);
        EXPECT_NE(launches.find(JsonEscaped(guidriver::SimBinDir() + L"\\Ambgui.exe")),
                  std::wstring::npos)
            << launches;
        EXPECT_NE(launches.find(L"\"user\": \"kanrisha\""), std::wstring::npos) << launches;
        EXPECT_NE(launches.find(L"\"commandLine\": \"\""), std::wstring::npos) << launches;
        EXPECT_FALSE(AmbguiProcesses().empty()) << "Ambgui is running";
        KillAmbguiProcesses();
    }
}

// Starts the launcher with `startedAs` as the first token of its command line,
// the path that it takes for its own.
bool StartLauncherAs(App& lift, const std::wstring& startedAs)
{
    std::wstring path = SimAmbliftPath();
    std::wstring commandLine = L"\"" + startedAs + L"\"";
    std::wstring desktop = guidriver::TestDesktopName();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!desktop.empty())
        startup.lpDesktop = &desktop[0];
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return lift.Attach(process.dwProcessId);
}

TEST(AmbliftTest, AFolderTooLongForAmbguisPathIsAFailedStart)
{
    SimWorld world;
    PrepareAdministrator(world, L"Sora-2026", nullptr);
    // 3 + 253 + 10 characters: Ambgui's path beside it would not fit in MAX_PATH.
    std::wstring folder =
        L"Z:\\" + std::wstring(125, L'a') + L"\\" + std::wstring(125, L'b') + L"\\";
    App lift;
    ASSERT_TRUE(StartLauncherAs(lift, folder + L"Amblift.exe"));
    HWND dialog = lift.WaitDialog(kLogonTitle);
    ASSERT_NE(dialog, nullptr);
    App::SetEditText(dialog, kPasswordEdit, L"Sora-2026");
    App::PressButton(dialog, IDOK);

    HWND box = lift.WaitDialog(L"ログイン エラー");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(App::MessageText(box),
              L"Administrator アカウントにログインできませんでした。\n(エラー詳細 : " +
                  SystemText(ERROR_FILENAME_EXCED_RANGE) + L")");
    ASSERT_TRUE(App::PressButtonByText(box, L"OK"));
    ASSERT_TRUE(App::WaitGone(box));
    EXPECT_EQ(Launches(world).find(L"Ambgui"), std::wstring::npos) << "nothing was started";
    EXPECT_TRUE(IsWindow(dialog));
}

TEST(AmbliftTest, ASecondLauncherEndsSilentlyWhileTheFirstIsOpen)
{
    SimWorld world;
    App first;
    ASSERT_NE(OpenLogonDialog(first), nullptr);
    App second;
    ASSERT_TRUE(second.Start(SimAmbliftPath()));
    DWORD exitCode = 99;
    ASSERT_TRUE(second.WaitExit(10000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(first.Running());
    EXPECT_NE(first.FindDialog(kLogonTitle), nullptr);
}

} // namespace
