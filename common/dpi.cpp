#include "dpi.h"

#include <commctrl.h>

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

void RescaleListColumns(HWND list, UINT fromDpi, UINT toDpi)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    int count =
        header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_MINWIDTH;
        if (!SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)))
            continue;
        column.cx = RescaleDpi(column.cx, fromDpi, toDpi);
        column.cxMin = RescaleDpi(column.cxMin, fromDpi, toDpi);
        SendMessageW(list, LVM_SETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

namespace {
// The scale a dialog's lists were last drawn at.
const wchar_t DialogDpiProperty[] = L"AmbrelleDialogDpi";
} // namespace

void NoteDialogDpi(HWND dialog, UINT dpi)
{
    SetPropW(dialog, DialogDpiProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(dpi)));
}

void RescaleDialogLists(HWND dialog, UINT dpi, const int* listIds, int count)
{
    auto previous =
        static_cast<UINT>(reinterpret_cast<UINT_PTR>(GetPropW(dialog, DialogDpiProperty)));
    for (int i = 0; i < count; ++i)
        RescaleListColumns(GetDlgItem(dialog, listIds[i]), previous != 0 ? previous : DesignDpi,
                           dpi);
    NoteDialogDpi(dialog, dpi);
}

void ForgetDialogDpi(HWND dialog)
{
    RemovePropW(dialog, DialogDpiProperty);
}
