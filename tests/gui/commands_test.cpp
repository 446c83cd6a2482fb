// Commands of the main window: availability by selection and view, keys in the
// list, mouse, the context menu, help, and the operating mode.
#include "ambgui_fixture.h"
#include "simapi.h"

#include <psapi.h>

namespace ambtest {
namespace {

class CommandTest : public AmbguiTest
{
protected:
    void SetUp() override
    {
        AmbguiTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(Sim(L"user add hanako --full-name 山田花子"));
        ASSERT_TRUE(Sim(L"group add keiri --comment 経理部"));
    }

    // Menu item and toolbar button of a command are both enabled or both not.
    void ExpectEnabled(UINT command, bool enabled, bool hasButton = true)
    {
        EXPECT_EQ(!app.MenuGrayed(command), enabled) << "menu " << command;
        if (hasButton) {
            EXPECT_EQ(app.ToolbarState(command) == TBSTATE_ENABLED ||
                          app.ToolbarState(command) == (TBSTATE_ENABLED | TBSTATE_CHECKED),
                      enabled)
                << "toolbar " << command << " state " << app.ToolbarState(command);
        }
    }

    void ExpectSelectionCommands(bool user, bool group)
    {
        ExpectEnabled(kUserSettings, user);
        ExpectEnabled(kDeleteUser, user);
        ExpectEnabled(kGroupSettings, group);
        ExpectEnabled(kDeleteGroup, group);
        ExpectEnabled(kRename, user || group, false);
    }

    int RowOf(const wchar_t* name) const
    {
        return app.FindRow(app.AccountList(), name);
    }
};

TEST_F(CommandTest, StatesFollowTheSelection)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    ExpectSelectionCommands(false, false);
    ExpectEnabled(kAddUser, true);
    ExpectEnabled(kAddGroup, true);
    EXPECT_EQ(app.ItemCount(app.DetailsList()), 0);

    ASSERT_TRUE(app.ClickRow(list, RowOf(L"hanako")));
    ExpectSelectionCommands(true, false);
    EXPECT_EQ(app.ItemCount(app.DetailsList()), 14);

    ASSERT_TRUE(app.ClickRow(list, RowOf(L"keiri")));
    ExpectSelectionCommands(false, true);
    EXPECT_EQ(app.ItemCount(app.DetailsList()), 4);

    ASSERT_TRUE(app.ClearSelection(list));
    ExpectSelectionCommands(false, false);
    EXPECT_EQ(app.ItemCount(app.DetailsList()), 0);
    ExpectEnabled(kAddUser, true);
}

TEST_F(CommandTest, ViewCommandsFilterTheListAndSetTheAddCommands)
{
    std::vector<std::wstring> users; // in the platform's order
    for (const auto& user : SimApi().DisplayUsers())
        if (user.second >= 1000)
            users.push_back(user.first);
    ASSERT_EQ(users.size(), 2u);
    std::vector<std::wstring> all = users;
    all.push_back(L"keiri");
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    ASSERT_TRUE(app.ClickRow(app.AccountList(), RowOf(L"hanako")));

    ASSERT_TRUE(app.ClickToolbarButton(kViewUsers));
    EXPECT_EQ(Names(), users);
    EXPECT_TRUE(app.MenuChecked(kViewUsers));
    EXPECT_FALSE(app.MenuChecked(kViewAll));
    EXPECT_EQ(app.ToolbarState(kViewUsers), TBSTATE_ENABLED | TBSTATE_CHECKED);
    EXPECT_EQ(app.ToolbarState(kViewAll), TBSTATE_ENABLED);
    ExpectEnabled(kAddUser, true);
    ExpectEnabled(kAddGroup, false);
    ExpectSelectionCommands(false, false);

    app.Command(kViewGroups);
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"keiri"});
    EXPECT_TRUE(app.MenuChecked(kViewGroups));
    ExpectEnabled(kAddUser, false);
    ExpectEnabled(kAddGroup, true);

    app.Command(kViewAll);
    EXPECT_EQ(Names(), all);
    ExpectEnabled(kAddUser, true);
    ExpectEnabled(kAddGroup, true);
    app.Command(kViewGroups);
    ASSERT_TRUE(app.Close());
    DWORD view = 9;
    ASSERT_TRUE(settings::GetDword(L"View", &view));
    EXPECT_EQ(view, 2u);
}

TEST_F(CommandTest, RefreshWithF5ReadsTheComputerAgain)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    EXPECT_FALSE(Listed(L"jiro"));
    ASSERT_TRUE(Sim(L"user add jiro"));
    EXPECT_FALSE(Listed(L"jiro")) << "nothing changes by itself";
    app.PressKey(VK_F5);
    EXPECT_TRUE(Listed(L"jiro"));
    EXPECT_EQ(Names().size(), 4u);
}

TEST_F(CommandTest, EnterDeleteAndF2DoNothingWithoutASelection)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    ASSERT_TRUE(app.SelectedItems(app.AccountList()).empty());
    app.PressKey(VK_RETURN);
    app.PressKey(VK_DELETE);
    app.PressKey(VK_F2);
    EXPECT_EQ(WaitAnyDialog(800), nullptr);
    EXPECT_TRUE(app.Running());
    EXPECT_EQ(Names().size(), 3u);
}

TEST_F(CommandTest, EnterOnAUserOrGroupOpensItsSettings)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"hanako", L"ユーザー アカウントの設定"}, {L"keiri", L"ローカル グループの設定"}};
    for (const auto& [name, title] : cases) {
        ASSERT_TRUE(app.ClickRow(list, RowOf(name)));
        app.PressKey(VK_RETURN);
        HWND dialog = WaitAnyDialog(3000);
        ASSERT_NE(dialog, nullptr) << "Enter on " << Narrow(name);
        EXPECT_TEXT(App::Text(dialog), title);
        EXPECT_EQ(app.SelectedItems(list), std::vector<int>{RowOf(name)});
        App::PressButton(dialog, IDCANCEL);
        ASSERT_TRUE(App::WaitGone(dialog));
        app.Settle();
    }
}

TEST_F(CommandTest, DeleteKeyAsksBeforeDeletingTheSelectedUserOrGroup)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    for (const wchar_t* name : {L"hanako", L"keiri"}) {
        ASSERT_TRUE(app.ClickRow(list, RowOf(name)));
        app.PressKey(VK_DELETE);
        HWND question = WaitAnyDialog();
        ASSERT_NE(question, nullptr) << "Delete on " << Narrow(name) << " starts the delete flow";
        EXPECT_NE(GetDlgItem(question, IDNO), nullptr) << "a yes/no question comes first";
        Decline(question);
        ASSERT_TRUE(App::WaitGone(question));
        app.Settle();
        EXPECT_TRUE(Listed(name)) << "declining deletes nothing";
    }
    EXPECT_TRUE(app.Running());
}

TEST_F(CommandTest, F2RenamesTheSelectedAccount)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    ASSERT_TRUE(app.ClickRow(app.AccountList(), RowOf(L"keiri")));
    EXPECT_FALSE(app.MenuGrayed(kRename)) << "one account selected: F2 is available";
    app.PressKey(VK_F2);
    HWND dialog = app.WaitDialog(L"名前の変更", 3000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TEXT(App::ControlText(dialog, 1000), L"keiri");
    EXPECT_FALSE(App::IsEnabled(dialog, IDOK)) << "OK waits for a new name";
    App::SetEditText(dialog, 1001, L"keiri2");
    App::PressButton(dialog, IDOK);
    ASSERT_TRUE(App::WaitGone(dialog));
    app.Settle();
    EXPECT_TRUE(Listed(L"keiri2"));
    EXPECT_FALSE(Listed(L"keiri"));
}

TEST_F(CommandTest, DoubleClickOpensSettingsButNotOnEmptySpace)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    ASSERT_TRUE(app.DoubleClickEmpty(list));
    EXPECT_EQ(WaitAnyDialog(800), nullptr) << "double-clicking empty space does nothing";
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"hanako", L"ユーザー アカウントの設定"}, {L"keiri", L"ローカル グループの設定"}};
    for (const auto& [name, title] : cases) {
        ASSERT_TRUE(app.DoubleClickRow(list, RowOf(name)));
        HWND dialog = WaitAnyDialog(3000);
        ASSERT_NE(dialog, nullptr) << "double click on " << Narrow(name);
        EXPECT_TEXT(App::Text(dialog), title);
        App::PressButton(dialog, IDCANCEL);
        ASSERT_TRUE(App::WaitGone(dialog));
        app.Settle();
    }
}

TEST_F(CommandTest, RightClickShowsTheAccountPopupWithTheMenuBarStates)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    for (const wchar_t* name : {L"keiri", L"hanako"}) {
        ASSERT_TRUE(app.RightClickRow(list, RowOf(name)));
        std::vector<App::MenuItem> popup;
        ASSERT_TRUE(app.WaitPopupMenu(&popup)) << "no popup for " << Narrow(name);
        app.CloseMenu();
        std::vector<App::MenuItem> bar = app.MenuBarPopup(1);
        ASSERT_EQ(popup.size(), bar.size());
        ASSERT_EQ(popup.size(), 9u);
        EXPECT_TEXT(popup[0].text, L"ユーザーの追加(&A)");
        EXPECT_EQ(popup[8].id, static_cast<UINT>(kRename));
        for (size_t i = 0; i < popup.size(); ++i) {
            EXPECT_EQ(popup[i].id, bar[i].id);
            EXPECT_EQ(popup[i].state & (MF_GRAYED | MF_DISABLED),
                      bar[i].state & (MF_GRAYED | MF_DISABLED))
                << "item " << popup[i].id;
        }
        bool group = std::wstring(name) == L"keiri";
        EXPECT_EQ((popup[1].state & MF_GRAYED) != 0, group) << "user settings";
        EXPECT_EQ((popup[5].state & MF_GRAYED) != 0, !group) << "group settings";
        EXPECT_EQ(popup[8].state & MF_GRAYED, 0u) << "rename";
    }
}

TEST_F(CommandTest, RightClickOnEmptySpaceShowsThePopupWithTheSameStates)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    ASSERT_TRUE(app.ClickRow(list, RowOf(L"hanako")));
    ASSERT_TRUE(app.RightClickEmpty(list));
    std::vector<App::MenuItem> popup;
    ASSERT_TRUE(app.WaitPopupMenu(&popup));
    app.CloseMenu();
    std::vector<App::MenuItem> bar = app.MenuBarPopup(1);
    ASSERT_EQ(popup.size(), bar.size());
    for (size_t i = 0; i < popup.size(); ++i)
        EXPECT_EQ(popup[i].state & (MF_GRAYED | MF_DISABLED),
                  bar[i].state & (MF_GRAYED | MF_DISABLED))
            << "item " << popup[i].id;
    EXPECT_TRUE(app.Running());
}

TEST_F(CommandTest, ArrowKeysMoveTheSelectionAndTheDetailsFollow)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList();
    ASSERT_TRUE(app.ClickRow(list, 0));
    std::wstring first = app.Cell(list, 0, 0);
    EXPECT_TEXT(app.Cell(app.DetailsList(), 0, 1), first);
    int group = RowOf(L"keiri");
    for (int i = 0; i < group; ++i)
        app.PressKey(VK_DOWN);
    EXPECT_EQ(app.SelectedItems(list), std::vector<int>{group});
    EXPECT_TEXT(app.DetailValue(L"グループ名"), L"keiri");
    ExpectSelectionCommands(false, true);
    app.PressKey(VK_HOME);
    EXPECT_TEXT(app.Cell(app.DetailsList(), 0, 1), first);
    ExpectSelectionCommands(true, false);
}

// A copy of the sim program in a folder of its own, so that what lies beside
// it (help file, a planted hhctrl.ocx) is the test's choice.
std::wstring CopyProgram(bool withHelpFile)
{
    std::wstring dir = MakeTempDir(L"ambhelp");
    std::vector<const wchar_t*> files = {L"Ambgui.exe", L"AmbSim.dll", L"Ambcore.dll"};
    if (withHelpFile)
        files.push_back(L"Ambgui.chm");
    for (const wchar_t* file : files)
        if (!CopyFileTo(SimBinDir() + L"\\" + file, dir + L"\\" + file)) {
            ADD_FAILURE() << "copy " << Narrow(file);
            return std::wstring();
        }
    return dir;
}

// The text of a tree-view item of the program under test, read through memory
// in its process.
std::wstring TreeItemText(HWND tree, HTREEITEM item)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process == nullptr)
        return std::wstring();
    const int chars = 256;
    char* remote = static_cast<char*>(VirtualAllocEx(
        process, nullptr, sizeof(TVITEMW) + chars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    wchar_t text[chars] = {};
    if (remote != nullptr) {
        TVITEMW query = {};
        query.mask = TVIF_TEXT;
        query.hItem = item;
        query.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(TVITEMW));
        query.cchTextMax = chars;
        if (WriteProcessMemory(process, remote, &query, sizeof query, nullptr) &&
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote)))
            ReadProcessMemory(process, remote + sizeof(TVITEMW), text,
                              (chars - 1) * sizeof(wchar_t), nullptr);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

// Where the process loaded a module of that file name from; empty if not loaded.
std::wstring LoadedModulePath(HANDLE process, const wchar_t* fileName)
{
    HMODULE modules[512] = {};
    DWORD bytes = 0;
    if (!EnumProcessModules(process, modules, sizeof modules, &bytes))
        return std::wstring();
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
        wchar_t path[MAX_PATH] = {};
        if (GetModuleFileNameExW(process, modules[i], path, MAX_PATH) == 0)
            continue;
        const wchar_t* name = wcsrchr(path, L'\\');
        if (_wcsicmp(name != nullptr ? name + 1 : path, fileName) == 0)
            return path;
    }
    return std::wstring();
}

TEST_F(CommandTest, HelpWithoutTheHelpFileSaysItCannotShowHelp)
{
    std::wstring dir = CopyProgram(false);
    ASSERT_FALSE(dir.empty());
    PrepareSettings();
    ASSERT_TRUE(app.Start(dir + L"\\Ambgui.exe"));
    ASSERT_NE(app.WaitMainWindow(), nullptr);
    app.PressKey(VK_F1);
    HWND box = app.WaitDialog(L"ヘルプ呼び出しエラー");
    ASSERT_NE(box, nullptr);
    EXPECT_TEXT(App::MessageText(box), L"ヘルプを表示できません。");
    App::PressButton(box, IDOK);
    ASSERT_TRUE(App::WaitGone(box));
    app.Command(kHelp);
    box = app.WaitDialog(L"ヘルプ呼び出しエラー");
    ASSERT_NE(box, nullptr) << "the menu command too";
    App::PressButton(box, IDOK);
    app.Kill();
    RemoveTree(dir);
}

// The help file the build places beside the program opens on its first page,
// from F1 and from the menu. An hhctrl.ocx planted beside the program (here a
// DLL without HtmlHelpW) must not be the control that is loaded.
TEST_F(CommandTest, HelpWithTheHelpFileOpensTheHelpWindow)
{
    if (!std::getenv("AMB_HELP_BUILT"))
        GTEST_SKIP() << "no CHM compiler (chmcmd) was found: the build made no help file";
    std::wstring dir = CopyProgram(true);
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(CopyFileTo(SimBinDir() + L"\\Ambcore.dll", dir + L"\\hhctrl.ocx"));
    PrepareSettings();
    ASSERT_TRUE(app.Start(dir + L"\\Ambgui.exe"));
    ASSERT_NE(app.WaitMainWindow(), nullptr);
    for (bool fromMenu : {false, true}) {
        if (fromMenu)
            app.Command(kHelp);
        else
            app.PressKey(VK_F1);
        HWND viewer = nullptr;
        WaitFor(
            [&] {
                for (const TopWindow& w : app.Windows(true))
                    if (w.className == L"HH Parent") // the HTML Help viewer
                        viewer = w.hwnd;
                return viewer != nullptr;
            },
            5000);
        EXPECT_EQ(app.FindDialog(L"ヘルプ呼び出しエラー"), nullptr) << "help was shown: no error";
        ASSERT_NE(viewer, nullptr) << (fromMenu ? "menu" : "F1") << ": a help window opens";
        // The viewer's table of contents is the help file's, its Japanese intact
        // (the viewer reads it in the file's code page): the first entry names
        // the first page.
        HWND contents = nullptr;
        EnumChildWindows(
            viewer,
            [](HWND child, LPARAM found) -> BOOL {
                wchar_t name[32] = {};
                GetClassNameW(child, name, 32);
                if (wcscmp(name, WC_TREEVIEWW) != 0)
                    return TRUE;
                *reinterpret_cast<HWND*>(found) = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&contents));
        ASSERT_NE(contents, nullptr) << "a table of contents";
        EXPECT_TEXT(TreeItemText(contents, TreeView_GetRoot(contents)), L"Ambrelle の概要");
        // Wine puts its own control in place of a file it finds, under that
        // file's path: the path tells where the program searched.
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        EXPECT_EQ(_wcsicmp(LoadedModulePath(app.Process(), L"hhctrl.ocx").c_str(),
                           (std::wstring(system) + L"\\hhctrl.ocx").c_str()),
                  0)
            << "hhctrl.ocx from " << Narrow(LoadedModulePath(app.Process(), L"hhctrl.ocx"));
        PostMessageW(viewer, WM_CLOSE, 0, 0);
        ASSERT_TRUE(App::WaitGone(viewer));
    }
    app.Kill();
    RemoveTree(dir);
}

TEST_F(CommandTest, MenuTextsAndPersonalModeHidesRemoteManagement)
{
    PrepareSettings(0, 0);
    ASSERT_TRUE(StartReady());
    EXPECT_EQ(app.MenuState(kRemote), -1);
    EXPECT_NE(app.ToolbarState(kRemote) & TBSTATE_HIDDEN, 0);
    EXPECT_NE(app.ToolbarState(2048) & TBSTATE_HIDDEN, 0);
    EXPECT_TEXT(app.MenuText(kExit), L"終了(&X)\tAlt+F4");
    EXPECT_TEXT(app.MenuText(kRefresh), L"最新の情報に更新(&R)\tF5");
    EXPECT_TEXT(app.MenuText(kRename), L"名前の変更(&M)\tF2");
    EXPECT_TEXT(app.MenuText(kHelp), L"ヘルプ(&H)\tF1");
    EXPECT_EQ(app.ToolbarButtonCount(), 15);

    // Cancel changes nothing.
    app.Command(kOperatingMode);
    HWND mode = app.WaitDialog(L"動作モードの選択");
    ASSERT_NE(mode, nullptr);
    App::Tick(mode, 1001, true);
    App::PressButton(mode, IDCANCEL);
    ASSERT_TRUE(App::WaitGone(mode));
    app.Settle();
    EXPECT_EQ(app.MenuState(kRemote), -1) << "cancelled: still personal mode";

    // Switching to advanced mode shows remote management at once.
    app.Command(kOperatingMode);
    mode = app.WaitDialog(L"動作モードの選択");
    ASSERT_NE(mode, nullptr);
    EXPECT_TRUE(App::IsChecked(mode, 1000));
    App::Tick(mode, 1001, true);
    App::PressButton(mode, IDOK);
    ASSERT_TRUE(App::WaitGone(mode));
    app.Settle();
    EXPECT_EQ(app.WaitDialog(L"動作モード切替確認", 300), nullptr) << "advanced never asks";
    EXPECT_GE(app.MenuState(kRemote), 0);
    EXPECT_TEXT(app.MenuText(kRemote), L"リモート管理(&R)");
    EXPECT_EQ(app.ToolbarState(kRemote) & TBSTATE_HIDDEN, 0);
    ASSERT_TRUE(app.Close());
    DWORD advanced = 0;
    ASSERT_TRUE(settings::GetDword(L"Advanced", &advanced));
    EXPECT_EQ(advanced, 1u);
}

TEST_F(CommandTest, PersonalModeOnTheLocalComputerAsksNothing)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    app.Command(kOperatingMode);
    HWND mode = app.WaitDialog(L"動作モードの選択");
    ASSERT_NE(mode, nullptr);
    EXPECT_TRUE(App::IsChecked(mode, 1001));
    App::Tick(mode, 1000, true);
    App::PressButton(mode, IDOK);
    EXPECT_TRUE(App::WaitGone(mode));
    EXPECT_TRUE(app.NoDialog(L"動作モード切替確認", 500));
    app.Settle();
    EXPECT_EQ(app.MenuState(kRemote), -1);
    EXPECT_NE(app.ToolbarState(kRemote) & TBSTATE_HIDDEN, 0);
    EXPECT_TEXT(app.Title(), L"Ambrelle - ローカル コンピュータ");
}

} // namespace
} // namespace ambtest
