// The account commands of the main window.
#include "commands.h"

#include "ambcore.h"
#include "mainwindow.h"
#include "remote_mode_rename.h"
#include "resource.h"
#include "globals.h"

namespace {
HINSTANCE WindowInstance(HWND window)
{
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
}

// Lays the window out again: the toolbar may have changed its height.
void Relayout(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom + 1));
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

void SwitchOperatingMode(HWND window)
{
    AMBDialogBoxParamW(WindowInstance(window), IDD_OPERATING_MODE, window, OperatingModeDialogProc,
                       0);
    ShowRemoteCommand(window, AppSettings.Advanced != 0);
    Relayout(window);
}
} // namespace

void RunAccountCommand(HWND window, int command)
{
    switch (command) {
    case CMD_OPERATING_MODE:
        SwitchOperatingMode(window);
        break;
    default:
        break;
    }
}
