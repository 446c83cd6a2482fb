#include "dpi.h"

namespace {
// GetDpiForWindow and GetDpiForSystem came with Windows 10 1607: looked up at
// run time so that the programs still start on earlier versions.
using DpiForWindowFunction = UINT(WINAPI*)(HWND);
using DpiForSystemFunction = UINT(WINAPI*)();

FARPROC User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
}

UINT ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : DesignDpi;
}
} // namespace

UINT SystemDpi()
{
    auto forSystem = reinterpret_cast<DpiForSystemFunction>(
        reinterpret_cast<void*>(User32Function("GetDpiForSystem")));
    UINT dpi = forSystem != nullptr ? forSystem() : 0;
    return dpi != 0 ? dpi : ScreenDpi();
}

UINT DpiForWindow(HWND window)
{
    auto forWindow = reinterpret_cast<DpiForWindowFunction>(
        reinterpret_cast<void*>(User32Function("GetDpiForWindow")));
    UINT dpi = window != nullptr && forWindow != nullptr ? forWindow(window) : 0;
    return dpi != 0 ? dpi : SystemDpi();
}

int ScaleToDpi(int designSize, UINT dpi)
{
    return MulDiv(designSize, static_cast<int>(dpi), static_cast<int>(DesignDpi));
}

int ScaleFromDpi(int pixels, UINT dpi)
{
    return dpi != 0 ? MulDiv(pixels, static_cast<int>(DesignDpi), static_cast<int>(dpi)) : pixels;
}

int RescaleDpi(int pixels, UINT fromDpi, UINT toDpi)
{
    return fromDpi != 0 ? MulDiv(pixels, static_cast<int>(toDpi), static_cast<int>(fromDpi))
                        : pixels;
}

int SmallIconSize(UINT dpi)
{
    return ScaleToDpi(16, dpi);
}
