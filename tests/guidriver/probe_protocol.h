// The request block that the driver writes into the target process and hands to
// the probe's entry point (run there by CreateRemoteThread). The probe answers in
// the same block. Plain fixed-size data only: both sides are x64.
#pragma once

#include <stdint.h>

enum ProbeOp : uint32_t {
    kProbePing = 1,          // answers kProbeMagic
    kProbeMenuState = 2,     // GetMenuState(GetMenu(window), command, MF_BYCOMMAND)
    kProbeMenuBarPopup = 3,  // the items of popup `command` (an index) of the menu bar
    kProbeOpenPopupMenu = 4, // the items of the menu shown by menu window `window`
    kProbeEndMenu = 5,       // EndMenu()
    kProbeSendMessage = 6,   // SendMessageW(window, command, wParam, lParam) from inside,
                             // for messages the platform does not carry across processes
    kProbeWatchMarkers = 7,  // hooks the thread of `window` so that each retrieval of a
                             // kProbeMarkerMessage records its wParam; answers the
                             // address of that record (a LONG)
};

// Posted by the driver behind its input: once the program's thread has taken
// it from the queue, everything posted before it has been dispatched.
const wchar_t* const kProbeMarkerMessage = L"AmbrelleGuiProbeMarker";

const uint32_t kProbeMagic = 0x41504D42; // "BMPA"
const int kProbeMaxItems = 40;
const int kProbeTextChars = 96;

struct ProbeItem
{
    uint32_t id;
    uint32_t state;
    wchar_t text[kProbeTextChars];
};

struct ProbeRequest
{
    uint32_t op;
    uint32_t command;
    uint64_t window;
    int32_t result;
    int32_t count;
    uint64_t wParam;
    uint64_t lParam;
    int64_t answer;
    wchar_t text[kProbeTextChars];
    ProbeItem items[kProbeMaxItems];
};
