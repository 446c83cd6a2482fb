#pragma once
// Between the vault's file code and its cryptography.
#include "passwordvault.h"

DWORD CngError(NTSTATUS status);
DWORD FillRandom(BYTE* buffer, size_t bytes);
// A fresh key pair with its private half sealed under the passphrase.
DWORD MakeVaultHeader(const wchar_t* passphrase, VaultHeader* header);
DWORD ImportVaultPublicKey(const VaultHeader& header, BCRYPT_KEY_HANDLE* publicKey);
DWORD EncryptVaultPassword(BCRYPT_KEY_HANDLE publicKey, const wchar_t* password,
                           std::vector<BYTE>* secret);
