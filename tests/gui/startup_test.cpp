// Start-up and shutdown of Ambgui: first run, stored window settings, the
// single-instance check, the administrator check and the elevation dialog.
#include "ambgui_fixture.h"

#include <memory>

#include <nlohmann/json.hpp>

namespace ambtest {
namespace {

const wchar_t kWelcomeCaption[] = L"Ambrelle へようこそ";
const wchar_t kWelcomeText[] =
    L"Ambrelle へようこそ。\n\nAmbrelle を使うと、ユーザー アカウントおよびローカル "
    L"グループの管理が可能になります。\n\nまずご利用前に、動作モードを基本的な管理を重点としており"
    L"ほと"
    L"んどのユーザーにお勧めする「パーソナル "
    L"モード」と上級ユーザー向けにすべての機能が利用できる「ア"
    L"ドバンスト モード」の 2 種類の中から選択してください。";
const wchar_t kModeTitle[] = L"動作モードの選択";
const wchar_t kElevationTitle[] = L"管理者への昇格が必要です";
const wchar_t kElevationText[] =
    L"Ambrelle "
    L"を使用するには、管理者権限が必要です。\n現在のアカウントには管理者権限がありますが、ユー"
    L"ザー アカウント制御 (UAC) "
    L"により権限が制限された状態で動作しています。\n\nこのプログラムを実行する"
    L"には管理者として実行する必要があります。今すぐ管理者として実行するには [続行] "
    L"ボタンを、中止する"
    L"場合は [キャンセル] ボタンを押してください。";

using StartupTest = AmbguiTest;

// The programs the simulated platform started ("launches" of the world dump).
nlohmann::json Launches(SimWorld& world)
{
    std::wstring dump;
    EXPECT_TRUE(world.Run(L"dump", &dump));
    nlohmann::json parsed = nlohmann::json::parse(Narrow(dump), nullptr, false);
    if (parsed.is_discarded() || !parsed.contains("launches"))
        return nlohmann::json::array();
    return parsed["launches"];
}

RECT OuterRect(HWND hwnd)
{
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

DWORD Value(const wchar_t* name)
{
    DWORD value = 0xDEADBEEF;
    EXPECT_TRUE(settings::GetDword(name, &value)) << "value " << Narrow(name);
    return value;
}

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text)
{
    for (const std::wstring& t : texts)
        if (t == text)
            return true;
    return false;
}

TEST_F(StartupTest, FirstStartWelcomesAsksForTheModeAndWritesEightValuesAtExit)
{
    ASSERT_FALSE(settings::KeyExists());
    ASSERT_TRUE(app.Start());

    HWND welcome = app.WaitDialog(kWelcomeCaption);
    ASSERT_NE(welcome, nullptr) << "no welcome message";
    EXPECT_TEXT(App::MessageText(welcome), kWelcomeText);
    EXPECT_FALSE(App::MessageBoxHasIcon(welcome)) << "style 0: no icon";
    App::PressButton(welcome, IDOK);

    HWND mode = app.WaitDialog(kModeTitle);
    ASSERT_NE(mode, nullptr) << "no operating-mode dialog after the welcome";
    EXPECT_TRUE(App::IsChecked(mode, 1000)) << "a first start offers personal mode";
    EXPECT_FALSE(App::IsChecked(mode, 1001));
    DialogText text = App::ReadDialog(mode);
    EXPECT_TRUE(Contains(text.statics, L"Ambrelle の動作モードを選択してください。"));
    EXPECT_TRUE(
        Contains(text.statics,
                 L"※この設定は [ツールと表示] - [動作モードの切り替え] でいつでも変更できます。"));
    EXPECT_TEXT(
        App::ControlText(mode, 1000),
        L"パーソナル モード (推奨)(&P)\nAmbrelle が持つ機能のうち、もっとも基本的な管理に重点を置"
        L"いた動作モードです。ほとんどのユーザーにお勧めします。\n("
        L"通常の用途において、あまり設定する"
        L"機会がない機構は表示されません。)");
    EXPECT_TEXT(
        App::ControlText(mode, 1001),
        L"アドバンスト モード(&A)\n上級ユーザー向けの動作モードです。Ambrelle のすべての機能を使う"
        L"ことができます。\nパーソナル "
        L"モードの内容に加え、リモート管理やユーザー設定の上級者向けオプ"
        L"ションが利用可能になるなど、様々なメリットがあります。");
    App::Tick(mode, 1001, true);
    App::PressButton(mode, IDOK);

    ASSERT_NE(app.WaitMainWindow(), nullptr);
    EXPECT_TEXT(app.Title(), L"Ambrelle - ローカル コンピュータ");
    EXPECT_GE(app.MenuState(kRemote), 0) << "advanced mode was chosen: remote management shows";
    EXPECT_FALSE(settings::KeyExists()) << "nothing is written before the exit";
    RECT rect = OuterRect(app.Main());
    ASSERT_TRUE(app.Close());

    std::vector<std::wstring> names = settings::ValueNames();
    EXPECT_EQ(names.size(), 8u);
    EXPECT_EQ(static_cast<LONG>(Value(L"X")), rect.left);
    EXPECT_EQ(static_cast<LONG>(Value(L"Y")), rect.top);
    EXPECT_EQ(static_cast<LONG>(Value(L"Width")), rect.right - rect.left);
    EXPECT_EQ(static_cast<LONG>(Value(L"Height")), rect.bottom - rect.top);
    EXPECT_EQ(Value(L"Welcome"), 1u);
    EXPECT_EQ(Value(L"IsShowBuiltinAccount"), 0u);
    EXPECT_EQ(Value(L"Advanced"), 1u);
    EXPECT_EQ(Value(L"View"), 0u);

    // The next start goes straight to the window.
    ASSERT_TRUE(app.Start());
    ASSERT_NE(app.WaitMainWindow(), nullptr);
    EXPECT_TRUE(app.NoDialog(kWelcomeCaption, 300));
}

TEST_F(StartupTest, CancellingTheFirstModeDialogKeepsPersonalMode)
{
    ASSERT_TRUE(app.Start());
    HWND welcome = app.WaitDialog(kWelcomeCaption);
    ASSERT_NE(welcome, nullptr);
    App::PressButton(welcome, IDOK);
    HWND mode = app.WaitDialog(kModeTitle);
    ASSERT_NE(mode, nullptr);
    App::Tick(mode, 1001, true);
    App::PressButton(mode, IDCANCEL);
    ASSERT_NE(app.WaitMainWindow(), nullptr);
    EXPECT_EQ(app.MenuState(kRemote), -1) << "personal mode has no remote-management item";
    EXPECT_NE(app.ToolbarState(kRemote) & TBSTATE_HIDDEN, 0);
    ASSERT_TRUE(app.Close());
    EXPECT_EQ(Value(L"Welcome"), 1u);
    EXPECT_EQ(Value(L"Advanced"), 0u);
}

TEST_F(StartupTest, NegativeXComesBackAsZeroAndZeroWidthIsUsedAsIs)
{
    settings::WriteAll(-20, 40, 0, 500, 1, 0, 0, 0);
    ASSERT_TRUE(StartReady());
    RECT rect = OuterRect(app.Main());
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 40);
    EXPECT_EQ(rect.bottom - rect.top, 500);
    // A width of 0 goes to the platform unchanged, which makes it the smallest
    // width a framed window may have, not a default size.
    EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXMINTRACK));
    ASSERT_TRUE(app.Close());
    EXPECT_EQ(Value(L"X"), 0u);
    EXPECT_EQ(static_cast<LONG>(Value(L"Width")), rect.right - rect.left);
}

TEST_F(StartupTest, ValuesOfAnotherTypeOrSizeAreIgnored)
{
    PrepareSettings(0, 0, 0);
    settings::SetString(L"View", L"2");
    const unsigned char eightBytes[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    settings::SetBinary(L"Advanced", eightBytes, sizeof(eightBytes), REG_DWORD);
    ASSERT_TRUE(StartReady());
    EXPECT_TRUE(app.MenuChecked(kViewAll)) << "View as REG_SZ: the view filter starts at 0";
    EXPECT_FALSE(app.MenuChecked(kViewGroups));
    EXPECT_NE(app.ToolbarState(kViewAll) & TBSTATE_CHECKED, 0);
    EXPECT_EQ(app.MenuState(kRemote), -1) << "an 8-byte Advanced is ignored: personal mode";
    ASSERT_TRUE(app.Close());
    EXPECT_EQ(Value(L"View"), 0u) << "written back as a REG_DWORD";
    EXPECT_EQ(Value(L"Advanced"), 0u);
}

TEST_F(StartupTest, ClosingWhileMaximizedKeepsTheLoadedRectangle)
{
    settings::WriteAll(120, 80, 700, 500, 1, 0, 0, 0);
    ASSERT_TRUE(StartReady());
    PostMessageW(app.Main(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(WaitFor([&] { return IsZoomed(app.Main()) != FALSE; }, 5000));
    app.Settle();
    ASSERT_TRUE(app.Close());
    EXPECT_EQ(Value(L"X"), 120u);
    EXPECT_EQ(Value(L"Y"), 80u);
    EXPECT_EQ(Value(L"Width"), 700u);
    EXPECT_EQ(Value(L"Height"), 500u);
}

TEST_F(StartupTest, FirstRunEndingMaximizedStartsAtTheOriginNextTime)
{
    ASSERT_TRUE(app.Start()); // a true first run: no settings key at all
    HWND welcome = app.WaitDialog(kWelcomeCaption);
    ASSERT_NE(welcome, nullptr);
    App::PressButton(welcome, IDOK);
    HWND mode = app.WaitDialog(kModeTitle);
    ASSERT_NE(mode, nullptr);
    App::PressButton(mode, IDOK);
    ASSERT_NE(app.WaitMainWindow(), nullptr);
    PostMessageW(app.Main(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(WaitFor([&] { return IsZoomed(app.Main()) != FALSE; }, 5000));
    ASSERT_TRUE(app.Close());
    EXPECT_EQ(static_cast<LONG>(Value(L"X")), kDefault);
    EXPECT_EQ(static_cast<LONG>(Value(L"Width")), kDefault);

    ASSERT_TRUE(StartReady());
    RECT rect = OuterRect(app.Main());
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_GT(rect.right - rect.left, GetSystemMetrics(SM_CXMINTRACK)) << "platform's default size";
}

TEST_F(StartupTest, SecondCopyShowsAlreadyRunningAndLeavesTheFirstAlone)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    std::wstring title = app.Title();
    App second;
    ASSERT_TRUE(second.Start());
    HWND box = second.WaitDialog(L"Ambrelle");
    ASSERT_NE(box, nullptr) << "no message from the second copy";
    EXPECT_TEXT(App::MessageText(box), L"Ambrelle は既に起動しています。");
    EXPECT_TRUE(App::MessageBoxHasIcon(box)) << "MB_ICONWARNING";
    App::PressButton(box, IDOK);
    DWORD code = 1;
    ASSERT_TRUE(second.WaitExit(5000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(second.Windows(true).empty());
    EXPECT_TRUE(app.Running());
    EXPECT_TRUE(IsWindowVisible(app.Main()));
    EXPECT_EQ(app.Title(), title);
}

TEST_F(StartupTest, NonAdministratorIsRefusedAndNothingIsWritten)
{
    ASSERT_TRUE(Sim(L"user add ippan --password Passw0rd!"));
    ASSERT_TRUE(Sim(L"session --user ippan --admin 0 --elevated 0"));
    ASSERT_TRUE(app.Start());
    HWND box = app.WaitDialog(L"Ambrelle");
    ASSERT_NE(box, nullptr) << "no refusal";
    EXPECT_TEXT(App::MessageText(box), L"Ambrelle を使用するには管理者権限が必要です。");
    EXPECT_TRUE(App::MessageBoxHasIcon(box)) << "MB_ICONWARNING";
    EXPECT_TRUE(app.NoDialog(kWelcomeCaption, 100));
    App::PressButton(box, IDOK);
    DWORD code = 1;
    ASSERT_TRUE(app.WaitExit(5000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(settings::KeyExists()) << "a refused start writes nothing";

    // So the welcome is still pending when an administrator starts it next.
    ASSERT_TRUE(Sim(L"session --user kanri --admin 1 --elevated 1"));
    ASSERT_TRUE(app.Start());
    EXPECT_NE(app.WaitDialog(kWelcomeCaption), nullptr);
}

TEST_F(StartupTest, EndOfTheLogonSessionSavesTheSettingsWhileRunning)
{
    settings::WriteAll(50, 60, 800, 600, 1, 0, 0, 0);
    ASSERT_TRUE(StartReady());
    SetWindowPos(app.Main(), nullptr, 70, 90, 820, 610, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitFor([&] { return OuterRect(app.Main()).left == 70; }, 3000));
    DWORD_PTR answer = 0;
    ASSERT_TRUE(
        SendMessageTimeoutW(app.Main(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(answer, 1u) << "the logoff may proceed";
    EXPECT_EQ(Value(L"X"), 50u) << "the query only takes the rectangle";
    ASSERT_TRUE(
        SendMessageTimeoutW(app.Main(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(Value(L"X"), 70u);
    EXPECT_EQ(Value(L"Y"), 90u);
    EXPECT_EQ(Value(L"Width"), 820u);
    EXPECT_EQ(Value(L"Height"), 610u);
    EXPECT_TRUE(app.Running());
}

TEST_F(StartupTest, RestrictedAdministratorGetsTheElevationDialogAndRefusedConsentKeepsIt)
{
    ASSERT_TRUE(Sim(L"session --user kanri --admin 1 --elevated 0"));
    ASSERT_TRUE(Sim(L"consent deny"));
    PrepareSettings();
    ASSERT_TRUE(app.Start());
    HWND dialog = app.WaitDialog(kElevationTitle);
    ASSERT_NE(dialog, nullptr) << "no elevation dialog";
    EXPECT_TEXT(App::ControlText(dialog, IDOK), L"続行(&C)");
    EXPECT_TEXT(App::ControlText(dialog, IDCANCEL), L"キャンセル");
    EXPECT_TRUE(Contains(App::ReadDialog(dialog).statics, kElevationText));
    EXPECT_NE(SendMessageW(GetDlgItem(dialog, 1000), STM_GETICON, 0, 0), 0) << "warning icon";
    EXPECT_TRUE(FindWindowsOfClass(L"Ambgui").empty()) << "the main window is not shown";

    App::PressButton(dialog, IDOK); // consent refused
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "refused consent keeps the dialog open";
    EXPECT_TRUE(app.Running());
    App::PressButton(dialog, IDOK); // asks again
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(dialog));

    // The mutex is held again: a second copy is still turned away.
    App second;
    ASSERT_TRUE(second.Start());
    HWND box = second.WaitDialog(L"Ambrelle");
    EXPECT_NE(box, nullptr);
    if (box) {
        EXPECT_TEXT(App::MessageText(box), L"Ambrelle は既に起動しています。");
    }
    second.Kill();

    App::PressButton(dialog, IDCANCEL);
    DWORD code = 1;
    ASSERT_TRUE(app.WaitExit(5000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(FindWindowsOfClass(L"Ambgui").empty());
    EXPECT_TRUE(Launches(world).empty()) << "refused consent starts nothing";
    EXPECT_EQ(Value(L"X"), 30u) << "the restricted copy saves nothing";
}

TEST_F(StartupTest, RestrictedAdministratorAcceptingConsentStartsAnElevatedCopy)
{
    ASSERT_TRUE(Sim(L"session --user kanri --admin 1 --elevated 0"));
    ASSERT_TRUE(Sim(L"consent allow"));
    PrepareSettings();
    ASSERT_TRUE(app.Start());
    HWND dialog = app.WaitDialog(kElevationTitle);
    ASSERT_NE(dialog, nullptr) << "no elevation dialog";
    App::PressButton(dialog, IDOK);

    DWORD code = 1;
    ASSERT_TRUE(app.WaitExit(10000, &code)) << "this copy ends after the relaunch";
    EXPECT_EQ(code, 0u);
    std::vector<std::pair<HWND, DWORD>> copies;
    WaitFor([&] { return !(copies = FindWindowsOfClass(L"Ambgui")).empty(); }, 15000);
    // Every copy that came up is taken over, so that it ends with the test.
    std::vector<std::unique_ptr<App>> started;
    for (const auto& copy : copies) {
        started.emplace_back(new App());
        started.back()->Attach(copy.second);
    }
    ASSERT_EQ(copies.size(), 1u) << "exactly one elevated copy comes up";
    App& elevated = *started[0];
    ASSERT_NE(elevated.WaitMainWindow(), nullptr);
    EXPECT_TEXT(elevated.Title(), L"Ambrelle - ローカル コンピュータ");
    EXPECT_TRUE(elevated.NoDialog(kElevationTitle, 300)) << "the new copy runs elevated";
    EXPECT_TRUE(elevated.Close());

    nlohmann::json launches = Launches(world);
    ASSERT_EQ(launches.size(), 1u) << launches.dump();
    EXPECT_EQ(launches[0].value("via", ""), "ShellExecuteW RunAs");
    EXPECT_TRUE(launches[0].value("elevated", false));
    std::string program = launches[0].value("program", "");
    EXPECT_EQ(launches[0].value("commandLine", ""), "\"" + program + "\"")
        << "the program path and no arguments";
    std::wstring expected = App::SimAmbguiPath();
    EXPECT_EQ(CompareStringOrdinal(Wide(program).c_str(), -1, expected.c_str(), -1, TRUE),
              CSTR_EQUAL)
        << program << " vs " << Narrow(expected);
}

TEST_F(StartupTest, RenamedAdministratorsGroupIsAccepted)
{
    // Membership counts by the group's well-known identifier (S-1-5-32-544),
    // so a localized or renamed administrators group still lets its members in.
    ASSERT_TRUE(Sim(L"group rename Administrators 管理者"));
    PrepareSettings();
    ASSERT_TRUE(app.Start());
    ASSERT_NE(app.WaitMainWindow(), nullptr) << "a member of the renamed group was refused";
    EXPECT_EQ(app.FindDialog(L"Ambrelle"), nullptr);
    EXPECT_TEXT(app.Title(), L"Ambrelle - ローカル コンピュータ");
}

} // namespace
} // namespace ambtest
