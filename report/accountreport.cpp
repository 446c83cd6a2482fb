// The account report: every user and local group of a computer in one UTF-8
// table (CSV or TSV), written whole or not at all; or the same rows in memory
// for Ambcmd's lists and reports of several computers.
#include "accountreport.h"

#include <lm.h>
#include <sddl.h>

#include <cwchar>

#include "accounttimes.h"
#include "reportcolumns.h"
#include "parallelcalls.h"
#include "textformat.h"

namespace {
constexpr size_t ReportBlockBytes = 64 * 1024;
constexpr DWORD UsersPerPage = 100;
// Buffer sizes in WCHAR, terminator included.
constexpr size_t NameChars = 256;
constexpr size_t PathChars = 260;
constexpr int HeaderFieldCount = ReportColumnCount;
// The column that a report of several computers puts first.
const wchar_t ComputerField[] = L"コンピューター";
// ReportFields: the ends of a row, a field and an item of a list field.
constexpr WCHAR RowMark = 0x1E;
constexpr WCHAR FieldMark = 0x1F;
constexpr WCHAR ItemMark = 0x1D;

LPWSTR AllocBuffer(size_t chars)
{
    return static_cast<LPWSTR>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, chars * sizeof(WCHAR)));
}

void FreeBuffer(void* buffer)
{
    if (buffer != nullptr)
        HeapFree(GetProcessHeap(), 0, buffer);
}

// Columns after the SID that only users fill.
constexpr int UserOnlyFields = 9;

// The report being written: UTF-8 gathered in one block and written in large
// pieces to the open temporary file, or to rows in memory. The first failure
// is kept and ends the report.
struct ReportFile
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    ReportRows* memory = nullptr; // instead of the file
    BYTE* block = nullptr;
    size_t used = 0;
    WCHAR pendingHigh = 0; // first half of a surrogate pair
    ReportFormat format = ReportCsv;
    wchar_t separator = L',';
    bool crlf = true;
    LPCWSTR computer = nullptr; // the first column of every row, when set
    int kinds = ReportAllAccounts;
    bool rowStarted = false;
    int fieldIndex = 0; // within the row (JSON keys)
    DWORD rowCount = 0;
    DWORD error = 0;
};

bool AppendToRows(ReportRows& rows, const BYTE* bytes, size_t count)
{
    if (rows.length + count > rows.capacity) {
        size_t capacity = rows.capacity < ReportBlockBytes ? ReportBlockBytes : rows.capacity;
        while (capacity < rows.length + count)
            capacity *= 2;
        void* grown = rows.bytes == nullptr
                          ? HeapAlloc(GetProcessHeap(), 0, capacity)
                          : HeapReAlloc(GetProcessHeap(), 0, rows.bytes, capacity);
        if (grown == nullptr)
            return false;
        rows.bytes = static_cast<BYTE*>(grown);
        rows.capacity = capacity;
    }
    CopyMemory(rows.bytes + rows.length, bytes, count);
    rows.length += count;
    return true;
}

void Flush(ReportFile& file)
{
    if (file.used == 0 || file.error != 0)
        return;
    if (file.memory != nullptr) {
        if (!AppendToRows(*file.memory, file.block, file.used))
            file.error = ERROR_NOT_ENOUGH_MEMORY;
        file.used = 0;
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file.handle, file.block, static_cast<DWORD>(file.used), &written, nullptr) ||
        written != file.used)
        file.error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    file.used = 0;
}

void PutBytes(ReportFile& file, const BYTE* bytes, size_t count)
{
    if (file.used + count > ReportBlockBytes)
        Flush(file);
    for (size_t i = 0; i < count; ++i)
        file.block[file.used++] = bytes[i];
}

void PutCodePoint(ReportFile& file, DWORD c)
{
    BYTE bytes[4];
    size_t count;
    if (c < 0x80) {
        bytes[0] = static_cast<BYTE>(c);
        count = 1;
    } else if (c < 0x800) {
        bytes[0] = static_cast<BYTE>(0xC0 | (c >> 6));
        bytes[1] = static_cast<BYTE>(0x80 | (c & 0x3F));
        count = 2;
    } else if (c < 0x10000) {
        bytes[0] = static_cast<BYTE>(0xE0 | (c >> 12));
        bytes[1] = static_cast<BYTE>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<BYTE>(0x80 | (c & 0x3F));
        count = 3;
    } else {
        bytes[0] = static_cast<BYTE>(0xF0 | (c >> 18));
        bytes[1] = static_cast<BYTE>(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = static_cast<BYTE>(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = static_cast<BYTE>(0x80 | (c & 0x3F));
        count = 4;
    }
    PutBytes(file, bytes, count);
}

// A surrogate without its partner cannot be written in UTF-8: it becomes U+FFFD.
void EndPendingSurrogate(ReportFile& file)
{
    if (file.pendingHigh != 0)
        PutCodePoint(file, 0xFFFD);
    file.pendingHigh = 0;
}

void PutUnit(ReportFile& file, WCHAR c)
{
    if (IS_LOW_SURROGATE(c) && file.pendingHigh != 0) {
        PutCodePoint(file, 0x10000 + ((file.pendingHigh - 0xD800) << 10) + (c - 0xDC00));
        file.pendingHigh = 0;
        return;
    }
    EndPendingSurrogate(file);
    if (IS_HIGH_SURROGATE(c))
        file.pendingHigh = c;
    else if (IS_LOW_SURROGATE(c))
        PutCodePoint(file, 0xFFFD);
    else
        PutCodePoint(file, c);
}

// A spreadsheet reads a cell that starts like this as a formula.
bool IsFormulaStart(WCHAR c)
{
    return c == L'=' || c == L'+' || c == L'-' || c == L'@';
}

bool NeedsQuotes(WCHAR c, wchar_t separator)
{
    return c == separator || c == L'"' || c == L'\r' || c == L'\n';
}

void PutAscii(ReportFile& file, const char* text)
{
    for (const char* p = text; *p != '\0'; ++p)
        PutUnit(file, static_cast<WCHAR>(*p));
}

// A JSON string: quote, backslash and control characters escaped.
void PutJsonString(ReportFile& file, LPCWSTR text)
{
    for (LPCWSTR p = text; *p != L'\0'; ++p) {
        WCHAR c = *p;
        if (c == L'"' || c == L'\\') {
            PutUnit(file, L'\\');
            PutUnit(file, c);
        } else if (c == L'\n') {
            PutAscii(file, "\\n");
        } else if (c == L'\r') {
            PutAscii(file, "\\r");
        } else if (c == L'\t') {
            PutAscii(file, "\\t");
        } else if (c < 0x20) {
            char escape[8];
            const char digits[] = "0123456789abcdef";
            escape[0] = '\\';
            escape[1] = 'u';
            escape[2] = '0';
            escape[3] = '0';
            escape[4] = digits[(c >> 4) & 0xF];
            escape[5] = digits[c & 0xF];
            escape[6] = '\0';
            PutAscii(file, escape);
        } else {
            PutUnit(file, c);
        }
    }
}

// A plain field of a text table: items apart by ItemMark, control characters
// (which would break the table's lines) as spaces.
template <typename ForEachPiece> void PutPlainField(ReportFile& file, ForEachPiece forEachPiece)
{
    if (file.fieldIndex > 0)
        PutUnit(file, FieldMark);
    bool first = true;
    forEachPiece([&](LPCWSTR piece) {
        if (!first)
            PutUnit(file, ItemMark);
        first = false;
        for (LPCWSTR p = piece; *p != L'\0'; ++p)
            PutUnit(file, *p < 0x20 ? L' ' : *p);
    });
    EndPendingSurrogate(file);
}

// One field made of the pieces that `forEachPiece` hands to its visitor,
// joined with "; ": quoted when it holds the separator, a quote or a line
// break (quotes doubled), and with a leading ' when it would start a formula.
template <typename ForEachPiece> void PutField(ReportFile& file, ForEachPiece forEachPiece)
{
    if (file.format == ReportFields) {
        PutPlainField(file, forEachPiece);
        file.rowStarted = true;
        ++file.fieldIndex;
        return;
    }
    if (file.rowStarted)
        PutUnit(file, file.separator);
    file.rowStarted = true;
    ++file.fieldIndex;
    bool first = true;
    bool formula = false;
    bool quoted = false;
    forEachPiece([&](LPCWSTR piece) {
        if (first)
            formula = IsFormulaStart(piece[0]);
        first = false;
        for (LPCWSTR p = piece; *p != L'\0'; ++p)
            quoted = quoted || NeedsQuotes(*p, file.separator);
    });
    if (quoted)
        PutUnit(file, L'"');
    if (formula)
        PutUnit(file, L'\'');
    first = true;
    forEachPiece([&](LPCWSTR piece) {
        if (!first) {
            PutUnit(file, L';');
            PutUnit(file, L' ');
        }
        first = false;
        for (LPCWSTR p = piece; *p != L'\0'; ++p) {
            if (*p == L'"')
                PutUnit(file, L'"');
            PutUnit(file, *p);
        }
    });
    EndPendingSurrogate(file);
    if (quoted)
        PutUnit(file, L'"');
}

void PutText(ReportFile& file, LPCWSTR text)
{
    PutField(file, [&](auto visit) { visit(text != nullptr ? text : L""); });
}

void EndRow(ReportFile& file)
{
    if (file.format == ReportJson) {
        PutUnit(file, L'}');
    } else if (file.format == ReportFields) {
        PutUnit(file, RowMark);
    } else {
        if (file.crlf)
            PutUnit(file, L'\r');
        PutUnit(file, L'\n');
    }
    file.rowStarted = false;
    file.fieldIndex = 0;
    ++file.rowCount;
}

// ---- JSON for programs ------------------------------------------------------
// The lists' JSON form has keys of its own (ASCII, lower camel case) and typed
// values: strings, numbers, booleans, times as ISO 8601 UTC or null, arrays.

void PutJsonKey(ReportFile& file, const char* key)
{
    if (file.fieldIndex == 0)
        PutAscii(file, file.rowCount > 0 ? ",\n  {" : "  {");
    else
        PutAscii(file, ", ");
    PutUnit(file, L'"');
    PutAscii(file, key);
    PutAscii(file, "\": ");
    file.rowStarted = true;
    ++file.fieldIndex;
}

void PutJsonText(ReportFile& file, const char* key, LPCWSTR text)
{
    PutJsonKey(file, key);
    PutUnit(file, L'"');
    PutJsonString(file, text != nullptr ? text : L"");
    EndPendingSurrogate(file);
    PutUnit(file, L'"');
}

// A string, or null when there is none.
void PutJsonOptionalText(ReportFile& file, const char* key, LPCWSTR text)
{
    if (text == nullptr || text[0] == L'\0') {
        PutJsonKey(file, key);
        PutAscii(file, "null");
    } else {
        PutJsonText(file, key, text);
    }
}

void PutJsonBool(ReportFile& file, const char* key, bool value)
{
    PutJsonKey(file, key);
    PutAscii(file, value ? "true" : "false");
}

void PutJsonNumber(ReportFile& file, const char* key, DWORD value)
{
    char digits[16];
    int length = 0;
    do {
        digits[length++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    PutJsonKey(file, key);
    while (length > 0)
        PutUnit(file, static_cast<WCHAR>(digits[--length]));
}

// A time in seconds since 1970 as ISO 8601 UTC; null when `present` is false.
void PutJsonTime(ReportFile& file, const char* key, bool present, ULONGLONG seconds, LPWSTR value)
{
    value[0] = L'\0';
    if (present)
        FormatIsoTime(seconds, value, NameChars);
    PutJsonOptionalText(file, key, value);
}

// An array of the strings that `forEachItem` hands to its visitor.
template <typename ForEachItem>
void PutJsonArray(ReportFile& file, const char* key, ForEachItem forEachItem)
{
    PutJsonKey(file, key);
    PutUnit(file, L'[');
    bool first = true;
    forEachItem([&](LPCWSTR item) {
        if (!first)
            PutAscii(file, ", ");
        first = false;
        PutUnit(file, L'"');
        PutJsonString(file, item);
        EndPendingSurrogate(file);
        PutUnit(file, L'"');
    });
    PutUnit(file, L']');
}

// ---- The accounts ---------------------------------------------------------

// A local group with its identifier and its members (level 2: SID and
// "domain\name"), read once: the members also give the users' groups.
struct ReportGroup
{
    LPCWSTR name;
    LPCWSTR comment;
    PSID sid; // FreeBuffer
    LOCALGROUP_MEMBERS_INFO_2* members;
    DWORD memberCount;
    bool gone; // deleted while the report was read
};

struct GroupTable
{
    LPBYTE records = nullptr; // LOCALGROUP_INFO_1 from NetLocalGroupEnum
    ReportGroup* groups = nullptr;
    DWORD count = 0;

    ~GroupTable()
    {
        for (DWORD i = 0; groups != nullptr && i < count; ++i) {
            FreeBuffer(groups[i].sid);
            if (groups[i].members != nullptr)
                NetApiBufferFree(groups[i].members);
        }
        if (groups != nullptr)
            HeapFree(GetProcessHeap(), 0, groups);
        if (records != nullptr)
            NetApiBufferFree(records);
    }
};

// One LookupAccountNameW in the usual two steps; the SID is freed with FreeBuffer.
PSID LookupSid(LPCWSTR server, LPCWSTR name, SID_NAME_USE* use, LPWSTR domain, DWORD* status)
{
    DWORD sidSize = 0;
    DWORD domainChars = 0;
    LookupAccountNameW(server, name, nullptr, &sidSize, nullptr, &domainChars, use);
    *status = GetLastError();
    if (sidSize == 0 || domainChars >= NameChars)
        return nullptr;
    PSID sid = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sidSize);
    domainChars = static_cast<DWORD>(NameChars);
    if (sid != nullptr &&
        LookupAccountNameW(server, name, sid, &sidSize, domain, &domainChars, use))
        return sid;
    *status = sid != nullptr ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    FreeBuffer(sid);
    return nullptr;
}

// A group's SID. A group named like the computer is found as the computer's
// domain first; qualified with that domain the group itself is found.
PSID LookupGroupSid(LPCWSTR server, LPCWSTR name, DWORD* status)
{
    LPWSTR domain = AllocBuffer(NameChars);
    LPWSTR qualified = AllocBuffer(NameChars + NameChars);
    PSID sid = nullptr;
    SID_NAME_USE use = SidTypeUnknown;
    *status = ERROR_NOT_ENOUGH_MEMORY;
    if (domain != nullptr && qualified != nullptr)
        sid = LookupSid(server, name, &use, domain, status);
    if (sid != nullptr && use == SidTypeDomain) {
        FreeBuffer(sid);
        sid = nullptr;
        if (FormatBounded(qualified, NameChars + NameChars, L"%s\\%s", domain, name) >= 0)
            sid = LookupSid(server, qualified, &use, domain, status);
    }
    FreeBuffer(qualified);
    FreeBuffer(domain);
    return sid;
}

// The calls of a remote computer go out a few at a time; the local computer's
// one after the other.
int CallsInFlight(LPCWSTR server)
{
    return server != nullptr && server[0] != L'\0' ? RemoteCallsInFlight : 1;
}

// Lowers `failedAt` to `index`: the calls after the first failure are not made,
// as they would not be one after the other.
void NoteFailure(volatile LONG& failedAt, size_t index)
{
    LONG seen = failedAt;
    while (static_cast<LONG>(index) < seen) {
        LONG previous = InterlockedCompareExchange(&failedAt, static_cast<LONG>(index), seen);
        if (previous == seen)
            break;
        seen = previous;
    }
}

// One group's SID and members; the status that ends the report, or 0. A group
// that is gone by the time its details are read is marked.
DWORD ReadGroup(LPCWSTR server, ReportGroup& group)
{
    DWORD lookup = 0;
    group.sid = LookupGroupSid(server, group.name, &lookup);
    if (group.sid == nullptr) {
        if (lookup != ERROR_NONE_MAPPED)
            return lookup != 0 ? lookup : ERROR_INVALID_SID;
        group.gone = true;
        return 0;
    }
    LPBYTE members = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = NetLocalGroupGetMembers(server, group.name, 2, &members,
                                                    MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    group.members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(members);
    group.memberCount = read;
    if (status == NERR_GroupNotFound || status == ERROR_NO_SUCH_ALIAS)
        group.gone = true;
    else if (status != NERR_Success)
        return status;
    return 0;
}

// The reads of every group, each status at its group's index.
struct GroupReads
{
    LPCWSTR server;
    ReportGroup* groups;
    DWORD* statuses;
    volatile LONG failedAt;
};

void MakeGroupRead(void* context, size_t index)
{
    GroupReads& reads = *static_cast<GroupReads*>(context);
    if (static_cast<LONG>(index) > reads.failedAt)
        return;
    reads.statuses[index] = ReadGroup(reads.server, reads.groups[index]);
    if (reads.statuses[index] != 0)
        NoteFailure(reads.failedAt, index);
}

// Reads every local group with its SID and members. A group that is gone by
// the time its details are read is marked and left out.
DWORD ReadGroups(LPCWSTR server, GroupTable& table)
{
    DWORD total = 0;
    DWORD_PTR resume = 0;
    // Asked for everything at once: an answer in parts would leave groups out.
    NET_API_STATUS status = NetLocalGroupEnum(server, 1, &table.records, MAX_PREFERRED_LENGTH,
                                              &table.count, &total, &resume);
    if (status != NERR_Success)
        return status;
    if (table.count == 0)
        return 0;
    table.groups = static_cast<ReportGroup*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, table.count * sizeof(ReportGroup)));
    auto* statuses = static_cast<DWORD*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, table.count * sizeof(DWORD)));
    if (table.groups == nullptr || statuses == nullptr) {
        if (statuses != nullptr)
            HeapFree(GetProcessHeap(), 0, statuses);
        table.count = 0;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto* records = reinterpret_cast<LOCALGROUP_INFO_1*>(table.records);
    for (DWORD i = 0; i < table.count; ++i) {
        table.groups[i].name = records[i].lgrpi1_name;
        table.groups[i].comment = records[i].lgrpi1_comment;
    }
    GroupReads reads = {server, table.groups, statuses, MAXLONG};
    RunIndexedCalls(table.count, CallsInFlight(server), MakeGroupRead, &reads);
    DWORD failure = 0;
    for (DWORD i = 0; i < table.count && failure == 0; ++i)
        failure = statuses[i];
    HeapFree(GetProcessHeap(), 0, statuses);
    return failure;
}

bool IsMember(const ReportGroup& group, PSID sid)
{
    for (DWORD i = 0; i < group.memberCount; ++i)
        if (group.members[i].lgrmi2_sid != nullptr && EqualSid(group.members[i].lgrmi2_sid, sid))
            return true;
    return false;
}

// A member as the report names it: "DOMAIN\\name", or its SID where nobody
// here can name it (an Entra ID or a deleted account), so that the text can be
// imported again.
template <typename Visit> void VisitMemberName(const LOCALGROUP_MEMBERS_INFO_2& member, Visit visit)
{
    LPCWSTR name = member.lgrmi2_domainandname;
    bool named =
        name != nullptr && name[0] != L'\0' && member.lgrmi2_sidusage != SidTypeDeletedAccount &&
        member.lgrmi2_sidusage != SidTypeUnknown && member.lgrmi2_sidusage != SidTypeInvalid;
    LPWSTR sidText = nullptr;
    if (!named && member.lgrmi2_sid != nullptr &&
        ConvertSidToStringSidW(member.lgrmi2_sid, &sidText) && sidText != nullptr) {
        visit(static_cast<LPCWSTR>(sidText));
        LocalFree(sidText);
        return;
    }
    visit(name != nullptr ? name : L"");
}

DWORD RidOf(PSID sid)
{
    if (sid == nullptr || !IsValidSid(sid) || *GetSidSubAuthorityCount(sid) == 0)
        return 0;
    return *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
}

// Kind, name, ID, full name, comment and SID: the columns every row has
// (after the computer's name in a report of several computers).
void PutIdentity(ReportFile& file, LPCWSTR kind, LPCWSTR name, PSID sid, LPCWSTR fullName,
                 LPCWSTR comment, LPWSTR value)
{
    if (file.computer != nullptr)
        PutText(file, file.computer);
    PutText(file, kind);
    PutText(file, name);
    FormatBounded(value, NameChars, L"%lu", RidOf(sid));
    PutText(file, value);
    PutText(file, fullName);
    PutText(file, comment);
    LPWSTR sidText = nullptr;
    if (sid != nullptr && ConvertSidToStringSidW(sid, &sidText) && sidText != nullptr) {
        PutText(file, sidText);
        LocalFree(sidText);
    } else {
        PutText(file, L"");
    }
}

LPCWSTR YesNo(bool yes)
{
    return yes ? L"はい" : L"いいえ";
}

// The internet principal name of a user connected to a Microsoft account, or null.
LPCWSTR InternetPrincipal(const USER_INFO_24* identity)
{
    if (identity == nullptr || !identity->usri24_internet_identity)
        return nullptr;
    return identity->usri24_internet_principal_name;
}

template <typename Visit>
void VisitUserGroups(const USER_INFO_4& user, const GroupTable& table, Visit visit)
{
    for (DWORD i = 0; i < table.count; ++i)
        if (!table.groups[i].gone && user.usri4_user_sid != nullptr &&
            IsMember(table.groups[i], user.usri4_user_sid))
            visit(table.groups[i].name);
}

void PutSidJson(ReportFile& file, PSID sid)
{
    LPWSTR sidText = nullptr;
    if (sid != nullptr && ConvertSidToStringSidW(sid, &sidText) && sidText != nullptr) {
        PutJsonText(file, "sid", sidText);
        LocalFree(sidText);
    } else {
        PutJsonOptionalText(file, "sid", nullptr);
    }
}

void PutUserJson(ReportFile& file, const USER_INFO_4& user, const USER_INFO_24* identity,
                 const GroupTable& table, LPWSTR value)
{
    if (file.computer != nullptr)
        PutJsonText(file, "computer", file.computer);
    PutJsonText(file, "name", user.usri4_name);
    PutJsonNumber(file, "rid", RidOf(user.usri4_user_sid));
    PutSidJson(file, user.usri4_user_sid);
    PutJsonText(file, "fullName", user.usri4_full_name);
    PutJsonText(file, "comment", user.usri4_comment);
    DWORD flags = user.usri4_flags;
    PutJsonBool(file, "enabled", (flags & UF_ACCOUNTDISABLE) == 0);
    PutJsonBool(file, "lockedOut", (flags & UF_LOCKOUT) != 0);
    PutJsonBool(file, "mustChangePassword", (flags & UF_PASSWORD_EXPIRED) != 0);
    PutJsonBool(file, "cannotChangePassword", (flags & UF_PASSWD_CANT_CHANGE) != 0);
    PutJsonBool(file, "passwordNeverExpires", (flags & UF_DONT_EXPIRE_PASSWD) != 0);
    PutJsonTime(file, "lastLogon", user.usri4_last_logon != 0, LastLogonTime(user), value);
    PutJsonTime(file, "passwordLastSet", true, LastPasswordChangeTime(user), value);
    PutJsonTime(file, "passwordExpires", user.usri4_password_expired != 0,
                PasswordExpiredTime(user), value);
    // TIMEQ_FOREVER alone means never; 0 is 1970-01-01, an account that has expired.
    PutJsonTime(file, "accountExpires", user.usri4_acct_expires != TIMEQ_FOREVER,
                user.usri4_acct_expires, value);
    PutJsonOptionalText(file, "microsoftAccount", InternetPrincipal(identity));
    PutJsonArray(file, "groups", [&](auto visit) { VisitUserGroups(user, table, visit); });
    EndRow(file);
}

void PutGroupJson(ReportFile& file, const ReportGroup& group)
{
    if (file.computer != nullptr)
        PutJsonText(file, "computer", file.computer);
    PutJsonText(file, "name", group.name);
    PutJsonNumber(file, "rid", RidOf(group.sid));
    PutSidJson(file, group.sid);
    PutJsonText(file, "comment", group.comment);
    PutJsonArray(file, "members", [&](auto visit) {
        for (DWORD i = 0; i < group.memberCount; ++i)
            VisitMemberName(group.members[i], visit);
    });
    EndRow(file);
}

void PutUserRow(ReportFile& file, const USER_INFO_4& user, const USER_INFO_24* identity,
                const GroupTable& table, LPWSTR value)
{
    if (file.format == ReportJson) {
        PutUserJson(file, user, identity, table, value);
        return;
    }
    PutIdentity(file, L"ユーザー", user.usri4_name, user.usri4_user_sid, user.usri4_full_name,
                user.usri4_comment, value);
    DWORD flags = user.usri4_flags;
    PutText(file, (flags & UF_ACCOUNTDISABLE) != 0 ? L"無効" : L"有効");
    PutText(file, YesNo((flags & UF_LOCKOUT) != 0));
    PutText(file, YesNo((flags & UF_PASSWORD_EXPIRED) != 0));
    PutText(file, YesNo((flags & UF_PASSWD_CANT_CHANGE) != 0));
    PutText(file, YesNo((flags & UF_DONT_EXPIRE_PASSWD) == 0));
    FormatLastLogon(user, value, NameChars);
    PutText(file, value);
    FormatLastPasswordChange(user, value, NameChars);
    PutText(file, value);
    FormatPasswordExpiry(user, value, NameChars);
    PutText(file, value);
    FormatAccountExpiry(user, value, NameChars);
    PutText(file, value);
    PutField(file, [&](auto visit) {
        bool any = false;
        VisitUserGroups(user, table, [&](LPCWSTR name) {
            visit(name);
            any = true;
        });
        if (!any)
            visit(L"");
    });
    PutText(file, L"");
    PutText(file, InternetPrincipal(identity));
    EndRow(file);
}

void PutGroupRow(ReportFile& file, const ReportGroup& group, LPWSTR value)
{
    if (file.format == ReportJson) {
        PutGroupJson(file, group);
        return;
    }
    PutIdentity(file, L"グループ", group.name, group.sid, L"", group.comment, value);
    for (int i = 0; i < UserOnlyFields; ++i)
        PutText(file, L"");
    PutText(file, L"");
    PutField(file, [&](auto visit) {
        for (DWORD i = 0; i < group.memberCount; ++i)
            VisitMemberName(group.members[i], visit);
        if (group.memberCount == 0)
            visit(L"");
    });
    PutText(file, L"");
    EndRow(file);
}

// The reads of one page of users, each record and status at its user's index,
// and the next page of the enumeration as call `pageCall` when `readNext` is
// set: first when calls go out at once, after the users when one by one.
struct UserReads
{
    LPCWSTR server;
    const NET_DISPLAY_USER* users;
    LPBYTE* records;
    LPBYTE* identities; // USER_INFO_24 of each record, null where none was read
    NET_API_STATUS* statuses;
    volatile LONG failedAt;
    bool readNext;
    size_t pageCall;
    DWORD nextIndex;
    NET_API_STATUS nextStatus;
    DWORD nextCount;
    PVOID nextPage;
};

void ReadUserPage(LPCWSTR server, DWORD index, NET_API_STATUS& status, DWORD& count, PVOID& page)
{
    count = 0;
    page = nullptr;
    status = NetQueryDisplayInformation(server, 1, index, UsersPerPage, MAX_PREFERRED_LENGTH,
                                        &count, &page);
}

// The user's connection to a Microsoft account (level 24). A computer older
// than Windows 8 knows no such level: its users have none.
NET_API_STATUS ReadIdentity(LPCWSTR server, LPCWSTR name, LPBYTE* identity)
{
    NET_API_STATUS read = NetUserGetInfo(server, name, 24, identity);
    if (read == ERROR_INVALID_LEVEL || read == ERROR_NOT_SUPPORTED) {
        if (*identity != nullptr)
            NetApiBufferFree(*identity);
        *identity = nullptr;
        return NERR_Success;
    }
    return read;
}

void MakeUserRead(void* context, size_t index)
{
    UserReads& reads = *static_cast<UserReads*>(context);
    if (reads.readNext && index == reads.pageCall) {
        if (reads.failedAt == MAXLONG)
            ReadUserPage(reads.server, reads.nextIndex, reads.nextStatus, reads.nextCount,
                         reads.nextPage);
        return;
    }
    if (reads.readNext && index > reads.pageCall)
        --index;
    if (static_cast<LONG>(index) > reads.failedAt)
        return;
    NET_API_STATUS read =
        NetUserGetInfo(reads.server, reads.users[index].usri1_name, 4, &reads.records[index]);
    if (read == NERR_Success && reads.records[index] == nullptr)
        read = ERROR_INVALID_DATA;
    if (read == NERR_Success)
        read = ReadIdentity(reads.server, reads.users[index].usri1_name, &reads.identities[index]);
    reads.statuses[index] = read;
    if (read != NERR_Success && read != NERR_UserNotFound)
        NoteFailure(reads.failedAt, index);
}

// The rows of one page's users in their order; the status that ends the report, or 0.
DWORD PutUserPageRows(ReportFile& file, const GroupTable& table, const UserReads& reads,
                      DWORD count, LPWSTR value)
{
    for (DWORD i = 0; i < count && file.error == 0; ++i) {
        if (reads.statuses[i] == NERR_Success)
            PutUserRow(file, *reinterpret_cast<USER_INFO_4*>(reads.records[i]),
                       reinterpret_cast<const USER_INFO_24*>(reads.identities[i]), table, value);
        else if (reads.statuses[i] != NERR_UserNotFound)
            return reads.statuses[i];
    }
    return 0;
}

// One row per user, read afresh at level 4, each page's users read while the
// next page is. A user deleted since the list was read is left out; any other
// failure ends the report.
DWORD PutUserRows(ReportFile& file, LPCWSTR server, const GroupTable& table, LPWSTR value)
{
    int inFlight = CallsInFlight(server);
    UserReads reads = {};
    reads.server = server;
    reads.records = reinterpret_cast<LPBYTE*>(AllocBuffer(UsersPerPage * sizeof(LPBYTE)));
    reads.identities = reinterpret_cast<LPBYTE*>(AllocBuffer(UsersPerPage * sizeof(LPBYTE)));
    reads.statuses = reinterpret_cast<NET_API_STATUS*>(AllocBuffer(UsersPerPage * sizeof(DWORD)));
    NET_API_STATUS status;
    DWORD count = 0;
    PVOID page = nullptr;
    ReadUserPage(server, 0, status, count, page);
    DWORD failure =
        reads.records == nullptr || reads.identities == nullptr || reads.statuses == nullptr
            ? ERROR_NOT_ENOUGH_MEMORY
            : 0;
    while (failure == 0 && (status == NERR_Success || status == ERROR_MORE_DATA)) {
        auto* users = static_cast<NET_DISPLAY_USER*>(page);
        // No more users in a page than were asked for, so that their answers fit.
        DWORD listed = users == nullptr ? 0 : count < UsersPerPage ? count : UsersPerPage;
        // A page that says "more" but brings nothing would never end.
        bool more = status == ERROR_MORE_DATA && count != 0;
        reads.users = users;
        reads.failedAt = MAXLONG;
        reads.nextPage = nullptr;
        reads.readNext = more;
        reads.pageCall = inFlight > 1 ? 0 : listed;
        if (listed > 0)
            reads.nextIndex = users[listed - 1].usri1_next_index;
        for (DWORD i = 0; i < listed; ++i) {
            reads.records[i] = nullptr;
            reads.identities[i] = nullptr;
            reads.statuses[i] = NERR_Success;
        }
        RunIndexedCalls(listed + (more ? 1 : 0), inFlight, MakeUserRead, &reads);
        failure = PutUserPageRows(file, table, reads, listed, value);
        for (DWORD i = 0; i < listed; ++i) {
            if (reads.records[i] != nullptr)
                NetApiBufferFree(reads.records[i]);
            if (reads.identities[i] != nullptr)
                NetApiBufferFree(reads.identities[i]);
        }
        if (page != nullptr)
            NetApiBufferFree(page);
        page = nullptr;
        if (!more || failure != 0 || file.error != 0) {
            if (reads.nextPage != nullptr)
                NetApiBufferFree(reads.nextPage);
            status = NERR_Success;
            break;
        }
        status = reads.nextStatus;
        count = reads.nextCount;
        page = reads.nextPage;
    }
    if (page != nullptr)
        NetApiBufferFree(page);
    FreeBuffer(reads.records);
    FreeBuffer(reads.identities);
    FreeBuffer(reads.statuses);
    if (failure != 0)
        return failure;
    return status == NERR_Success || status == ERROR_MORE_DATA ? 0 : status;
}

const BYTE ByteOrderMark[] = {0xEF, 0xBB, 0xBF};

// The column names of CSV and TSV; the other forms have no header row.
void PutHeader(ReportFile& file, bool withComputer)
{
    if (file.format == ReportJson || file.format == ReportFields)
        return;
    if (withComputer)
        PutText(file, ComputerField);
    for (LPCWSTR header : ReportColumnNames)
        PutText(file, header);
    EndRow(file);
    file.rowCount = 0;
}

DWORD PutRows(ReportFile& file, LPCWSTR server)
{
    GroupTable table;
    LPWSTR value = AllocBuffer(NameChars);
    DWORD status = value != nullptr ? ReadGroups(server, table) : ERROR_NOT_ENOUGH_MEMORY;
    if (status == 0 && (file.kinds & ReportUsers) != 0)
        status = PutUserRows(file, server, table, value);
    for (DWORD i = 0; status == 0 && (file.kinds & ReportGroups) != 0 && i < table.count; ++i)
        if (!table.groups[i].gone)
            PutGroupRow(file, table.groups[i], value);
    FreeBuffer(value);
    Flush(file);
    return status != 0 ? status : file.error;
}

DWORD PutReport(ReportFile& file, LPCWSTR server)
{
    PutBytes(file, ByteOrderMark, sizeof(ByteOrderMark));
    PutHeader(file, false);
    return PutRows(file, server);
}

DWORD PutParts(ReportFile& file, const ReportRows* parts, size_t count)
{
    PutBytes(file, ByteOrderMark, sizeof(ByteOrderMark));
    Flush(file);
    for (size_t i = 0; i < count && file.error == 0; ++i) {
        DWORD written = 0;
        if (parts[i].length > 0 &&
            (!WriteFile(file.handle, parts[i].bytes, static_cast<DWORD>(parts[i].length), &written,
                        nullptr) ||
             written != parts[i].length))
            file.error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    }
    return file.error;
}

// The folder part of `path` (without the last backslash), or "." for a bare name.
void FolderOf(LPCWSTR path, LPWSTR folder, size_t chars)
{
    FormatBounded(folder, chars, L"%s", path);
    LPWSTR cut = nullptr;
    for (LPWSTR p = folder; *p != L'\0'; ++p)
        if (*p == L'\\' || *p == L'/')
            cut = p;
    if (cut == nullptr)
        FormatBounded(folder, chars, L".");
    else if (cut == folder || cut[-1] == L':')
        cut[1] = L'\0'; // keep the root's backslash
    else
        *cut = L'\0';
}

// Writes `path` whole or not at all: `fill` writes the content into a
// temporary file in the same folder, which replaces `path` once complete.
template <typename Fill> DWORD ReplaceFileWith(LPCWSTR path, ReportFile& file, Fill fill)
{
    if (path == nullptr || path[0] == L'\0')
        return ERROR_INVALID_NAME;
    LPWSTR folder = AllocBuffer(PathChars);
    LPWSTR temporary = AllocBuffer(PathChars);
    file.block = reinterpret_cast<BYTE*>(AllocBuffer(ReportBlockBytes / sizeof(WCHAR)));
    DWORD status = 0;
    if (folder == nullptr || temporary == nullptr || file.block == nullptr) {
        status = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        FolderOf(path, folder, PathChars);
        if (!GetTempFileNameW(folder, L"amb", 0, temporary)) {
            status = GetLastError();
            temporary[0] = L'\0';
        }
    }
    if (status == 0) {
        file.handle = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        status = file.handle == INVALID_HANDLE_VALUE ? GetLastError() : fill(file);
        if (file.handle != INVALID_HANDLE_VALUE && !CloseHandle(file.handle) && status == 0)
            status = GetLastError();
    }
    if (status == 0 && !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING))
        status = GetLastError();
    if (status != 0 && temporary != nullptr && temporary[0] != L'\0')
        DeleteFileW(temporary);
    FreeBuffer(file.block);
    FreeBuffer(temporary);
    FreeBuffer(folder);
    return status;
}

// Gathers into `rows` what `fill` puts into a report in memory.
template <typename Fill> DWORD GatherRows(ReportFile& file, ReportRows* rows, Fill fill)
{
    file.memory = rows;
    file.block = reinterpret_cast<BYTE*>(AllocBuffer(ReportBlockBytes / sizeof(WCHAR)));
    DWORD status = file.block != nullptr ? fill(file) : ERROR_NOT_ENOUGH_MEMORY;
    Flush(file);
    if (status == 0)
        status = file.error;
    rows->rowCount = file.rowCount;
    FreeBuffer(file.block);
    return status;
}
} // namespace

DWORD WriteAccountReport(LPCWSTR server, LPCWSTR path, ReportFormat format)
{
    ReportFile file;
    file.format = format == ReportTsv ? ReportTsv : ReportCsv;
    file.separator = format == ReportTsv ? L'\t' : L',';
    return ReplaceFileWith(path, file, [&](ReportFile& open) { return PutReport(open, server); });
}

DWORD WriteReportParts(LPCWSTR path, const ReportRows* parts, size_t count)
{
    ReportFile file;
    return ReplaceFileWith(path, file,
                           [&](ReportFile& open) { return PutParts(open, parts, count); });
}

DWORD ReadReportHeader(ReportFormat format, bool withComputer, bool crlf, ReportRows* rows)
{
    ReportFile file;
    file.format = format;
    file.separator = format == ReportTsv ? L'\t' : L',';
    file.crlf = crlf;
    return GatherRows(file, rows, [&](ReportFile& open) {
        PutHeader(open, withComputer);
        return DWORD(0);
    });
}

DWORD ReadReportRows(LPCWSTR server, const ReportOptions& options, ReportRows* rows)
{
    ReportFile file;
    file.format = options.format;
    file.separator = options.format == ReportTsv ? L'\t' : L',';
    file.crlf = options.crlf;
    file.computer = options.computerColumn;
    file.kinds = options.kinds;
    return GatherRows(file, rows, [&](ReportFile& open) { return PutRows(open, server); });
}

DWORD ReadMicrosoftAccount(LPCWSTR server, LPCWSTR name, LPWSTR address, size_t chars)
{
    address[0] = L'\0';
    LPBYTE identity = nullptr;
    DWORD status = ReadIdentity(server, name, &identity);
    LPCWSTR principal = InternetPrincipal(reinterpret_cast<const USER_INFO_24*>(identity));
    if (status == NERR_Success && principal != nullptr)
        FormatBounded(address, chars, L"%s", principal);
    if (identity != nullptr)
        NetApiBufferFree(identity);
    return status;
}

void FreeReportRows(ReportRows* rows)
{
    if (rows->bytes != nullptr)
        HeapFree(GetProcessHeap(), 0, rows->bytes);
    *rows = ReportRows();
}
