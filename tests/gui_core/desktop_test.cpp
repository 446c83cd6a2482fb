// The warm-up probe of the fixture "ambgui_core_desktop" (not a case of the
// suite): run until windows open on this program's desktop, since for a few
// seconds after the prefix has been booted Wine cannot open them there yet.
#include <windows.h>

#include <gtest/gtest.h>

TEST(DesktopTest, TopLevelWindowsOpen)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window) << "error " << GetLastError();
    DestroyWindow(window);
}
