// HtmlHelpW for the program: loads the HTML Help control (hhctrl.ocx) on first
// use, as the platform's static HTML Help library does, so that the program
// starts and runs without help when the control is not installed. Every call
// then returns 0. The control comes from the system folder only: the program
// may run elevated, and a file of that name planted beside it must not load.
#include <windows.h>
#include <htmlhelp.h>

namespace {
using HtmlHelpWFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

HtmlHelpWFunction LoadHtmlHelpControl()
{
    static bool attempted = false;
    static HtmlHelpWFunction function = nullptr;
    if (!attempted) {
        attempted = true;
        HMODULE control = LoadLibraryExW(L"hhctrl.ocx", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (control != nullptr)
            function = reinterpret_cast<HtmlHelpWFunction>(
                reinterpret_cast<void*>(GetProcAddress(control, "HtmlHelpW")));
    }
    return function;
}
} // namespace

HWND WINAPI HtmlHelpW(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data)
{
    HtmlHelpWFunction function = LoadHtmlHelpControl();
    if (function == nullptr)
        return nullptr;
    return function(caller, file, command, data);
}
