#pragma once
// The password vault: a text file, one JSON record a line, that keeps every
// password Ambrelle set on a computer, each encrypted to the vault's public key.
// Only the passphrase opens the private key, so anyone may add records (a
// scheduled rotation needs no passphrase) but only its holder can read them.
// All cryptography is Windows' own (CNG, bcrypt.dll).
#include <windows.h>

#include <bcrypt.h>

#include <string>
#include <vector>

constexpr int VaultFormatVersion = 1;
constexpr size_t VaultPassphraseMinChars = 12;
constexpr size_t VaultPassphraseMaxChars = 256;
constexpr size_t VaultPasswordChars = 20;
// PBKDF2-HMAC-SHA256 rounds of a new vault; fewer are refused when reading, so
// that a forged header cannot make a weak passphrase cheap to try.
constexpr ULONG VaultIterations = 600000;
constexpr ULONG VaultMaxIterations = 100000000;
// A record is well under 1 KB; a longer line is damage, not a record.
constexpr size_t VaultMaxLineBytes = 16 * 1024;
constexpr ULONGLONG VaultMaxFileBytes = 512ULL * 1024 * 1024;
// Names as the platform bounds them (a DNS name, UNLEN with a domain).
constexpr size_t VaultMaxComputerChars = 255;
constexpr size_t VaultMaxAccountChars = 256;
constexpr size_t VaultMaxReasonChars = 1024;

enum VaultState { VaultPending, VaultApplied, VaultFailed };

struct VaultRecord
{
    int line = 0;
    std::string id; // 16 hex digits: ties an outcome to its pending record
    VaultState state = VaultPending;
    std::string time; // UTC, "YYYY-MM-DDThh:mm:ssZ"
    std::wstring computer;
    std::wstring account;
    std::vector<BYTE> secret; // pending only: the password encrypted to the vault
    DWORD error = 0;          // failed only: the platform's code
    std::wstring reason;      // failed only: the platform's text
};

// Why a line of the file is not a record (the line is counted from 1).
enum VaultProblemKind {
    VaultLineNotJson,
    VaultLineTooLong,
    VaultLineCut, // the last line has no line end: a write that did not finish
    VaultLineWrongVersion,
    VaultLineBadField,
    VaultLineNoPending // an outcome whose pending record is not in the file
};
struct VaultProblem
{
    int line;
    VaultProblemKind kind;
};

struct VaultHeader
{
    ULONG iterations = 0;
    std::vector<BYTE> salt;
    std::vector<BYTE> nonce;
    std::vector<BYTE> sealedKey; // the private key blob, then the 16-byte GCM tag
    std::vector<BYTE> publicKey; // BCRYPT_RSAPUBLIC_BLOB
    std::string created;
};

struct VaultContents
{
    VaultHeader header;
    std::vector<VaultRecord> records;
    std::vector<VaultProblem> problems;
};

// Errors of the vault's own besides the platform's codes.
// ERROR_FILE_CORRUPT: the first line is not a vault header of a known version.
// ERROR_INVALID_PASSWORD: the passphrase does not open the private key.
// ERROR_FILE_EXISTS: /init never overwrites a file.

// A new vault at path with a fresh key pair; the file must not exist.
DWORD CreateVault(const wchar_t* path, const wchar_t* passphrase);
// Reads the whole file: the header must be sound (else ERROR_FILE_CORRUPT or
// the platform's code); damaged record lines are listed in problems.
DWORD ReadVault(const wchar_t* path, VaultContents* contents);
// Opens the private key with the passphrase (ERROR_INVALID_PASSWORD when wrong).
DWORD UnlockVault(const VaultHeader& header, const wchar_t* passphrase,
                  BCRYPT_KEY_HANDLE* privateKey);
// The password of a pending record into buffer (VaultPasswordChars + 1 or
// more); ERROR_INVALID_DATA when it does not decrypt with this key.
DWORD DecryptVaultPassword(BCRYPT_KEY_HANDLE privateKey, const VaultRecord& record, wchar_t* buffer,
                           size_t chars);
void CloseVaultKey(BCRYPT_KEY_HANDLE key);

// The password that may be in force on one computer for one account.
struct VaultEntry
{
    std::wstring computer;
    std::wstring account;
    int applied = -1; // index of the pending record of the last applied change
    int pending = -1; // the latest later pending record without an outcome: may be in force
    std::vector<int> unresolved; // every such record, oldest first (pending is the last)
    int last = -1;               // the pair's last record
};
// One entry per computer and account (case-insensitive), in order of first appearance.
std::vector<VaultEntry> SummariseVault(const VaultContents& contents);
// Finds the entry for computer and account (case-insensitive); null when none.
const VaultEntry* FindVaultEntry(const std::vector<VaultEntry>& entries, const wchar_t* computer,
                                 const wchar_t* account);

// Appends records; shared by the threads of one rotation. Every append takes
// a lock on the file (so other processes wait their turn) and is flushed to
// the disk before it returns.
struct VaultWriter
{
    HANDLE file = INVALID_HANDLE_VALUE;
    BCRYPT_ALG_HANDLE rsa = nullptr;
    BCRYPT_KEY_HANDLE publicKey = nullptr;
    CRITICAL_SECTION guard;
    bool open = false;
    DWORD broken = 0; // the error of the first append that failed, then refused
};
// Reads the header and opens the file to append; fails when it cannot be written.
DWORD OpenVaultWriter(const wchar_t* path, VaultWriter* writer);
void CloseVaultWriter(VaultWriter* writer);
// A pending record with the password encrypted; its id goes into id (17 chars).
// Once any append has failed, every later pending record is refused with that
// error: a vault that stopped taking records stops the rotation everywhere.
DWORD AppendVaultPending(VaultWriter* writer, const wchar_t* computer, const wchar_t* account,
                         const wchar_t* password, char* id);
DWORD AppendVaultOutcome(VaultWriter* writer, const char* id, const wchar_t* computer,
                         const wchar_t* account, DWORD error, const wchar_t* reason);

// A new password of VaultPasswordChars from BCryptGenRandom: letters, digits
// and symbols that sit on the same keys of Japanese and US keyboards, every
// class present. buffer holds at least VaultPasswordChars + 1.
DWORD GenerateVaultPassword(wchar_t* buffer, size_t chars);

// "YYYY-MM-DDThh:mm:ssZ" as local "YYYY/MM/DD hh:mm:ss" (the text itself when
// it is not such a time).
std::wstring VaultLocalTime(const std::string& time);
