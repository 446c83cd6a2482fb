// Icons that a dialog shows in a static control and owns until it closes.
#pragma once

#include <windows.h>

// Loads icon resource iconId of this program at size x size (at 96 DPI, scaled
// to the dialog's DPI; not shared) into static control controlId.
void ShowDialogIcon(HWND dialog, int controlId, int iconId, int size);
// Takes the icon back from its static control and destroys it; once only.
void DestroyDialogIcon(HWND dialog, int controlId);
