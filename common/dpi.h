// Display scale: pixel sizes of a window follow its DPI. Sizes are designed
// (and window settings stored) at 96 DPI, the scale at which Windows showed
// earlier versions of the programs, and converted to and from pixels here.
#pragma once
#include <windows.h>

constexpr UINT DesignDpi = 96;

// The DPI of `window`; of the system when null or when the platform has no
// per-window DPI (before Windows 10 1607), read from the screen then.
UINT DpiForWindow(HWND window);
// The DPI that the system reports to this process.
UINT SystemDpi();

// A size of the 96-DPI design in pixels at `dpi`, and back, rounded to the
// nearest pixel.
int ScaleToDpi(int designSize, UINT dpi);
int ScaleFromDpi(int pixels, UINT dpi);
// A pixel size at `toDpi` of what measures `pixels` at `fromDpi`.
int RescaleDpi(int pixels, UINT fromDpi, UINT toDpi);

// The side of a small icon at `dpi`: 16 at 96, 20 at 120, 24 at 144, 32 at 192.
int SmallIconSize(UINT dpi);

// The columns of a report-view list view drawn at `toDpi` instead of
// `fromDpi`: the widths the user has set keep their share, and so do the
// least widths.
void RescaleListColumns(HWND list, UINT fromDpi, UINT toDpi);

// A dialog whose report-view lists are sized in pixels: NoteDialogDpi at
// WM_INITDIALOG, RescaleDialogLists at WM_DPICHANGED (the dialog manager
// rescales the dialog and its font itself), ForgetDialogDpi at WM_DESTROY.
void NoteDialogDpi(HWND dialog, UINT dpi);
void RescaleDialogLists(HWND dialog, UINT dpi, const int* listIds, int count);
void ForgetDialogDpi(HWND dialog);
