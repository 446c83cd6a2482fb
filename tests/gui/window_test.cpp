// The main window's controls as created: list styles and columns, the toolbar's
// buttons, the fixed-height details pane under the list, the keyboard focus.
#include "ambgui_fixture.h"

namespace ambtest {
namespace {

using WindowTest = AmbguiTest;

RECT ClientRectOf(HWND child, HWND parent)
{
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(WindowTest, ListsToolbarAndLayout)
{
    PrepareSettings(0, 1);
    ASSERT_TRUE(StartReady());
    HWND list = app.AccountList(), details = app.DetailsList(), toolbar = app.Toolbar();
    ASSERT_NE(list, nullptr);
    ASSERT_NE(details, nullptr);
    ASSERT_NE(toolbar, nullptr);

    const LONG listStyles = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER |
                            WS_TABSTOP | WS_VISIBLE | WS_CHILD;
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
    for (HWND lv : {list, details}) {
        EXPECT_EQ(GetWindowLongW(lv, GWL_STYLE) & listStyles, listStyles);
        EXPECT_NE(GetWindowLongW(lv, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
        DWORD_PTR ex = 0;
        SendMessageTimeoutW(lv, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0, SMTO_NORMAL, 5000, &ex);
        EXPECT_EQ(ex & extended, extended);
    }

    struct Button
    {
        UINT command;
        const wchar_t* text;
    } buttons[] = {{kAddUser, L"ユーザーの追加"},
                   {kDeleteUser, L"ユーザーの削除"},
                   {kUserSettings, L"ユーザーの設定"},
                   {kAddGroup, L"グループの追加"},
                   {kDeleteGroup, L"グループの削除"},
                   {kGroupSettings, L"グループの設定"},
                   {kRemote, L"リモート管理"},
                   {kViewAll, L"すべて表示"},
                   {kViewUsers, L"ユーザーのみ表示"},
                   {kViewGroups, L"グループのみ表示"},
                   {kHelp, L"ヘルプ"}};
    for (const Button& b : buttons)
        EXPECT_TEXT(app.ToolbarButtonText(b.command), b.text) << b.command;

    // The details pane keeps 238 pixels at the bottom, 4 pixels below the list,
    // and the list starts 2 pixels below the toolbar.
    auto checkLayout = [&] {
        RECT client = {};
        GetClientRect(app.Main(), &client);
        RECT bar = {};
        GetClientRect(toolbar, &bar); // its height is the bottom of its client area
        RECT top = ClientRectOf(list, app.Main());
        RECT bottom = ClientRectOf(details, app.Main());
        EXPECT_EQ(bottom.bottom - bottom.top, 238);
        EXPECT_EQ(bottom.bottom, client.bottom);
        EXPECT_EQ(bottom.top - top.bottom, 4);
        EXPECT_EQ(top.left, 0);
        EXPECT_EQ(top.right, client.right);
        EXPECT_EQ(top.top, bar.bottom + 2);
    };
    checkLayout();
    SetWindowPos(app.Main(), nullptr, 0, 0, 760, 720, SWP_NOMOVE | SWP_NOZORDER);
    app.Settle();
    checkLayout();

    EXPECT_EQ(app.FocusedWindow(), list) << "the active window gives the focus to the list";
}

} // namespace
} // namespace ambtest
