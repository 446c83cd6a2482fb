#pragma once
#include <windows.h>

// Controls of the passphrase (522) and vault (523) templates.
#define IDC_VAULT_FILE 1100
#define IDC_VAULT_PASSPHRASE 1101
#define IDC_VAULT_LIST 1102
#define IDC_VAULT_NOTE 1103
#define IDC_VAULT_PASSWORD 1104
#define IDC_VAULT_SHOW 1105
#define IDC_VAULT_COPY 1106
#define IDC_VAULT_STATUS 1107

#ifndef RC_INVOKED
#include "passwordvault.h"

// An open vault: the file read, and once the passphrase is right, its key.
struct VaultSession
{
    LPCWSTR path = nullptr;
    VaultContents contents;
    std::vector<VaultEntry> entries;
    BCRYPT_KEY_HANDLE key = nullptr;
};

// Template 522 (lParam: VaultSession*): asks the passphrase; OK opens the key
// (a wrong passphrase is said and asked again) and ends with IDOK.
INT_PTR CALLBACK VaultPassphraseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 523 (lParam: VaultSession* with its key): computer, account, last
// change and state of every entry; the selected row's password only on the
// show button, and copied on the copy button with the clipboard cleared after
// 30 seconds if it still holds it.
INT_PTR CALLBACK VaultDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// How long a copied password stays on the clipboard (milliseconds).
UINT VaultClipboardMilliseconds();

// The menu command: asks for the file, reads it, asks the passphrase, shows the vault.
void OpenPasswordVault(HWND window);
#endif
