// The vault file: UTF-8 text, one JSON object a line, LF line ends. Line 1 is
// the header (the key pair), every later line one record; records are only
// ever appended, each under a lock on the file and flushed before the append
// returns, so that a record is on the disk before what it announces is done.
#include "vaultinternal.h"

#include <nlohmann/json.hpp>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

using nlohmann::json;

static const char FormatName[] = "ambrelle-vault";
static const char KdfName[] = "PBKDF2-HMAC-SHA256";
static const char CipherName[] = "AES-256-GCM";
static const char WrapName[] = "RSA-3072-PKCS1";
// Appends lock this byte, far past any data: readers are never refused.
static const DWORD LockOffsetHigh = 0x40000000;

// ---- text helpers ---------------------------------------------------------

static std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string bytes(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                            length, nullptr, nullptr);
    return bytes;
}

static bool Wide(const std::string& bytes, std::wstring* text)
{
    text->clear();
    if (bytes.empty())
        return true;
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0)
        return false;
    text->assign(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                        &(*text)[0], length);
    return true;
}

static std::string Base64(const std::vector<BYTE>& bytes)
{
    DWORD length = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    if (bytes.empty() || !CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()),
                                               flags, nullptr, &length))
        return std::string();
    std::string text(length, '\0');
    if (!CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), flags, &text[0],
                              &length))
        return std::string();
    text.resize(length);
    return text;
}

// Strict base64: only the alphabet, padding only at the end, a length that is
// a multiple of four (the platform's decoder would skip blanks and line ends).
static bool FromBase64(const std::string& text, std::vector<BYTE>* bytes)
{
    bytes->clear();
    const size_t n = text.size();
    if (n == 0 || n % 4 != 0)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '+' || c == '/';
        bool padding = c == '=' && i >= n - 2 && (i == n - 1 || text[n - 1] == '=');
        if (!letter && !padding)
            return false;
    }
    DWORD length = 0;
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(n), CRYPT_STRING_BASE64, nullptr,
                              &length, nullptr, nullptr))
        return false;
    bytes->assign(length, 0);
    return CryptStringToBinaryA(text.data(), static_cast<DWORD>(n), CRYPT_STRING_BASE64,
                                bytes->data(), &length, nullptr, nullptr) &&
           length == bytes->size();
}

static std::string UtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    return text;
}

static bool ParseUtc(const std::string& time, SYSTEMTIME* utc)
{
    unsigned y, mo, d, h, mi, s;
    char z = 0;
    if (time.size() != 20 ||
        sscanf(time.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &z) != 7 ||
        z != 'Z')
        return false;
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    t.wSecond = static_cast<WORD>(s);
    FILETIME check;
    if (!SystemTimeToFileTime(&t, &check))
        return false;
    *utc = t;
    return true;
}

std::wstring VaultLocalTime(const std::string& time)
{
    SYSTEMTIME utc, local;
    std::wstring wide;
    if (!ParseUtc(time, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        Wide(time, &wide);
        return wide;
    }
    wchar_t text[32];
    swprintf(text, 32, L"%04u/%02u/%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay,
             local.wHour, local.wMinute, local.wSecond);
    return text;
}

static std::string NewRecordId()
{
    BYTE random[8] = {};
    if (FillRandom(random, sizeof(random)) != 0)
        return std::string();
    char text[17];
    for (int i = 0; i < 8; ++i)
        snprintf(text + 2 * i, 3, "%02x", random[i]);
    return text;
}

// ---- reading --------------------------------------------------------------

static const std::string* StringField(const json& object, const char* name)
{
    auto it = object.find(name);
    if (it == object.end() || !it->is_string())
        return nullptr;
    return &it->get_ref<const std::string&>();
}

static bool NumberField(const json& object, const char* name, ULONGLONG* value)
{
    auto it = object.find(name);
    if (it == object.end() || !it->is_number_unsigned())
        return false;
    *value = it->get<ULONGLONG>();
    return true;
}

static bool Base64Field(const json& object, const char* name, std::vector<BYTE>* bytes)
{
    const std::string* text = StringField(object, name);
    return text != nullptr && FromBase64(*text, bytes);
}

// A name as a record may hold it: not empty, bounded, no control characters
// (a record must not be able to move the cursor of whoever reads it).
static bool NameField(const json& object, const char* name, size_t maxChars, std::wstring* value)
{
    const std::string* text = StringField(object, name);
    if (text == nullptr || !Wide(*text, value) || value->size() > maxChars)
        return false;
    for (wchar_t c : *value)
        if (c < L' ' || c == 0x7F)
            return false;
    return !value->empty() || maxChars == VaultMaxReasonChars;
}

static bool IsRecordId(const std::string* id)
{
    if (id == nullptr || id->size() != 16)
        return false;
    for (char c : *id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

static DWORD ParseHeader(const std::string& line, VaultHeader* header)
{
    json object = json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object())
        return ERROR_FILE_CORRUPT;
    const std::string* format = StringField(object, "format");
    ULONGLONG version = 0, iterations = 0;
    if (format == nullptr || *format != FormatName)
        return ERROR_FILE_CORRUPT;
    if (!NumberField(object, "version", &version) || version != VaultFormatVersion)
        return ERROR_REVISION_MISMATCH;
    const std::string* kdf = StringField(object, "kdf");
    const std::string* cipher = StringField(object, "cipher");
    const std::string* wrap = StringField(object, "keyWrap");
    const std::string* created = StringField(object, "created");
    bool sound = kdf != nullptr && *kdf == KdfName && cipher != nullptr && *cipher == CipherName &&
                 wrap != nullptr && *wrap == WrapName && created != nullptr &&
                 NumberField(object, "iterations", &iterations) && iterations >= VaultIterations &&
                 iterations <= VaultMaxIterations && Base64Field(object, "salt", &header->salt) &&
                 header->salt.size() >= 16 && header->salt.size() <= 64 &&
                 Base64Field(object, "nonce", &header->nonce) && header->nonce.size() == 12 &&
                 Base64Field(object, "privateKey", &header->sealedKey) &&
                 header->sealedKey.size() > 16 && header->sealedKey.size() <= 8192 &&
                 Base64Field(object, "publicKey", &header->publicKey) &&
                 header->publicKey.size() <= 4096;
    if (!sound)
        return ERROR_FILE_CORRUPT;
    header->iterations = static_cast<ULONG>(iterations);
    header->created = *created;
    return 0;
}

static bool ParseState(const std::string* text, VaultState* state)
{
    if (text == nullptr)
        return false;
    if (*text == "pending")
        *state = VaultPending;
    else if (*text == "applied")
        *state = VaultApplied;
    else if (*text == "failed")
        *state = VaultFailed;
    else
        return false;
    return true;
}

static bool ParseRecord(const std::string& line, VaultRecord* record, VaultProblemKind* problem)
{
    json object = json::parse(line, nullptr, false);
    *problem = VaultLineNotJson;
    if (object.is_discarded() || !object.is_object())
        return false;
    ULONGLONG version = 0, error = 0;
    *problem = VaultLineWrongVersion;
    if (!NumberField(object, "v", &version) || version != VaultFormatVersion)
        return false;
    *problem = VaultLineBadField;
    const std::string* id = StringField(object, "id");
    const std::string* time = StringField(object, "time");
    SYSTEMTIME utc;
    if (!IsRecordId(id) || !ParseState(StringField(object, "state"), &record->state) ||
        time == nullptr || !ParseUtc(*time, &utc) ||
        !NameField(object, "computer", VaultMaxComputerChars, &record->computer) ||
        !NameField(object, "account", VaultMaxAccountChars, &record->account))
        return false;
    record->id = *id;
    record->time = *time;
    if (record->state == VaultPending &&
        (!Base64Field(object, "password", &record->secret) || record->secret.size() > 1024))
        return false;
    if (record->state == VaultFailed &&
        (!NumberField(object, "error", &error) || error > 0xFFFFFFFFULL ||
         !NameField(object, "reason", VaultMaxReasonChars, &record->reason)))
        return false;
    record->error = static_cast<DWORD>(error);
    return true;
}

static DWORD ReadWholeFile(const wchar_t* path, std::string* bytes)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    LARGE_INTEGER size = {};
    DWORD error = 0;
    if (!GetFileSizeEx(file, &size))
        error = GetLastError();
    else if (static_cast<ULONGLONG>(size.QuadPart) > VaultMaxFileBytes)
        error = ERROR_FILE_TOO_LARGE;
    if (error == 0) {
        bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
        size_t done = 0;
        while (error == 0 && done < bytes->size()) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1 << 24));
            DWORD read = 0;
            if (!ReadFile(file, &(*bytes)[done], chunk, &read, nullptr))
                error = GetLastError();
            else if (read == 0)
                break; // cut shorter while we read: what was read is the file
            done += read;
        }
        bytes->resize(done);
    }
    CloseHandle(file);
    return error;
}

// Calls line(number, text, complete) for every line; the last one is
// incomplete when the file does not end with a line end.
template <typename LineFn> static void ForEachLine(const std::string& bytes, LineFn line)
{
    size_t start = 0;
    int number = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        bool complete = end != std::string::npos;
        if (!complete)
            end = bytes.size();
        size_t length = end - start;
        if (length > 0 && bytes[start + length - 1] == '\r')
            --length;
        line(++number, start, length, complete);
        start = end + 1;
    }
}

DWORD ReadVault(const wchar_t* path, VaultContents* contents)
{
    *contents = VaultContents();
    std::string bytes;
    DWORD error = ReadWholeFile(path, &bytes);
    if (error != 0)
        return error;
    error = ERROR_FILE_CORRUPT;                 // until the header is read
    std::unordered_set<std::string> pendingIds; // an outcome needs its pending record before it
    ForEachLine(bytes, [&](int number, size_t start, size_t length, bool complete) {
        if (number == 1) {
            if (complete && length <= VaultMaxLineBytes)
                error = ParseHeader(bytes.substr(start, length), &contents->header);
            return;
        }
        if (error != 0 || length == 0)
            return;
        VaultRecord record;
        VaultProblemKind problem = VaultLineNotJson;
        bool read = false;
        if (!complete)
            problem = VaultLineCut;
        else if (length > VaultMaxLineBytes)
            problem = VaultLineTooLong;
        else
            read = ParseRecord(bytes.substr(start, length), &record, &problem);
        if (read && record.state == VaultPending)
            pendingIds.insert(record.id);
        else if (read && pendingIds.count(record.id) == 0) {
            read = false;
            problem = VaultLineNoPending;
        }
        if (!read) {
            contents->problems.push_back({number, problem});
            return;
        }
        record.line = number;
        contents->records.push_back(std::move(record));
    });
    return error;
}

// ---- the summary ----------------------------------------------------------

static bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The pair's names folded as the ordinal case-insensitive comparison folds
// them, so that a map finds a pair in one step (a vault of 100,000 records
// must not take a scan of all the others per record).
static std::wstring PairKey(const std::wstring& computer, const std::wstring& account)
{
    std::wstring key = computer + L'\n' + account;
    std::wstring folded(key.size(), L'\0');
    int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.c_str(),
                               static_cast<int>(key.size()), &folded[0],
                               static_cast<int>(folded.size()), nullptr, nullptr, 0);
    return length == static_cast<int>(key.size()) ? folded : key;
}

const VaultEntry* FindVaultEntry(const std::vector<VaultEntry>& entries, const wchar_t* computer,
                                 const wchar_t* account)
{
    for (const VaultEntry& entry : entries)
        if (SameName(entry.computer, computer) && SameName(entry.account, account))
            return &entry;
    return nullptr;
}

// The outcome recorded for each pending record: its state, or -1 when none.
static std::vector<int> PendingOutcomes(const std::vector<VaultRecord>& records)
{
    std::vector<int> outcomes(records.size(), -1);
    std::unordered_map<std::wstring, size_t> latest; // id and pair -> its latest pending record
    for (size_t i = 0; i < records.size(); ++i) {
        const VaultRecord& record = records[i];
        std::wstring key = PairKey(record.computer, record.account) + L'\n' +
                           std::wstring(record.id.begin(), record.id.end());
        if (record.state == VaultPending) {
            latest[key] = i;
            continue;
        }
        auto own = latest.find(key);
        if (own != latest.end())
            outcomes[own->second] = record.state;
    }
    return outcomes;
}

std::vector<VaultEntry> SummariseVault(const VaultContents& contents)
{
    std::vector<VaultEntry> entries;
    const auto& records = contents.records;
    const std::vector<int> outcomes = PendingOutcomes(records);
    std::unordered_map<std::wstring, size_t> byPair;
    for (size_t i = 0; i < records.size(); ++i) {
        const VaultRecord& record = records[i];
        auto found = byPair.emplace(PairKey(record.computer, record.account), entries.size());
        if (found.second) {
            entries.push_back(VaultEntry());
            entries.back().computer = record.computer;
            entries.back().account = record.account;
        }
        VaultEntry* entry = &entries[found.first->second];
        entry->last = static_cast<int>(i);
        if (record.state != VaultPending)
            continue;
        if (outcomes[i] == VaultApplied)
            entry->applied = static_cast<int>(i);
        else if (outcomes[i] < 0)
            entry->unresolved.push_back(static_cast<int>(i));
    }
    // A change without an outcome may be in force unless a later one was
    // applied; a failed later change does not hide it.
    for (VaultEntry& entry : entries) {
        auto& open = entry.unresolved;
        open.erase(std::remove_if(open.begin(), open.end(),
                                  [&](int index) { return index < entry.applied; }),
                   open.end());
        entry.pending = open.empty() ? -1 : open.back();
    }
    return entries;
}

// ---- writing --------------------------------------------------------------

static std::string HeaderLine(const VaultHeader& header)
{
    json object = {{"format", FormatName},
                   {"version", VaultFormatVersion},
                   {"created", header.created},
                   {"kdf", KdfName},
                   {"iterations", header.iterations},
                   {"salt", Base64(header.salt)},
                   {"cipher", CipherName},
                   {"nonce", Base64(header.nonce)},
                   {"privateKey", Base64(header.sealedKey)},
                   {"keyWrap", WrapName},
                   {"publicKey", Base64(header.publicKey)}};
    return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

static DWORD WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return GetLastError();
    return written == text.size() ? 0 : ERROR_WRITE_FAULT;
}

DWORD CreateVault(const wchar_t* path, const wchar_t* passphrase)
{
    if (wcslen(passphrase) < VaultPassphraseMinChars ||
        wcslen(passphrase) > VaultPassphraseMaxChars)
        return ERROR_INVALID_PASSWORD;
    // The file is made first: an existing one is never touched, and no key is
    // made for a vault that cannot be written.
    HANDLE file = CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    VaultHeader header;
    header.created = UtcNow();
    DWORD error = MakeVaultHeader(passphrase, &header);
    if (error == 0)
        error = WriteAll(file, HeaderLine(header));
    if (error == 0 && !FlushFileBuffers(file))
        error = GetLastError();
    if (error != 0) {
        // Half a vault is worse than none: the file goes again.
        FILE_DISPOSITION_INFO dispose = {TRUE};
        SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof(dispose));
    }
    CloseHandle(file);
    return error;
}

DWORD OpenVaultWriter(const wchar_t* path, VaultWriter* writer)
{
    *writer = VaultWriter();
    VaultContents contents;
    std::string bytes;
    DWORD error = ReadWholeFile(path, &bytes);
    if (error != 0)
        return error;
    size_t end = bytes.find('\n');
    if (end == std::string::npos || end > VaultMaxLineBytes)
        return ERROR_FILE_CORRUPT;
    error = ParseHeader(bytes.substr(0, end), &contents.header);
    if (error == 0)
        error = ImportVaultPublicKey(contents.header, &writer->publicKey);
    if (error != 0)
        return error;
    writer->file = CreateFileW(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer->file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        CloseVaultKey(writer->publicKey);
        writer->publicKey = nullptr;
        return error;
    }
    InitializeCriticalSection(&writer->guard);
    writer->open = true;
    return 0;
}

void CloseVaultWriter(VaultWriter* writer)
{
    if (!writer->open)
        return;
    CloseHandle(writer->file);
    CloseVaultKey(writer->publicKey);
    DeleteCriticalSection(&writer->guard);
    *writer = VaultWriter();
}

// How many appends a test lets through before the file "becomes read-only"
// (AMBRELLE_TEST_VAULT_APPENDS); unset: no limit.
static bool TestLimitReached()
{
    static LONG limit = -2; // -1: no limit
    static LONG used = 0;
    if (limit == -2) {
        wchar_t text[16] = {};
        DWORD n = GetEnvironmentVariableW(L"AMBRELLE_TEST_VAULT_APPENDS", text, 16);
        InterlockedCompareExchange(&limit, n > 0 && n < 16 ? _wtol(text) : -1, -2);
    }
    return limit >= 0 && InterlockedIncrement(&used) > limit;
}

// Does the file end with a line end? A record cut short by a crash must not
// swallow the next one.
static bool EndsWithLineEnd(HANDLE file, bool* ends)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size))
        return false;
    *ends = size.QuadPart == 0;
    if (size.QuadPart == 0)
        return true;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = 0;
    DWORD read = 0;
    if (!ReadFile(file, &last, 1, &read, &at) || read != 1)
        return false;
    *ends = last == '\n';
    return true;
}

static DWORD AppendLine(VaultWriter* writer, const json& record, bool pending)
{
    std::string line = record.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    EnterCriticalSection(&writer->guard);
    OVERLAPPED range = {};
    range.OffsetHigh = LockOffsetHigh;
    DWORD error = 0;
    if (TestLimitReached())
        error = ERROR_WRITE_PROTECT;
    else if (pending && writer->broken != 0)
        error = writer->broken;
    else if (!LockFileEx(writer->file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range))
        error = GetLastError();
    if (error == 0) {
        bool ends = true;
        if (!EndsWithLineEnd(writer->file, &ends))
            error = GetLastError();
        if (error == 0 && !ends)
            line.insert(0, "\n");
        if (error == 0)
            error = WriteAll(writer->file, line);
        if (error == 0 && !FlushFileBuffers(writer->file))
            error = GetLastError();
        UnlockFileEx(writer->file, 0, 1, 0, &range);
    }
    if (error != 0 && writer->broken == 0)
        writer->broken = error;
    LeaveCriticalSection(&writer->guard);
    return error;
}

static json RecordBase(const std::string& id, const char* state, const wchar_t* computer,
                       const wchar_t* account)
{
    return json{{"v", VaultFormatVersion},
                {"id", id},
                {"state", state},
                {"time", UtcNow()},
                {"computer", Utf8(computer)},
                {"account", Utf8(account)}};
}

DWORD AppendVaultPending(VaultWriter* writer, const wchar_t* computer, const wchar_t* account,
                         const wchar_t* password, char* id)
{
    std::vector<BYTE> secret;
    DWORD error = EncryptVaultPassword(writer->publicKey, password, &secret);
    std::string newId = NewRecordId();
    if (error == 0 && newId.empty())
        error = ERROR_INTERNAL_ERROR;
    if (error != 0)
        return error;
    json record = RecordBase(newId, "pending", computer, account);
    record["password"] = Base64(secret);
    error = AppendLine(writer, record, true);
    if (error == 0)
        memcpy(id, newId.c_str(), 17);
    return error;
}

DWORD AppendVaultOutcome(VaultWriter* writer, const char* id, const wchar_t* computer,
                         const wchar_t* account, DWORD error, const wchar_t* reason)
{
    json record = RecordBase(id, error == 0 ? "applied" : "failed", computer, account);
    if (error != 0) {
        record["error"] = error;
        std::wstring text = reason != nullptr ? reason : L"";
        for (wchar_t& c : text)
            if (c < L' ')
                c = L' ';
        if (text.size() > VaultMaxReasonChars)
            text.resize(VaultMaxReasonChars);
        record["reason"] = Utf8(text);
    }
    return AppendLine(writer, record, false);
}
