// Windows open on this test's desktop. Also run first, as the fixture
// "ambgui_core_desktop", until it passes: for a few seconds after the prefix
// has been booted, Wine cannot open windows on a new desktop yet.
#include <windows.h>

#include <gtest/gtest.h>

TEST(DesktopTest, TopLevelWindowsOpen)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window) << "error " << GetLastError();
    DestroyWindow(window);
}
