// guiprobe.dll: loaded into the program under test by the window-test driver.
// Wine keeps menu handles private to their process, so the driver runs
// ProbeEntry in the target with CreateRemoteThread and reads the answer back
// from the request block. The program under test knows nothing of this.
#include <windows.h>

#include "probe_protocol.h"

namespace {

volatile LONG g_lastMarker = 0;
HHOOK g_markerHook = nullptr;
UINT g_markerMessage = 0;

// Called in the program's thread for every message its loops take.
LRESULT CALLBACK MarkerHook(int code, WPARAM removal, LPARAM param)
{
    const MSG* msg = reinterpret_cast<const MSG*>(param);
    if (code == HC_ACTION && removal == PM_REMOVE && msg->message == g_markerMessage)
        InterlockedExchange(&g_lastMarker, static_cast<LONG>(msg->wParam));
    return CallNextHookEx(nullptr, code, removal, param);
}

struct HookStart
{
    DWORD thread;
    HANDLE done;
};

// A hook ends with the thread that set it, and the probe's calls run on
// short-lived threads: this one sets the hook and then stays.
DWORD WINAPI HookKeeper(LPVOID parameter)
{
    HookStart* start = static_cast<HookStart*>(parameter);
    // A thread of this process and a procedure in it: no module, so calling the
    // hook never has to look one up (under the loader lock) in the program's thread.
    g_markerHook = SetWindowsHookExW(WH_GETMESSAGE, MarkerHook, nullptr, start->thread);
    SetEvent(start->done);
    // Waiting alertably keeps this thread in a wait that the platform can
    // interrupt, as a thread in its message loop is.
    while (g_markerHook)
        SleepEx(INFINITE, TRUE);
    return 0;
}

bool WatchMarkers(HWND window)
{
    if (g_markerHook)
        return true;
    g_markerMessage = RegisterWindowMessageW(kProbeMarkerMessage);
    HookStart start = {GetWindowThreadProcessId(window, nullptr),
                       CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!start.thread || !g_markerMessage || !start.done)
        return false;
    HANDLE keeper = CreateThread(nullptr, 0, HookKeeper, &start, 0, nullptr);
    if (keeper) {
        WaitForSingleObject(start.done, INFINITE);
        CloseHandle(keeper);
    }
    CloseHandle(start.done);
    return g_markerHook != nullptr;
}

void CopyText(wchar_t* to, const wchar_t* from)
{
    int i = 0;
    for (; i < kProbeTextChars - 1 && from[i]; ++i)
        to[i] = from[i];
    to[i] = 0;
}

void ReadMenuItems(HMENU menu, ProbeRequest* request)
{
    int count = GetMenuItemCount(menu);
    request->count = 0;
    for (int i = 0; i < count && request->count < kProbeMaxItems; ++i) {
        ProbeItem& item = request->items[request->count++];
        wchar_t text[kProbeTextChars] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = kProbeTextChars - 1;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) {
            item.id = 0;
            item.state = 0xFFFFFFFF;
            item.text[0] = 0;
            continue;
        }
        item.id = info.wID;
        item.state = info.fState | (info.fType & MFT_SEPARATOR);
        CopyText(item.text, text);
    }
    request->result = count;
}

} // namespace

extern "C" __declspec(dllexport) DWORD WINAPI ProbeEntry(LPVOID parameter)
{
    ProbeRequest* request = static_cast<ProbeRequest*>(parameter);
    HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(request->window));
    request->result = -1;
    request->count = 0;
    request->text[0] = 0;
    switch (request->op) {
    case kProbePing:
        request->result = static_cast<int32_t>(kProbeMagic);
        return kProbeMagic;
    case kProbeMenuState: {
        HMENU menu = GetMenu(window);
        if (!menu)
            return 0;
        UINT state = GetMenuState(menu, request->command, MF_BYCOMMAND);
        request->result = static_cast<int32_t>(state);
        if (state != 0xFFFFFFFF) {
            wchar_t text[kProbeTextChars] = {};
            GetMenuStringW(menu, request->command, text, kProbeTextChars - 1, MF_BYCOMMAND);
            CopyText(request->text, text);
        }
        return 1;
    }
    case kProbeMenuBarPopup: {
        HMENU menu = GetMenu(window);
        HMENU popup = menu ? GetSubMenu(menu, static_cast<int>(request->command)) : nullptr;
        if (popup)
            ReadMenuItems(popup, request);
        return 1;
    }
    case kProbeOpenPopupMenu: {
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
        if (menu)
            ReadMenuItems(menu, request);
        return 1;
    }
    case kProbeSendMessage:
        request->answer =
            SendMessageW(window, request->command, static_cast<WPARAM>(request->wParam),
                         static_cast<LPARAM>(request->lParam));
        request->result = 1;
        return 1;
    case kProbeWatchMarkers:
        request->result = WatchMarkers(window) ? 1 : 0;
        request->answer = static_cast<int64_t>(reinterpret_cast<UINT_PTR>(&g_lastMarker));
        return 1;
    case kProbeEndMenu:
        request->result = EndMenu() ? 1 : 0;
        return 1;
    }
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
