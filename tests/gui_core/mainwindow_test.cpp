// The main window built in-process over a simulated computer: saved view,
// command states by selection, view and mode, the built-in toggle, closing,
// the administrator check, and the speed of a refresh.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <lm.h>

#include <cstdio>
#include <string>

#include "accountlist.h"
#include "callcount.h"
#include "core_world.h"
#include "globals.h"
#include "mainwindow.h"
#include "resource.h"

namespace {
const wchar_t TestClass[] = L"AmbguiCoreTestWindow";

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = MainWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszMenuName = MAKEINTRESOURCEW(IDM_MAIN);
        windowClass.lpszClassName = TestClass;
        RegisterClassExW(&windowClass);
    }

    void TearDown() override
    {
        if (window_ != nullptr && IsWindow(window_))
            SendMessageW(window_, WM_CLOSE, 0, 0);
        UnregisterClassW(TestClass, GetModuleHandleW(nullptr));
        FreeAmbguiGlobals();
    }

    void Open()
    {
        window_ = CreateWindowExW(0, TestClass, L"Ambrelle",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 50, 60,
                                  700, 500, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        DWORD error = GetLastError();
        int restricted = -1;
        int administrator = IsAdministratorMember(&restricted);
        ASSERT_NE(nullptr, window_) << "error " << error << ", administrator " << administrator
                                    << ", restricted " << restricted;
        ShowWindow(window_, SW_SHOWNORMAL);
    }

    HWND List()
    {
        return GetDlgItem(window_, IDC_ACCOUNT_LIST);
    }
    HWND Details()
    {
        return GetDlgItem(window_, IDC_DETAILS_LIST);
    }
    bool Grayed(int command)
    {
        return (GetMenuState(GetMenu(window_), command, MF_BYCOMMAND) & MF_GRAYED) != 0;
    }
    bool Checked(int command)
    {
        return (GetMenuState(GetMenu(window_), command, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    bool Present(int command)
    {
        return GetMenuState(GetMenu(window_), command, MF_BYCOMMAND) != static_cast<UINT>(-1);
    }
    LRESULT Button(int command)
    {
        return SendMessageW(GetDlgItem(window_, IDC_MAIN_TOOLBAR), TB_GETSTATE, command, 0);
    }
    void Command(int command)
    {
        SendMessageW(window_, WM_COMMAND, command, 0);
    }
    int RowOf(const wchar_t* name)
    {
        LVFINDINFOW find = {};
        find.flags = LVFI_STRING;
        find.psz = name;
        return static_cast<int>(
            SendMessageW(List(), LVM_FINDITEMW, static_cast<WPARAM>(-1), (LPARAM)&find));
    }
    void Select(int row, bool selected = true)
    {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = selected ? item.stateMask : 0;
        SendMessageW(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
    int Rows(HWND list)
    {
        return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    }
    std::wstring Title()
    {
        wchar_t title[256] = {};
        GetWindowTextW(window_, title, 256);
        return title;
    }

    CoreWorld world_;
    HWND window_ = nullptr;
};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}
} // namespace

TEST_F(MainWindowTest, OpensWithTheSavedViewAndPersonalModeCommands)
{
    ASSERT_TRUE(world_.Sim(L"group add Staff"));
    AppSettings.View = 1;
    Open();
    EXPECT_EQ(L"Ambrelle - ローカル コンピュータ", Title());
    EXPECT_EQ(1, Rows(List()));
    EXPECT_EQ(0, RowOf(L"kanri"));
    EXPECT_TRUE(Checked(CMD_VIEW_USERS));
    EXPECT_FALSE(Checked(CMD_VIEW_ALL));
    EXPECT_EQ(TBSTATE_ENABLED | TBSTATE_CHECKED, Button(CMD_VIEW_USERS));
    EXPECT_EQ(TBSTATE_ENABLED, Button(CMD_VIEW_ALL));
    EXPECT_FALSE(Grayed(CMD_ADD_USER));
    EXPECT_TRUE(Grayed(CMD_ADD_GROUP));
    EXPECT_EQ(0, Button(CMD_ADD_GROUP));
    for (int command :
         {CMD_USER_SETTINGS, CMD_DELETE_USER, CMD_GROUP_SETTINGS, CMD_DELETE_GROUP, CMD_RENAME})
        EXPECT_TRUE(Grayed(command)) << command;
    EXPECT_EQ(0, Button(CMD_USER_SETTINGS));
    // Personal mode: no remote management anywhere, no policy.
    EXPECT_FALSE(Present(CMD_REMOTE));
    EXPECT_FALSE(Present(CMD_POLICY));
    EXPECT_EQ(TBSTATE_HIDDEN, Button(CMD_REMOTE));
    EXPECT_EQ(TBSTATE_HIDDEN, Button(CMD_REMOTE_SEPARATOR));
    EXPECT_FALSE(Checked(CMD_SHOW_BUILTIN));

    Command(CMD_VIEW_GROUPS);
    EXPECT_EQ(1, Rows(List()));
    EXPECT_EQ(0, RowOf(L"Staff"));
    EXPECT_TRUE(Grayed(CMD_ADD_USER));
    EXPECT_FALSE(Grayed(CMD_ADD_GROUP));
    EXPECT_EQ(2, AppSettings.View);
}

TEST_F(MainWindowTest, SelectionDrivesDetailsAndCommandStates)
{
    ASSERT_TRUE(world_.Sim(L"group add Staff --comment \"班\""));
    AppSettings.Advanced = 1;
    Open();
    EXPECT_TRUE(Present(CMD_REMOTE));
    EXPECT_TRUE(Present(CMD_POLICY));
    EXPECT_EQ(TBSTATE_ENABLED, Button(CMD_REMOTE));

    Select(RowOf(L"Staff"));
    EXPECT_EQ(4, Rows(Details()));
    EXPECT_TRUE(Grayed(CMD_USER_SETTINGS));
    EXPECT_TRUE(Grayed(CMD_DELETE_USER));
    EXPECT_FALSE(Grayed(CMD_GROUP_SETTINGS));
    EXPECT_FALSE(Grayed(CMD_DELETE_GROUP));
    EXPECT_FALSE(Grayed(CMD_RENAME));
    EXPECT_EQ(TBSTATE_ENABLED, Button(CMD_DELETE_GROUP));
    EXPECT_EQ(0, Button(CMD_DELETE_USER));

    Select(RowOf(L"kanri"));
    EXPECT_EQ(14, Rows(Details()));
    EXPECT_FALSE(Grayed(CMD_USER_SETTINGS));
    EXPECT_TRUE(Grayed(CMD_GROUP_SETTINGS));
    EXPECT_EQ(TBSTATE_ENABLED, Button(CMD_USER_SETTINGS));
    EXPECT_EQ(0, Button(CMD_GROUP_SETTINGS));

    Select(RowOf(L"kanri"), false);
    EXPECT_EQ(0, Rows(Details()));
    for (int command :
         {CMD_USER_SETTINGS, CMD_DELETE_USER, CMD_GROUP_SETTINGS, CMD_DELETE_GROUP, CMD_RENAME})
        EXPECT_TRUE(Grayed(command)) << command;

    Select(RowOf(L"Staff"));
    Command(CMD_REFRESH);
    EXPECT_EQ(0, Rows(Details()));
    EXPECT_TRUE(Grayed(CMD_RENAME));
}

TEST_F(MainWindowTest, ReportCommandWaitsForTheListAndALongGroupNameIsReadWhole)
{
    // A 256-character group and its namesake of the first 255 characters.
    std::wstring longName(256, L'g');
    ASSERT_TRUE(world_.Sim(L"group add " + longName + L" --comment whole"));
    ASSERT_TRUE(world_.Sim(L"group add " + longName.substr(0, 255) + L" --comment prefix"));
    AppSettings.View = 3;
    Open();
    HMENU file = GetSubMenu(GetMenu(window_), 0);
    ASSERT_EQ(5, GetMenuItemCount(file));
    EXPECT_EQ(static_cast<UINT>(CMD_SAVE_REPORT), GetMenuItemID(file, 0));
    EXPECT_EQ(static_cast<UINT>(CMD_IMPORT), GetMenuItemID(file, 1));
    EXPECT_EQ(static_cast<UINT>(CMD_OPEN_VAULT), GetMenuItemID(file, 2));
    EXPECT_EQ(MF_SEPARATOR, GetMenuState(file, 3, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(static_cast<UINT>(CMD_EXIT), GetMenuItemID(file, 4));
    EXPECT_FALSE(Grayed(CMD_OPEN_VAULT)) << "the vault does not need the list";
    EXPECT_TRUE(Grayed(CMD_SAVE_REPORT)) << "no list read yet";
    EXPECT_FALSE(Grayed(CMD_IMPORT)) << "the import does not need the list";
    Command(CMD_VIEW_GROUPS);
    EXPECT_FALSE(Grayed(CMD_SAVE_REPORT));

    Select(RowOf(longName.c_str()));
    std::vector<ListRow> details = ReadRows(Details(), 2);
    ASSERT_EQ(4u, details.size());
    EXPECT_EQ(L"whole", details[3].cells[1]) << "the details of the selected group itself";
}

TEST_F(MainWindowTest, BuiltinToggleAndAStoredValueOfTwo)
{
    AppSettings.IsShowBuiltinAccount = 2;
    Open();
    EXPECT_GE(RowOf(L"Administrator"), 0);
    EXPECT_FALSE(Checked(CMD_SHOW_BUILTIN));
    Command(CMD_SHOW_BUILTIN);
    EXPECT_EQ(0, AppSettings.IsShowBuiltinAccount);
    EXPECT_LT(RowOf(L"Administrator"), 0);
    EXPECT_FALSE(Checked(CMD_SHOW_BUILTIN));
    Command(CMD_SHOW_BUILTIN);
    EXPECT_EQ(1, AppSettings.IsShowBuiltinAccount);
    EXPECT_GE(RowOf(L"Administrators"), 0);
    EXPECT_TRUE(Checked(CMD_SHOW_BUILTIN));
}

TEST_F(MainWindowTest, UnknownStoredViewLeavesTheListEmpty)
{
    AppSettings.View = 3;
    Open();
    EXPECT_EQ(0, Rows(List()));
    EXPECT_FALSE(Checked(CMD_VIEW_ALL) || Checked(CMD_VIEW_USERS) || Checked(CMD_VIEW_GROUPS));
    Command(CMD_REFRESH);
    EXPECT_EQ(0, Rows(List()));
    Command(CMD_VIEW_ALL);
    EXPECT_GE(RowOf(L"kanri"), 0);
}

// The policy item follows the mode item.
TEST_F(MainWindowTest, RemoteCommandIsInsertedOnceAtTheTopOfTheToolsMenu)
{
    Open();
    HMENU tools = GetSubMenu(GetMenu(window_), 2);
    int personalCount = GetMenuItemCount(tools);
    ShowRemoteCommand(window_, true);
    ShowRemoteCommand(window_, true);
    EXPECT_EQ(personalCount + 2, GetMenuItemCount(tools));
    EXPECT_EQ(static_cast<UINT>(CMD_REMOTE), GetMenuItemID(tools, 0));
    EXPECT_EQ(static_cast<UINT>(CMD_POLICY), GetMenuItemID(tools, 2));
    EXPECT_EQ(TBSTATE_ENABLED, Button(CMD_REMOTE));
    ShowRemoteCommand(window_, false);
    EXPECT_EQ(personalCount, GetMenuItemCount(tools));
    EXPECT_EQ(TBSTATE_HIDDEN, Button(CMD_REMOTE_SEPARATOR));
}

TEST_F(MainWindowTest, ClosingKeepsTheRectangleUnlessMaximized)
{
    Open();
    RECT rect;
    GetWindowRect(window_, &rect);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(rect.left, AppSettings.X);
    EXPECT_EQ(rect.top, AppSettings.Y);
    EXPECT_EQ(rect.right - rect.left, AppSettings.Width);
    EXPECT_EQ(rect.bottom - rect.top, AppSettings.Height);

    AppSettings.X = AppSettings.Y = 7;
    Open();
    ShowWindow(window_, SW_MAXIMIZE);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(7, AppSettings.X);
    EXPECT_EQ(7, AppSettings.Y);
}

TEST_F(MainWindowTest, LayoutKeepsAFixedDetailsPane)
{
    Open();
    SendMessageW(window_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 600));
    RECT details;
    GetWindowRect(Details(), &details);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&details), 2);
    EXPECT_EQ(600 - 238, details.top);
    EXPECT_EQ(238, details.bottom - details.top);
    RECT list;
    GetWindowRect(List(), &list);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&list), 2);
    EXPECT_EQ(details.top - 4, list.bottom);
}

int ColumnWidth(HWND list, int column)
{
    return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

int ImageSize(HIMAGELIST images)
{
    int cx = 0, cy = 0;
    return images != nullptr && ImageList_GetIconSize(images, &cx, &cy) && cx == cy ? cx : -1;
}

// Moved to a monitor of 150 % and back: the window takes the rectangle it is
// given, its columns, icons and details pane follow the scale, and what it keeps
// for the settings stays in 96-DPI units.
TEST_F(MainWindowTest, ScaleChangeRescalesColumnsIconsAndLayout)
{
    Open();
    HWND toolbar = GetDlgItem(window_, IDC_MAIN_TOOLBAR);
    const int accountWidths[] = {200, 96, 256, 256};
    const int detailWidths[] = {200, 512};
    struct Step
    {
        UINT dpi;
        RECT rect;
        int icon;
    };
    const Step steps[] = {{144, {40, 50, 40 + 1050, 50 + 900}, 24},
                          {192, {10, 20, 10 + 1200, 20 + 1000}, 32},
                          {96, {30, 20, 30 + 700, 20 + 600}, 16}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.dpi);
        SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(step.dpi, step.dpi),
                     reinterpret_cast<LPARAM>(&step.rect));
        RECT rect;
        GetWindowRect(window_, &rect);
        EXPECT_TRUE(EqualRect(&rect, &step.rect));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(MulDiv(accountWidths[i], step.dpi, 96), ColumnWidth(List(), i));
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(MulDiv(detailWidths[i], step.dpi, 96), ColumnWidth(Details(), i));
        EXPECT_EQ(step.icon, ImageSize(reinterpret_cast<HIMAGELIST>(
                                 SendMessageW(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0))));
        EXPECT_EQ(step.icon, ImageSize(reinterpret_cast<HIMAGELIST>(
                                 SendMessageW(toolbar, TB_GETIMAGELIST, 0, 0))));
        RECT details;
        GetWindowRect(Details(), &details);
        EXPECT_EQ(MulDiv(238, step.dpi, 96), details.bottom - details.top);
    }

    const RECT large = {40, 50, 40 + 1050, 50 + 900};
    SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&large));
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(40, AppSettings.X); // the position follows the system's scale (96 here)
    EXPECT_EQ(50, AppSettings.Y);
    EXPECT_EQ(700, AppSettings.Width);
    EXPECT_EQ(600, AppSettings.Height);
}

TEST_F(MainWindowTest, SavedSizesAreIn96DpiUnits)
{
    EXPECT_EQ(static_cast<int>(CW_USEDEFAULT), SettingInPixels(CW_USEDEFAULT, 144));
    EXPECT_EQ(1050, SettingInPixels(700, 144));
    EXPECT_EQ(700, SettingInPixels(700, 96));
    EXPECT_EQ(1400, SettingInPixels(700, 192));
    EXPECT_EQ(0, SettingInPixels(0, 144));
}

TEST_F(MainWindowTest, AdministratorCheckFollowsMembershipAndToken)
{
    int restricted = -1;
    EXPECT_EQ(1, IsAdministratorMember(&restricted));
    EXPECT_EQ(0, restricted);

    ASSERT_TRUE(world_.Sim(L"session --user kanri --admin 1 --elevated 0"));
    restricted = -1;
    EXPECT_EQ(1, IsAdministratorMember(&restricted));
    EXPECT_EQ(1, restricted);

    // Someone outside the administrators group is refused whatever the token says.
    ASSERT_TRUE(world_.Sim(L"user add plain"));
    ASSERT_TRUE(world_.Sim(L"session --user plain --admin 0 --elevated 0"));
    EXPECT_EQ(0, IsAdministratorMember(nullptr));
}

// Windows makes these administrators without a local name a membership lookup
// of the bare user name would find.
TEST_F(MainWindowTest, DomainAdminsAndEntraRoleMembersAreAdministrators)
{
    const wchar_t kRole[] = L"S-1-12-1-2935245824-1294732452-2519542191-3411468211";
    // The Entra world holds this role (Global Administrator) in Administrators.
    for (const wchar_t* step : {L"reset --entra", L"computer add DC1", L"domain add CORP --dc DC1",
                                L"user add boss --domain CORP",
                                L"member add \"Domain Admins\" boss --domain CORP",
                                L"computer set AMBPC01 --join CORP", L"user add plain"})
        ASSERT_TRUE(world_.Sim(step));
    ASSERT_TRUE(world_.Sim(L"session --user CORP\\boss --admin 1 --elevated 1"));
    int restricted = -1;
    EXPECT_EQ(1, IsAdministratorMember(&restricted));
    EXPECT_EQ(0, restricted);
    ASSERT_TRUE(world_.Sim(std::wstring(L"session --user plain --elevated 0 --token-sid ") + kRole));
    restricted = -1;
    EXPECT_EQ(1, IsAdministratorMember(&restricted));
    EXPECT_EQ(1, restricted) << "offered elevation";
    ASSERT_TRUE(world_.Sim(L"session --user plain --elevated 1 --token-sid S-1-12-1-1-2-3-4"));
    EXPECT_EQ(0, IsAdministratorMember(nullptr)) << "a role that is not an administrator";
}

TEST_F(MainWindowTest, AdministratorsGroupIsRecognisedUnderALocalizedName)
{
    ASSERT_TRUE(world_.Sim(L"group rename Administrators Administratoren"));
    int restricted = -1;
    EXPECT_EQ(1, IsAdministratorMember(&restricted));
    EXPECT_EQ(0, restricted);
    // A group merely named "Administrators" does not make its members administrators.
    ASSERT_TRUE(world_.Sim(L"user add plain"));
    ASSERT_TRUE(world_.Sim(L"group add Administrators"));
    ASSERT_TRUE(world_.Sim(L"member add Administrators plain"));
    ASSERT_TRUE(world_.Sim(L"session --user plain --admin 0 --elevated 0"));
    EXPECT_EQ(0, IsAdministratorMember(nullptr));
}

TEST_F(MainWindowTest, RefreshOfAThousandUsersAndFiftyGroups)
{
    ASSERT_TRUE(world_.Sim(L"users add-many 1000 --prefix speed"));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(world_.Sim(L"group add team" + std::to_wstring(i)));
    Open();
    LPBYTE groups = nullptr;
    DWORD groupCount = 0;
    DWORD total = 0;
    ASSERT_EQ(DWORD(NERR_Success), NetLocalGroupEnum(nullptr, 0, &groups, MAX_PREFERRED_LENGTH,
                                                     &groupCount, &total, nullptr));
    NetApiBufferFree(groups);
    ASSERT_TRUE(CountPlatformCalls());
    for (LONG shown : {0L, 1L}) {
        AppSettings.IsShowBuiltinAccount = shown;
        CallCounts() = PlatformCallCounts();
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        Command(CMD_REFRESH);
        QueryPerformanceCounter(&end);
        double ms = Milliseconds(start, end);
        int rows = Rows(List());
        const PlatformCallCounts& calls = CallCounts();
        printf("refresh with built-in accounts %s: %d rows in %.0f ms; platform calls: %ld "
               "(NetQueryDisplayInformation %ld, NetUserGetInfo %ld, LookupAccountNameW %ld, "
               "NetLocalGroupEnum %ld)\n",
               shown ? "shown" : "hidden", rows, ms, calls.Total(), calls.queryDisplay,
               calls.userGetInfo, calls.lookupName, calls.groupEnum);
        RecordProperty(shown ? "refresh_ms_builtin_shown" : "refresh_ms_builtin_hidden",
                       static_cast<int>(ms));
        // Users: one page read per 100 records and one lock-out read per row;
        // the built-in test takes the identifier from the page. Groups: one
        // enumeration and one two-step lookup each, for both the built-in test
        // and the ID column.
        long userRows = rows - (shown ? static_cast<long>(groupCount) : 50L);
        EXPECT_EQ(shown ? 1005 : 1001, userRows);
        EXPECT_EQ(11, calls.queryDisplay);
        EXPECT_EQ(userRows, calls.userGetInfo);
        EXPECT_EQ(1, calls.groupEnum);
        EXPECT_EQ(2 * static_cast<long>(groupCount), calls.lookupName);
        EXPECT_EQ(0, calls.groupGetInfo);
    }
}
