// The vault's cryptography, all of it CNG's (bcrypt.dll):
//   key pair    RSA 3072 (BCryptGenerateKeyPair);
//   passwords   encrypted to the public key with PKCS #1 v1.5 padding;
//   private key sealed with AES-256-GCM under a key from
//               PBKDF2-HMAC-SHA256 (600,000 rounds, 16-byte random salt), the
//               public key blob as the authenticated data.
// Why not OAEP or ECDH: Wine 8's bcrypt answers BCryptEncrypt with
// BCRYPT_PAD_OAEP by STATUS_NOT_IMPLEMENTED, and BCryptDeriveKey of an ECDH
// secret by STATUS_INTERNAL_ERROR (its BCryptSecretAgreement is a stub), so
// neither could be tested here. PKCS #1 v1.5 is attackable only through a
// decryption oracle that reports padding failures to an attacker; here only the
// passphrase's holder decrypts, on their own computer.
#include "vaultinternal.h"

#include <cwchar>

#ifndef STATUS_AUTH_TAG_MISMATCH
#define STATUS_AUTH_TAG_MISMATCH static_cast<NTSTATUS>(0xC000A002L)
#endif

static const ULONG RsaKeyBits = 3072;
static const ULONG SaltBytes = 16;
static const ULONG NonceBytes = 12;
static const ULONG TagBytes = 16;
static const ULONG AesKeyBytes = 32;

DWORD CngError(NTSTATUS status)
{
    switch (static_cast<ULONG>(status)) {
    case 0xC0000017: // STATUS_NO_MEMORY
        return ERROR_NOT_ENOUGH_MEMORY;
    case 0xC0000002: // STATUS_NOT_IMPLEMENTED
    case 0xC00000BB: // STATUS_NOT_SUPPORTED
        return ERROR_NOT_SUPPORTED;
    case 0xC000000D: // STATUS_INVALID_PARAMETER
    case 0xC000A002: // STATUS_AUTH_TAG_MISMATCH
    case 0xC000003E: // STATUS_DATA_ERROR
        return ERROR_INVALID_DATA;
    default:
        return ERROR_INTERNAL_ERROR;
    }
}

// Providers are opened once per process and kept: key handles must not outlive them.
struct Providers
{
    BCRYPT_ALG_HANDLE rsa = nullptr;
    BCRYPT_ALG_HANDLE aesGcm = nullptr;
    BCRYPT_ALG_HANDLE hmacSha256 = nullptr;
    NTSTATUS status = 0;
};
static Providers TheProviders;
static INIT_ONCE ProvidersOnce = INIT_ONCE_STATIC_INIT;

static BOOL CALLBACK OpenProviders(PINIT_ONCE, PVOID, PVOID*)
{
    Providers& p = TheProviders;
    p.status = BCryptOpenAlgorithmProvider(&p.rsa, BCRYPT_RSA_ALGORITHM, nullptr, 0);
    if (p.status >= 0)
        p.status = BCryptOpenAlgorithmProvider(&p.aesGcm, BCRYPT_AES_ALGORITHM, nullptr, 0);
    if (p.status >= 0)
        p.status =
            BCryptSetProperty(p.aesGcm, BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                              sizeof(BCRYPT_CHAIN_MODE_GCM), 0);
    if (p.status >= 0)
        p.status = BCryptOpenAlgorithmProvider(&p.hmacSha256, BCRYPT_SHA256_ALGORITHM, nullptr,
                                               BCRYPT_ALG_HANDLE_HMAC_FLAG);
    return TRUE;
}

static const Providers* GetProviders(DWORD* error)
{
    InitOnceExecuteOnce(&ProvidersOnce, OpenProviders, nullptr, nullptr);
    *error = TheProviders.status < 0 ? CngError(TheProviders.status) : 0;
    return *error == 0 ? &TheProviders : nullptr;
}

DWORD FillRandom(BYTE* buffer, size_t bytes)
{
    NTSTATUS status = BCryptGenRandom(nullptr, buffer, static_cast<ULONG>(bytes),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return status < 0 ? CngError(status) : 0;
}

// The passphrase as UTF-8, the form PBKDF2 takes; wiped by the caller.
static std::vector<BYTE> PassphraseBytes(const wchar_t* passphrase)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, passphrase, -1, nullptr, 0, nullptr, nullptr);
    std::vector<BYTE> bytes(length > 0 ? static_cast<size_t>(length) : 1);
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, passphrase, -1, reinterpret_cast<char*>(bytes.data()),
                            length, nullptr, nullptr);
    bytes.resize(length > 0 ? static_cast<size_t>(length) - 1 : 0); // without the NUL
    return bytes;
}

static void Wipe(std::vector<BYTE>& bytes)
{
    if (!bytes.empty())
        SecureZeroMemory(bytes.data(), bytes.size());
    bytes.clear();
}

// AES-256-GCM under the key derived from the passphrase: seal (encrypt) or open.
static DWORD SealOrOpen(const Providers& p, const wchar_t* passphrase, const VaultHeader& header,
                        const BYTE* input, ULONG inputBytes, BYTE* output, BYTE* tag, bool seal)
{
    std::vector<BYTE> secret = PassphraseBytes(passphrase);
    BYTE key[AesKeyBytes] = {};
    NTSTATUS status = BCryptDeriveKeyPBKDF2(
        p.hmacSha256, secret.empty() ? nullptr : secret.data(), static_cast<ULONG>(secret.size()),
        const_cast<BYTE*>(header.salt.data()), static_cast<ULONG>(header.salt.size()),
        header.iterations, key, AesKeyBytes, 0);
    Wipe(secret);
    BCRYPT_KEY_HANDLE aes = nullptr;
    if (status >= 0)
        status = BCryptGenerateSymmetricKey(p.aesGcm, &aes, nullptr, 0, key, AesKeyBytes, 0);
    SecureZeroMemory(key, sizeof(key));
    if (status >= 0) {
        BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
        BCRYPT_INIT_AUTH_MODE_INFO(info);
        info.pbNonce = const_cast<BYTE*>(header.nonce.data());
        info.cbNonce = static_cast<ULONG>(header.nonce.size());
        info.pbAuthData = const_cast<BYTE*>(header.publicKey.data());
        info.cbAuthData = static_cast<ULONG>(header.publicKey.size());
        info.pbTag = tag;
        info.cbTag = TagBytes;
        ULONG done = 0;
        if (seal)
            status = BCryptEncrypt(aes, const_cast<BYTE*>(input), inputBytes, &info, nullptr, 0,
                                   output, inputBytes, &done, 0);
        else
            status = BCryptDecrypt(aes, const_cast<BYTE*>(input), inputBytes, &info, nullptr, 0,
                                   output, inputBytes, &done, 0);
        BCryptDestroyKey(aes);
    }
    if (!seal && status == STATUS_AUTH_TAG_MISMATCH)
        return ERROR_INVALID_PASSWORD;
    return status < 0 ? CngError(status) : 0;
}

static DWORD ExportBlob(BCRYPT_KEY_HANDLE key, LPCWSTR type, std::vector<BYTE>* blob)
{
    ULONG size = 0;
    NTSTATUS status = BCryptExportKey(key, nullptr, type, nullptr, 0, &size, 0);
    if (status >= 0) {
        blob->assign(size, 0);
        status = BCryptExportKey(key, nullptr, type, blob->data(), size, &size, 0);
    }
    return status < 0 ? CngError(status) : 0;
}

DWORD MakeVaultHeader(const wchar_t* passphrase, VaultHeader* header)
{
    DWORD error = 0;
    const Providers* p = GetProviders(&error);
    if (p == nullptr)
        return error;
    BCRYPT_KEY_HANDLE pair = nullptr;
    NTSTATUS status = BCryptGenerateKeyPair(p->rsa, &pair, RsaKeyBits, 0);
    if (status >= 0)
        status = BCryptFinalizeKeyPair(pair, 0);
    if (status < 0) {
        if (pair != nullptr)
            BCryptDestroyKey(pair);
        return CngError(status);
    }
    std::vector<BYTE> privateBlob;
    error = ExportBlob(pair, BCRYPT_RSAPUBLIC_BLOB, &header->publicKey);
    if (error == 0)
        error = ExportBlob(pair, BCRYPT_RSAPRIVATE_BLOB, &privateBlob);
    BCryptDestroyKey(pair);
    header->iterations = VaultIterations;
    header->salt.assign(SaltBytes, 0);
    header->nonce.assign(NonceBytes, 0);
    if (error == 0)
        error = FillRandom(header->salt.data(), SaltBytes);
    if (error == 0)
        error = FillRandom(header->nonce.data(), NonceBytes);
    if (error == 0) {
        const ULONG bytes = static_cast<ULONG>(privateBlob.size());
        header->sealedKey.assign(bytes + TagBytes, 0);
        error = SealOrOpen(*p, passphrase, *header, privateBlob.data(), bytes,
                           header->sealedKey.data(), header->sealedKey.data() + bytes, true);
    }
    Wipe(privateBlob);
    return error;
}

DWORD UnlockVault(const VaultHeader& header, const wchar_t* passphrase,
                  BCRYPT_KEY_HANDLE* privateKey)
{
    *privateKey = nullptr;
    DWORD error = 0;
    const Providers* p = GetProviders(&error);
    if (p == nullptr)
        return error;
    if (header.sealedKey.size() <= TagBytes)
        return ERROR_FILE_CORRUPT;
    const ULONG bytes = static_cast<ULONG>(header.sealedKey.size() - TagBytes);
    std::vector<BYTE> privateBlob(bytes, 0);
    BYTE tag[TagBytes];
    memcpy(tag, header.sealedKey.data() + bytes, TagBytes);
    error = SealOrOpen(*p, passphrase, header, header.sealedKey.data(), bytes, privateBlob.data(),
                       tag, false);
    if (error == 0) {
        NTSTATUS status = BCryptImportKeyPair(p->rsa, nullptr, BCRYPT_RSAPRIVATE_BLOB, privateKey,
                                              privateBlob.data(), bytes, 0);
        if (status < 0) {
            *privateKey = nullptr;
            error = ERROR_FILE_CORRUPT;
        }
    }
    Wipe(privateBlob);
    return error;
}

DWORD ImportVaultPublicKey(const VaultHeader& header, BCRYPT_KEY_HANDLE* publicKey)
{
    DWORD error = 0;
    const Providers* p = GetProviders(&error);
    if (p == nullptr)
        return error;
    NTSTATUS status = BCryptImportKeyPair(p->rsa, nullptr, BCRYPT_RSAPUBLIC_BLOB, publicKey,
                                          const_cast<BYTE*>(header.publicKey.data()),
                                          static_cast<ULONG>(header.publicKey.size()), 0);
    if (status < 0) {
        *publicKey = nullptr;
        return ERROR_FILE_CORRUPT;
    }
    return 0;
}

void CloseVaultKey(BCRYPT_KEY_HANDLE key)
{
    if (key != nullptr)
        BCryptDestroyKey(key);
}

DWORD EncryptVaultPassword(BCRYPT_KEY_HANDLE publicKey, const wchar_t* password,
                           std::vector<BYTE>* secret)
{
    const ULONG bytes = static_cast<ULONG>(wcslen(password) * sizeof(wchar_t));
    ULONG size = 0;
    NTSTATUS status =
        BCryptEncrypt(publicKey, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(password)), bytes,
                      nullptr, nullptr, 0, nullptr, 0, &size, BCRYPT_PAD_PKCS1);
    if (status >= 0) {
        secret->assign(size, 0);
        status =
            BCryptEncrypt(publicKey, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(password)), bytes,
                          nullptr, nullptr, 0, secret->data(), size, &size, BCRYPT_PAD_PKCS1);
    }
    return status < 0 ? CngError(status) : 0;
}

DWORD DecryptVaultPassword(BCRYPT_KEY_HANDLE privateKey, const VaultRecord& record, wchar_t* buffer,
                           size_t chars)
{
    SecureZeroMemory(buffer, chars * sizeof(wchar_t));
    if (record.state != VaultPending || record.secret.empty() || chars == 0)
        return ERROR_INVALID_DATA;
    std::vector<BYTE> plain(record.secret.size(), 0);
    ULONG size = 0;
    NTSTATUS status =
        BCryptDecrypt(privateKey, const_cast<BYTE*>(record.secret.data()),
                      static_cast<ULONG>(record.secret.size()), nullptr, nullptr, 0, plain.data(),
                      static_cast<ULONG>(plain.size()), &size, BCRYPT_PAD_PKCS1);
    DWORD error = 0;
    const size_t length = size / sizeof(wchar_t);
    if (status < 0 || size % sizeof(wchar_t) != 0 || length == 0 || length >= chars)
        error = ERROR_INVALID_DATA;
    else
        memcpy(buffer, plain.data(), size);
    // Only printable ASCII is ever written: anything else is not our password.
    for (size_t i = 0; error == 0 && i < length; ++i)
        if (buffer[i] <= L' ' || buffer[i] > L'~')
            error = ERROR_INVALID_DATA;
    if (error != 0)
        SecureZeroMemory(buffer, chars * sizeof(wchar_t));
    Wipe(plain);
    return error;
}

DWORD GenerateVaultPassword(wchar_t* buffer, size_t chars)
{
    // No I, O, l, 0 or 1 (read wrongly off a screen); symbols that are on the
    // same keys of the JIS and US layouts (Shift+1, 3, 4, 5 and - . / ?).
    static const wchar_t Upper[] = L"ABCDEFGHJKLMNPQRSTUVWXYZ";
    static const wchar_t Lower[] = L"abcdefghijkmnopqrstuvwxyz";
    static const wchar_t Digits[] = L"23456789";
    static const wchar_t Symbols[] = L"!#$%-./?";
    static const wchar_t* const Classes[] = {Upper, Lower, Digits, Symbols};
    if (chars < VaultPasswordChars + 1)
        return ERROR_INSUFFICIENT_BUFFER;
    wchar_t alphabet[80] = {};
    for (const wchar_t* set : Classes)
        wcscat_s(alphabet, set);
    const unsigned size = static_cast<unsigned>(wcslen(alphabet));
    // Bytes at or above limit would favour the first characters: drawn again.
    const unsigned limit = 256 - 256 % size;
    BYTE random[64];
    DWORD error = 0;
    for (bool everyClass = false; !everyClass && error == 0;) {
        size_t filled = 0;
        while (filled < VaultPasswordChars && error == 0) {
            error = FillRandom(random, sizeof(random));
            for (size_t i = 0; error == 0 && i < sizeof(random) && filled < VaultPasswordChars; ++i)
                if (random[i] < limit)
                    buffer[filled++] = alphabet[random[i] % size];
        }
        buffer[VaultPasswordChars] = L'\0';
        everyClass = true;
        for (const wchar_t* set : Classes)
            everyClass = everyClass && wcspbrk(buffer, set) != nullptr;
    }
    SecureZeroMemory(random, sizeof(random));
    if (error != 0)
        SecureZeroMemory(buffer, chars * sizeof(wchar_t));
    return error;
}
