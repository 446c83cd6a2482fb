#include "dialogicon.h"

#include "dpi.h"

void ShowDialogIcon(HWND dialog, int controlId, int iconId, int size)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    int pixels = ScaleToDpi(size, DpiForWindow(dialog));
    HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                               pixels, pixels, LR_DEFAULTCOLOR));
    SendDlgItemMessageW(dialog, controlId, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void DestroyDialogIcon(HWND dialog, int controlId)
{
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageW(dialog, controlId, STM_SETICON, 0, 0));
    if (icon != nullptr)
        DestroyIcon(icon);
}
