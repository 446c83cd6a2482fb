// Switching the operating mode from the menu, and the About box.
#include "ambgui_fixture.h"
#include "world_state.h"

namespace ambtest {
namespace {

const int kToolsPopup = 2;

class ModeTest : public AmbguiTest
{
protected:
    // Chooses a mode in the operating-mode dialog and presses OK (or Cancel).
    void ChooseMode(int radio, int button = IDOK)
    {
        app.Command(kOperatingMode);
        HWND mode = app.WaitDialog(L"動作モードの選択");
        ASSERT_NE(mode, nullptr);
        App::Tick(mode, radio, true);
        App::PressButton(mode, button);
        ASSERT_TRUE(App::WaitGone(mode));
        app.Settle();
    }

    // Where the remote-management item stands in "ツールと表示(&T)", and how often.
    void ExpectRemoteCommand(bool shown)
    {
        std::vector<App::MenuItem> tools = app.MenuBarPopup(kToolsPopup);
        int count = 0;
        for (const App::MenuItem& item : tools)
            count += item.id == kRemote ? 1 : 0;
        EXPECT_EQ(count, shown ? 1 : 0) << "remote-management items in the tools menu";
        if (shown) {
            ASSERT_FALSE(tools.empty());
            EXPECT_EQ(tools[0].id, static_cast<UINT>(kRemote)) << "at the top";
            EXPECT_TEXT(tools[0].text, L"リモート管理(&R)");
            EXPECT_EQ(tools[1].id, static_cast<UINT>(kOperatingMode));
        }
        int hidden = shown ? 0 : TBSTATE_HIDDEN;
        EXPECT_EQ(app.ToolbarState(kRemote) & TBSTATE_HIDDEN, hidden);
        EXPECT_EQ(app.ToolbarState(2048) & TBSTATE_HIDDEN, hidden);
        if (shown) {
            EXPECT_NE(app.ToolbarState(kRemote) & TBSTATE_ENABLED, 0);
        }
        ExpectListBelowToolbar();
    }

    // The account list starts 2 pixels below the toolbar, whatever its height.
    void ExpectListBelowToolbar()
    {
        RECT toolbar = {};
        RECT list = {};
        GetClientRect(app.Toolbar(), &toolbar);
        GetWindowRect(app.AccountList(), &list);
        MapWindowPoints(nullptr, app.Main(), reinterpret_cast<POINT*>(&list), 2);
        EXPECT_EQ(list.top, toolbar.bottom + 2);
    }
};

TEST_F(ModeTest, PersonalAndBackTwiceKeepsExactlyOneRemoteItem)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    ExpectRemoteCommand(true);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ChooseMode(1000);
        ExpectRemoteCommand(false);
        ChooseMode(1001);
        ExpectRemoteCommand(true);
    }
    // Cancel changes no mode, and the menu still holds the item once.
    ChooseMode(1000, IDCANCEL);
    ExpectRemoteCommand(true);
    EXPECT_TRUE(app.NoDialog(L"動作モード切替確認", 300));

    ASSERT_TRUE(app.Close());
    DWORD advanced = 0;
    ASSERT_TRUE(settings::GetDword(L"Advanced", &advanced));
    EXPECT_EQ(advanced, 1u);
}

// Leaving a remote computer is part of the way to personal mode: the question,
// No keeping the dialog open, Yes going back to the local computer; the menu
// then follows the mode whichever way it went.
TEST_F(ModeTest, PersonalModeFromARemoteTargetAsksAndReturnsToTheLocalComputer)
{
    ASSERT_TRUE(AddComputer(L"SRV02"));
    ASSERT_TRUE(Sim(L"user add remoteonly --computer SRV02"));
    StartOnRemote(L"SRV02");
    if (IsSkipped() || HasFatalFailure())
        return;
    ASSERT_TRUE(Listed(L"remoteonly"));

    app.Command(kOperatingMode);
    HWND mode = app.WaitDialog(L"動作モードの選択");
    ASSERT_NE(mode, nullptr);
    App::Tick(mode, 1000, true);
    App::PressButton(mode, IDOK);
    HWND question = app.WaitDialog(L"動作モード切替確認");
    ASSERT_NE(question, nullptr);
    App::PressButton(question, IDNO);
    ASSERT_TRUE(App::WaitGone(question));
    Sleep(200);
    ASSERT_TRUE(IsWindowVisible(mode)) << "No keeps the dialog open";
    App::PressButton(mode, IDOK);
    question = app.WaitDialog(L"動作モード切替確認");
    ASSERT_NE(question, nullptr);
    App::PressButton(question, IDYES);
    ASSERT_TRUE(App::WaitGone(mode));
    app.Settle();
    EXPECT_TEXT(app.Title(), L"Ambrelle - ローカル コンピュータ");
    EXPECT_FALSE(Listed(L"remoteonly"));
    EXPECT_TRUE(Listed(L"kanri"));
    ExpectRemoteCommand(false);

    // Back in advanced mode the command returns once; the target stays local.
    ChooseMode(1001);
    ExpectRemoteCommand(true);
    EXPECT_TEXT(app.Title(), L"Ambrelle - ローカル コンピュータ");
}

class AboutTest : public AmbguiTest
{
protected:
    HWND OpenAbout()
    {
        app.Command(kAbout);
        HWND about = app.WaitDialog(L"バージョン情報");
        EXPECT_NE(about, nullptr);
        return about;
    }

    // Presses a button that opens something; a failure shows `failure`.
    void PressOpener(HWND about, int button, const wchar_t* failure)
    {
        App::PressButton(about, button);
        if (failure != nullptr) {
            HWND box = app.WaitDialog(L"Ambrelle", 5000);
            ASSERT_NE(box, nullptr) << "no failure message";
            EXPECT_TEXT(App::MessageText(box), failure);
            App::PressButton(box, IDOK);
            ASSERT_TRUE(App::WaitGone(box));
        } else {
            EXPECT_TRUE(app.NoDialog(L"Ambrelle", 600));
        }
        app.Settle();
        EXPECT_TRUE(IsWindowVisible(about)) << "the About box stays open";
    }

    std::wstring Opened()
    {
        cmdtest::WorldState state(world);
        EXPECT_TRUE(state.Ok());
        return state.Opened();
    }
};

const wchar_t kWebSite[] = L"https://www.dunmarrow.example/ambrelle/";
const wchar_t kMail[] = L"mailto:support@dunmarrow.example";
const wchar_t kWebFailure[] = L"Web サイトをブラウザで開くことができませんでした。";
const wchar_t kMailFailure[] = L"メール作成画面を開くことができませんでした。";

TEST_F(AboutTest, ShowsNameVersionRightsAndPlatformFromTheVersionResource)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_TEXT(App::ControlText(about, 1001), L"Ambrelle");
    EXPECT_TEXT(App::ControlText(about, 1002), L"Version 1.10 (1.10.2014.102)");
    EXPECT_TEXT(App::ControlText(about, 1003),
                L"Copyright (C) 2014-2026 Dunmarrow. All rights reserved.");
    EXPECT_TEXT(App::ControlText(about, 1004), L"このプログラムは 64 ビット版 (x64) です。");
    EXPECT_TEXT(App::ControlText(about, 1005), L"Web サイト(&W)");
    EXPECT_TEXT(App::ControlText(about, 1006), L"メール(&M)");
    EXPECT_TEXT(App::ControlText(about, IDOK), L"OK");
    RECT icon = {};
    GetClientRect(GetDlgItem(about, 1000), &icon);
    EXPECT_EQ(icon.right, 48);
    EXPECT_EQ(icon.bottom, 48);
    SaveScreenshotPng(ShotPath(L"ambgui_about.png"), about);

    App::PressButton(about, IDOK);
    EXPECT_TRUE(App::WaitGone(about));
    EXPECT_EQ(Opened(), L"") << "nothing was opened";
}

TEST_F(AboutTest, WebAndMailButtonsOpenTheMakersAddressesOrSayTheyCannot)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);

    PressOpener(about, 1005, nullptr);
    PressOpener(about, 1006, nullptr);
    EXPECT_TEXT(Opened(), std::wstring(kWebSite) + L"\n" + kMail + L"\n");

    // No program answers for the address...
    ASSERT_TRUE(Sim(L"open fail"));
    PressOpener(about, 1005, kWebFailure);
    PressOpener(about, 1006, kMailFailure);
    // ...or ShellExecuteW itself fails.
    ASSERT_TRUE(Sim(L"open succeed"));
    ASSERT_TRUE(Sim(L"fail ShellExecuteW 2"));
    PressOpener(about, 1005, kWebFailure);
    ASSERT_TRUE(Sim(L"fail ShellExecuteW 5"));
    PressOpener(about, 1006, kMailFailure);

    App::PressButton(about, IDOK);
    EXPECT_TRUE(App::WaitGone(about));
}

TEST_F(AboutTest, EscAndTheCloseBoxEndItLikeOk)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    app.PressKey(VK_ESCAPE, GetDlgItem(about, IDOK));
    EXPECT_TRUE(App::WaitGone(about));

    about = OpenAbout();
    ASSERT_NE(about, nullptr);
    PostMessageW(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(App::WaitGone(about));
    app.Settle();
    EXPECT_EQ(WaitAnyDialog(300), nullptr);
    EXPECT_TRUE(app.Running());
}

// A started path one character longer than the program's path buffer. Cut, it
// would name `cutPath`, a copy of Ambcmd with a version resource of its own.
class LongPathTest : public AboutTest
{
protected:
    void SetUp() override
    {
        AboutTest::SetUp();
        std::wstring folder = world.Dir() + L"\\";
        while (folder.size() < 200)
            folder += std::wstring(std::min<size_t>(60, 200 - folder.size()), L'p') + L"\\";
        for (size_t at = world.Dir().size() + 1; at < folder.size(); ++at)
            if (folder[at] == L'\\')
                CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
        cutPath = folder + std::wstring(259 - folder.size() - 4, L'c') + L".exe";
        ASSERT_TRUE(
            CopyFileW((guidriver::SimBinDir() + L"\\Ambcmd.exe").c_str(), cutPath.c_str(), FALSE));
    }

    bool StartWithLongPath()
    {
        std::wstring path = guidriver::SimBinDir() + L"\\Ambgui.exe";
        std::wstring commandLine = L"\"" + cutPath + L"x\"";
        std::wstring desktop = guidriver::TestDesktopName();
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!desktop.empty())
            startup.lpDesktop = &desktop[0];
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
            return false;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return app.Attach(process.dwProcessId);
    }

    std::wstring cutPath;
};

TEST_F(LongPathTest, APathThatDoesNotFitIsNeitherStartedNorRead)
{
    PrepareSettings();
    // The elevation dialog treats it as a failed start: it stays open, nothing starts.
    ASSERT_TRUE(Sim(L"session --user kanri --admin 1 --elevated 0"));
    ASSERT_TRUE(Sim(L"consent allow"));
    ASSERT_TRUE(StartWithLongPath());
    HWND elevation = app.WaitDialog(L"管理者への昇格が必要です");
    ASSERT_NE(elevation, nullptr);
    App::PressButton(elevation, IDOK);
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(elevation));
    std::wstring dump;
    ASSERT_TRUE(world.Run(L"dump", &dump));
    EXPECT_EQ(dump.find(L"ShellExecuteW RunAs"), std::wstring::npos) << "nothing was started";
    App::PressButton(elevation, IDCANCEL);
    ASSERT_TRUE(app.WaitExit(5000));

    // The About box reads no version resource from it.
    ASSERT_TRUE(Sim(L"session --user kanri --admin 1 --elevated 1"));
    ASSERT_TRUE(StartWithLongPath());
    ASSERT_NE(app.WaitMainWindow(), nullptr);
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_TEXT(App::ControlText(about, 1001), L"");
    EXPECT_TEXT(App::ControlText(about, 1003), L"");
    App::PressButton(about, IDOK);
    EXPECT_TRUE(App::WaitGone(about));
}

} // namespace
} // namespace ambtest
