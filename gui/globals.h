#pragma once
#include <windows.h>

// Ambgui's process-wide state. Everything runs on the UI thread; these are
// plain variables read and changed in place by the window and its dialogs.

// The eight persisted window and view settings (HKCU\Software\Dunmarrow\Ambrelle).
struct AmbguiSettings
{
    LONG X;
    LONG Y;
    LONG Width;
    LONG Height;
    LONG Welcome;              // 1 once the first-run welcome has been shown
    LONG IsShowBuiltinAccount; // nonzero: list built-in accounts too
    LONG Advanced;             // operating mode: 0 personal, nonzero advanced
    LONG View;                 // view filter: 0 users and groups, 1 users, 2 groups
};

extern AmbguiSettings AppSettings;

// Buffer sizes in WCHAR, terminator included.
constexpr size_t TargetServerChars = 64;
constexpr size_t NameChars = 256;
constexpr size_t PathChars = 260;
constexpr size_t ErrorMessageChars = 1024;
constexpr size_t MessageChars = 2048;

// The computer being managed: empty for the local computer, else the name or
// address as typed (at most 63 characters). Never persisted.
extern LPWSTR TargetServer;
// Full path of the help file beside the program.
extern LPWSTR HelpFilePath;

// Zero-filled block of `chars` WCHAR from the process heap; FreeBuffer releases it.
LPWSTR AllocBuffer(size_t chars);
void FreeBuffer(void* buffer);

// The server-name argument of the account-database calls: null for the local
// computer, else "\\" and TargetServer in a 256-WCHAR heap buffer. Free it
// with FreeBuffer (null is accepted).
LPWSTR AllocServerArgument();

enum InstanceMutexState { InstanceMutexFailed, InstanceMutexExists, InstanceMutexFirst };

// The single-instance mutex "Ambgui".
InstanceMutexState AcquireInstanceMutex();
void ReleaseInstanceMutex();

int LoadSettings();
int SaveSettings();

// X, Y, Width and Height are kept in 96-DPI units, as earlier versions stored
// them (Windows showed those at 96 DPI): a saved layout looks the same at any
// display scale. The position follows the system's DPI, the size the window's.
// A setting in pixels at `dpi`; CW_USEDEFAULT stays what it is.
int SettingInPixels(LONG setting, UINT dpi);
// Keeps the window's outer rectangle (pixels) in X, Y, Width and Height.
void StoreWindowRectangle(const RECT& rect, UINT systemDpi, UINT windowDpi);
