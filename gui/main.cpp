// Ambgui: entry point, single-instance mutex, window class, process-wide state,
// persisted settings and the message loop.
#include <windows.h>
#include <htmlhelp.h>

#include <cstdlib>
#include <cwchar>

#include "dpi.h"
#include "globals.h"
#include "mainwindow.h"
#include "programpath.h"
#include "resource.h"
#include "textformat.h"

AmbguiSettings AppSettings;
LPWSTR TargetServer = nullptr;
LPWSTR HelpFilePath = nullptr;

namespace {
HANDLE InstanceMutex = nullptr;

const wchar_t SettingsKey[] = L"Software\\Dunmarrow\\Ambrelle";
const wchar_t ClassName[] = L"Ambgui";

// The settings in their registry order.
struct SettingValue
{
    const wchar_t* name;
    LONG* value;
};

const SettingValue SettingValues[] = {
    {L"X", &AppSettings.X},
    {L"Y", &AppSettings.Y},
    {L"Width", &AppSettings.Width},
    {L"Height", &AppSettings.Height},
    {L"Welcome", &AppSettings.Welcome},
    {L"IsShowBuiltinAccount", &AppSettings.IsShowBuiltinAccount},
    {L"Advanced", &AppSettings.Advanced},
    {L"View", &AppSettings.View},
};
} // namespace

LPWSTR AllocBuffer(size_t chars)
{
    return static_cast<LPWSTR>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, chars * sizeof(WCHAR)));
}

void FreeBuffer(void* buffer)
{
    if (buffer != nullptr)
        HeapFree(GetProcessHeap(), 0, buffer);
}

LPWSTR AllocServerArgument()
{
    if (TargetServer == nullptr || TargetServer[0] == L'\0')
        return nullptr;
    LPWSTR argument = AllocBuffer(NameChars);
    if (argument != nullptr)
        FormatBounded(argument, NameChars, L"\\\\%s", TargetServer);
    return argument;
}

InstanceMutexState AcquireInstanceMutex()
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Ambgui");
    if (mutex == nullptr)
        return InstanceMutexFailed;
    DWORD error = GetLastError();
    InstanceMutex = mutex;
    return error == ERROR_ALREADY_EXISTS ? InstanceMutexExists : InstanceMutexFirst;
}

void ReleaseInstanceMutex()
{
    if (InstanceMutex != nullptr) {
        CloseHandle(InstanceMutex);
        InstanceMutex = nullptr;
    }
}

namespace {
// Reads a REG_DWORD of exactly four bytes; anything else is left alone.
bool ReadDwordValue(HKEY key, const wchar_t* name, LONG* value)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD))
        return false;
    DWORD data = 0;
    size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD))
        return false;
    *value = static_cast<LONG>(data);
    return true;
}
} // namespace

int LoadSettings()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    for (const SettingValue& setting : SettingValues) {
        if (!ReadDwordValue(key, setting.name, setting.value))
            continue; // missing or of another type or size: the default stays
        // A window partly off the left or top edge comes back at the edge.
        if ((setting.value == &AppSettings.X || setting.value == &AppSettings.Y) &&
            *setting.value < 0)
            *setting.value = 0;
    }
    RegCloseKey(key);
    return 1;
}

int SaveSettings()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 0;
    for (const SettingValue& setting : SettingValues) {
        DWORD data = static_cast<DWORD>(*setting.value);
        RegSetValueExW(key, setting.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof(data));
    }
    RegCloseKey(key);
    return 1;
}

int SettingInPixels(LONG setting, UINT dpi)
{
    return setting == static_cast<LONG>(CW_USEDEFAULT) ? setting : ScaleToDpi(setting, dpi);
}

void StoreWindowRectangle(const RECT& rect, UINT systemDpi, UINT windowDpi)
{
    AppSettings.X = ScaleFromDpi(rect.left, systemDpi);
    AppSettings.Y = ScaleFromDpi(rect.top, systemDpi);
    AppSettings.Width = ScaleFromDpi(rect.right - rect.left, windowDpi);
    AppSettings.Height = ScaleFromDpi(rect.bottom - rect.top, windowDpi);
}

namespace {
ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    // 32 x 32 and 16 x 16 at 96 DPI, larger at larger display scales.
    int largeSize = ScaleToDpi(32, SystemDpi());
    int smallSize = SmallIconSize(SystemDpi());
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, largeSize, largeSize, 0));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, smallSize, smallSize, 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDM_MAIN);
    windowClass.lpszClassName = ClassName;
    ATOM atom = RegisterClassExW(&windowClass);
    if (atom == 0) {
        if (windowClass.hIcon != nullptr)
            DestroyIcon(windowClass.hIcon);
        if (windowClass.hIconSm != nullptr)
            DestroyIcon(windowClass.hIconSm);
    }
    return atom;
}

void UnregisterMainWindowClass(ATOM atom, HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    bool known = GetClassInfoExW(instance, ClassName, &windowClass) != FALSE;
    UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), instance);
    if (known) {
        if (windowClass.hIcon != nullptr)
            DestroyIcon(windowClass.hIcon);
        if (windowClass.hIconSm != nullptr && windowClass.hIconSm != windowClass.hIcon)
            DestroyIcon(windowClass.hIconSm);
    }
}

// The help file beside the program; a bare program name gives the bare
// "Ambgui.chm" (the current directory), and so does a path too long for the
// drive, folder or help-path buffers.
void BuildHelpFilePath()
{
    if (!BuildPathBesideProgram(L"Ambgui.chm", HelpFilePath, PathChars))
        FormatBounded(HelpFilePath, PathChars, L"Ambgui.chm");
}

bool InitGlobals()
{
    AppSettings.X = CW_USEDEFAULT;
    AppSettings.Y = CW_USEDEFAULT;
    AppSettings.Width = CW_USEDEFAULT;
    AppSettings.Height = CW_USEDEFAULT;
    AppSettings.Welcome = 0;
    AppSettings.IsShowBuiltinAccount = 0;
    AppSettings.Advanced = 0;
    AppSettings.View = 0;
    TargetServer = AllocBuffer(TargetServerChars);
    HelpFilePath = AllocBuffer(PathChars);
    if (TargetServer == nullptr || HelpFilePath == nullptr)
        return false;
    BuildHelpFilePath();
    return true;
}

// The window at its saved place and size. The monitor it lands on may have
// another scale than the system's: its size then follows that monitor's.
HWND CreateMainWindow(HINSTANCE instance)
{
    UINT systemDpi = SystemDpi();
    HWND window = CreateWindowExW(
        0, ClassName, L"Ambrelle", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
        SettingInPixels(AppSettings.X, systemDpi), SettingInPixels(AppSettings.Y, systemDpi),
        SettingInPixels(AppSettings.Width, systemDpi),
        SettingInPixels(AppSettings.Height, systemDpi), nullptr, nullptr, instance, nullptr);
    UINT windowDpi = window != nullptr ? DpiForWindow(window) : systemDpi;
    if (windowDpi != systemDpi && AppSettings.Width != static_cast<LONG>(CW_USEDEFAULT) &&
        AppSettings.Height != static_cast<LONG>(CW_USEDEFAULT))
        SetWindowPos(window, nullptr, 0, 0, SettingInPixels(AppSettings.Width, windowDpi),
                     SettingInPixels(AppSettings.Height, windowDpi),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return window;
}

void FreeGlobals()
{
    FreeBuffer(HelpFilePath);
    HelpFilePath = nullptr;
    FreeBuffer(TargetServer);
    TargetServer = nullptr;
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand)
{
    switch (AcquireInstanceMutex()) {
    case InstanceMutexFailed:
        MessageBoxW(nullptr, L"二重起動防止機能を初期化することができませんでした。", L"Ambrelle",
                    MB_ICONWARNING);
        return 0;
    case InstanceMutexExists:
        MessageBoxW(nullptr, L"Ambrelle は既に起動しています。", L"Ambrelle", MB_ICONWARNING);
        ReleaseInstanceMutex();
        return 0;
    case InstanceMutexFirst:
        break;
    }

    ATOM atom = RegisterMainWindowClass(instance);
    if (atom == 0) {
        ReleaseInstanceMutex();
        return 0;
    }
    if (!InitGlobals()) {
        FreeGlobals();
        UnregisterMainWindowClass(atom, instance);
        ReleaseInstanceMutex();
        return 0;
    }

    DWORD_PTR helpCookie = 0;
    HtmlHelpW(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&helpCookie));

    LoadSettings();

    HWND window = CreateMainWindow(instance);
    if (window == nullptr) {
        UnregisterMainWindowClass(atom, instance);
        FreeGlobals();
        ReleaseInstanceMutex();
        return 0;
    }

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message = {};
    // GetMessageW answers -1 on an error: that ends the loop too.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (HtmlHelpW(nullptr, nullptr, HH_PRETRANSLATEMESSAGE,
                      reinterpret_cast<DWORD_PTR>(&message)) != nullptr)
            continue;
        if (accelerators != nullptr && TranslateAcceleratorW(window, accelerators, &message))
            continue;
        if (IsDialogMessageW(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    SaveSettings();
    HtmlHelpW(nullptr, nullptr, HH_UNINITIALIZE, helpCookie);
    if (accelerators != nullptr)
        DestroyAcceleratorTable(accelerators);
    UnregisterMainWindowClass(atom, instance);
    FreeGlobals();
    ReleaseInstanceMutex();
    return static_cast<int>(message.wParam);
}
