// Ambgui at a display scale of 150 % (144 DPI): the scale is the prefix's, read
// by a program when it starts, so it is set for the start of Ambgui alone and
// put back at once (these cases run with no other test beside them).
#include "ambgui_fixture.h"

namespace {

using namespace ambtest;

const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

class ScaleTest : public AmbguiTest
{
protected:
    void SetUp() override
    {
        AmbguiTest::SetUp();
        DWORD size = sizeof(previous_);
        hadValue_ = RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD,
                                 nullptr, &previous_, &size) == ERROR_SUCCESS;
    }

    void TearDown() override
    {
        RestoreScale();
        AmbguiTest::TearDown();
    }

    static bool SetScale(DWORD dpi)
    {
        return RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &dpi,
                               sizeof(dpi)) == ERROR_SUCCESS;
    }

    void RestoreScale()
    {
        if (hadValue_)
            SetScale(previous_);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }

    // Starts Ambgui at `dpi`; the scale is back to the prefix's before this returns.
    bool StartAt(DWORD dpi)
    {
        bool set = SetScale(dpi);
        bool started = set && app.Start();
        bool ready = started && app.WaitMainWindow() != nullptr;
        RestoreScale();
        return ready;
    }

    DWORD previous_ = 96;
    bool hadValue_ = false;
};

TEST_F(ScaleTest, At144DpiColumnsAndIconsAreHalfAsLargeAgainAndDetailLabelsAreWhole)
{
    ASSERT_TRUE(Sim(L"user add yamada --full-name 山田太郎 --comment 営業部の担当者"));
    PrepareSettings();
    ASSERT_TRUE(StartAt(144));
    HWND list = app.AccountList();

    const int designWidths[] = {200, 96, 256, 256};
    ASSERT_EQ(4, app.ColumnCount(list));
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(designWidths[i] * 3 / 2, app.ColumnWidth(list, i), 1) << "column " << i;

    int row = app.FindRow(list, L"yamada");
    ASSERT_GE(row, 0);
    RECT icon = {};
    ASSERT_TRUE(app.ItemRect(list, row, &icon, LVIR_ICON));
    EXPECT_NEAR(24, icon.right - icon.left, 1);
    EXPECT_NEAR(24, icon.bottom - icon.top, 1);

    ASSERT_TRUE(app.ClickRow(list, row));
    HWND details = app.DetailsList();
    int labelColumn = app.ColumnWidth(details, 0);
    EXPECT_NEAR(300, labelColumn, 1);
    std::vector<std::pair<std::wstring, std::wstring>> pairs = app.Details();
    ASSERT_GT(pairs.size(), 10u);
    int widest = 0;
    for (const auto& pair : pairs) {
        // A label shows whole with 8 pixels to spare: at 96 DPI the widest one
        // (192 pixels) shows whole in its 200-pixel column.
        int width = app.StringWidth(details, pair.first);
        ASSERT_GT(width, 0);
        EXPECT_LE(width + 8, labelColumn) << Narrow(pair.first) << " is cut";
        widest = std::max(widest, width);
    }
    std::printf("columns %d %d %d %d, icon %ldx%ld, details label column %d, widest label %d\n",
                app.ColumnWidth(list, 0), app.ColumnWidth(list, 1), app.ColumnWidth(list, 2),
                app.ColumnWidth(list, 3), icon.right - icon.left, icon.bottom - icon.top,
                labelColumn, widest);
}

} // namespace
