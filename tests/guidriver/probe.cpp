// guiprobe.dll: loaded into the program under test by the window-test driver.
// Wine keeps menu handles private to their process, so the driver runs
// ProbeEntry in the target with CreateRemoteThread and reads the answer back
// from the request block. The program under test knows nothing of this.
#include <windows.h>

#include "probe_protocol.h"

namespace {

void CopyText(wchar_t* to, const wchar_t* from)
{
    int i = 0;
    for (; from[i] && i < kProbeTextChars - 1; ++i)
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
