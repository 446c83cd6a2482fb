// The password and lock-out policy: read and written with NetUserModalsGet and
// NetUserModalsSet at levels 0 and 3, checked against Windows' rules first, and
// formatted for the console, the dialog, the lists and the report.
#include "accountpolicy.h"

#include <lm.h>

#include <cwchar>

#include "textformat.h"

namespace {
constexpr DWORD SecondsPerDay = 86400;
constexpr DWORD SecondsPerMinute = 60;

const wchar_t* const Labels[PolicyValueCount] = {
    L"パスワードの変更禁止期間 (日)",        L"パスワードの有効期間 (日)",
    L"パスワードの長さ (最小文字数)",        L"パスワードの履歴 (記憶する数)",
    L"アカウントのロックアウトのしきい値 (回)", L"ロックアウト期間 (分)",
    L"ロックアウト カウンターのリセット (分)"};

// The JSON keys, ASCII lower camel case with the unit in the name.
const char* const JsonKeys[PolicyValueCount] = {
    "minPasswordAgeDays",    "maxPasswordAgeDays",     "minPasswordLength",   "passwordHistoryLength",
    "lockoutThreshold",      "lockoutDurationMinutes", "lockoutWindowMinutes"};

// The local security policy's ranges: ages 0-998 / 1-999 days, lock-out times
// 1-99999 minutes (0: until an administrator unlocks), 0-999 bad passwords.
const PolicyRange Ranges[PolicyValueCount] = {
    {0, 998, false}, {1, 999, true}, {0, LM20_PWLEN, false}, {0, DEF_MAX_PWHIST, false},
    {0, 999, false}, {1, 99999, true}, {1, 99999, false}};

DWORD ToUnits(DWORD seconds, DWORD unit)
{
    return seconds == TIMEQ_FOREVER ? PolicyUnlimited : seconds / unit;
}

DWORD FromUnits(DWORD units, DWORD unit)
{
    return units == PolicyUnlimited ? TIMEQ_FOREVER : units * unit;
}

bool InRange(DWORD units, const PolicyRange& range)
{
    if (units == PolicyUnlimited)
        return range.unlimitedAllowed;
    return units >= range.min && units <= range.max;
}

void ToLevel0(const AccountPolicy& p, USER_MODALS_INFO_0& info)
{
    info.usrmod0_min_passwd_len = p.minLength;
    info.usrmod0_max_passwd_age = p.maxAge;
    info.usrmod0_min_passwd_age = p.minAge;
    info.usrmod0_force_logoff = p.forceLogoff;
    info.usrmod0_password_hist_len = p.history;
}

void ToLevel3(const AccountPolicy& p, USER_MODALS_INFO_3& info)
{
    info.usrmod3_lockout_duration = p.duration;
    info.usrmod3_lockout_observation_window = p.window;
    info.usrmod3_lockout_threshold = p.threshold;
}

bool PasswordPartDiffers(const AccountPolicy& a, const AccountPolicy& b)
{
    return a.minLength != b.minLength || a.maxAge != b.maxAge || a.minAge != b.minAge ||
           a.history != b.history || a.forceLogoff != b.forceLogoff;
}

bool LockoutPartDiffers(const AccountPolicy& a, const AccountPolicy& b)
{
    return a.threshold != b.threshold || a.duration != b.duration || a.window != b.window;
}

void AppendWide(TextBuffer* out, const wchar_t* text)
{
    AppendText(out, text, wcslen(text));
}

void AppendAscii(TextBuffer* out, const char* text)
{
    for (; *text != '\0'; ++text) {
        wchar_t c = static_cast<unsigned char>(*text);
        AppendText(out, &c, 1);
    }
}

// A computer name cannot hold the separators; a leading = + - @ is kept from
// being read as a formula, as the account report does.
void AppendCell(TextBuffer* out, const wchar_t* text)
{
    if (wcschr(L"=+-@", text[0]) != nullptr && text[0] != L'\0')
        AppendWide(out, L"'");
    AppendWide(out, text);
}

void AppendJsonString(TextBuffer* out, const wchar_t* text)
{
    AppendWide(out, L"\"");
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        wchar_t escaped[8];
        if (*p == L'"' || *p == L'\\') {
            FormatBounded(escaped, 8, L"\\%c", *p);
        } else if (*p < L' ') {
            FormatBounded(escaped, 8, L"\\u%04x", static_cast<unsigned>(*p));
        } else {
            escaped[0] = *p;
            escaped[1] = L'\0';
        }
        AppendWide(out, escaped);
    }
    AppendWide(out, L"\"");
}

void AppendSeparatedRow(TextBuffer* out, const PolicyRow& row, const wchar_t* separator,
                        const wchar_t* end)
{
    AppendCell(out, row.computer);
    for (int v = 0; v < PolicyValueCount; ++v) {
        wchar_t value[32];
        FormatPolicyValue(*row.policy, static_cast<PolicyValue>(v), value, 32);
        AppendWide(out, separator);
        AppendWide(out, value);
    }
    AppendWide(out, end);
}

void AppendJsonObject(TextBuffer* out, const PolicyRow& row)
{
    AppendWide(out, L"{\"computer\": ");
    AppendJsonString(out, row.computer);
    for (int v = 0; v < PolicyValueCount; ++v) {
        DWORD units = GetPolicyValue(*row.policy, static_cast<PolicyValue>(v));
        wchar_t number[16] = L"null";
        if (units != PolicyUnlimited)
            FormatBounded(number, 16, L"%lu", units);
        AppendWide(out, L", \"");
        AppendAscii(out, JsonKeys[v]);
        AppendWide(out, L"\": ");
        AppendWide(out, number);
    }
    AppendWide(out, L"}");
}

LPWSTR DetachText(TextBuffer* out)
{
    if (out->failed || out->text == nullptr) {
        FreeTextBuffer(out);
        return nullptr;
    }
    auto* copy = static_cast<LPWSTR>(LocalAlloc(LMEM_ZEROINIT, (out->length + 1) * sizeof(wchar_t)));
    if (copy != nullptr)
        memcpy(copy, out->text, out->length * sizeof(wchar_t));
    FreeTextBuffer(out);
    return copy;
}
} // namespace

PolicyRange PolicyValueRange(PolicyValue value)
{
    return Ranges[value];
}

const wchar_t* PolicyValueLabel(PolicyValue value)
{
    return Labels[value];
}

bool IsLockoutValue(PolicyValue value)
{
    return value == PolicyThreshold || value == PolicyDuration || value == PolicyWindow;
}

// Whole days and minutes, as `net accounts` shows them.
DWORD GetPolicyValue(const AccountPolicy& p, PolicyValue value)
{
    switch (value) {
    case PolicyMinAge:
        return p.minAge / SecondsPerDay;
    case PolicyMaxAge:
        return ToUnits(p.maxAge, SecondsPerDay);
    case PolicyMinLength:
        return p.minLength;
    case PolicyHistory:
        return p.history;
    case PolicyThreshold:
        return p.threshold;
    case PolicyDuration:
        return ToUnits(p.duration, SecondsPerMinute);
    case PolicyWindow:
        return p.window / SecondsPerMinute;
    case PolicyValueCount:
        break;
    }
    return 0;
}

void SetPolicyValue(AccountPolicy* p, PolicyValue value, DWORD units)
{
    switch (value) {
    case PolicyMinAge:
        p->minAge = units * SecondsPerDay;
        break;
    case PolicyMaxAge:
        p->maxAge = FromUnits(units, SecondsPerDay);
        break;
    case PolicyMinLength:
        p->minLength = units;
        break;
    case PolicyHistory:
        p->history = units;
        break;
    case PolicyThreshold:
        p->threshold = units;
        break;
    case PolicyDuration:
        p->duration = FromUnits(units, SecondsPerMinute);
        break;
    case PolicyWindow:
        p->window = units * SecondsPerMinute;
        break;
    case PolicyValueCount:
        break;
    }
}

PolicyValue FindPolicyProblem(const AccountPolicy& p, PolicyValue* other)
{
    *other = PolicyValueCount;
    for (int v = 0; v < PolicyValueCount; ++v) {
        auto value = static_cast<PolicyValue>(v);
        if (!InRange(GetPolicyValue(p, value), Ranges[v]))
            return value;
    }
    // USER_MODALS_INFO_0: the minimum age may not pass the maximum age.
    if (p.maxAge != TIMEQ_FOREVER && p.minAge > p.maxAge) {
        *other = PolicyMaxAge;
        return PolicyMinAge;
    }
    // A reset window longer than a lock-out that ends is refused by Windows.
    if (p.duration != TIMEQ_FOREVER && p.window > p.duration) {
        *other = PolicyDuration;
        return PolicyWindow;
    }
    return PolicyValueCount;
}

void DescribePolicyProblem(const AccountPolicy& p, PolicyValue value, PolicyValue other,
                           wchar_t* buffer, size_t chars)
{
    wchar_t shown[32];
    FormatPolicyValue(p, value, shown, 32);
    if (other == PolicyValueCount) {
        const PolicyRange& range = Ranges[value];
        FormatBounded(buffer, chars, L"%s の値 %s は指定できません。%lu から %lu の数値%sを指定してください。",
                      Labels[value], shown, range.min, range.max,
                      range.unlimitedAllowed ? L"か「無期限」" : L"");
        return;
    }
    wchar_t second[32];
    FormatPolicyValue(p, other, second, 32);
    FormatBounded(buffer, chars, L"%s の %s は、%s の %s 以下にしてください。", Labels[value], shown,
                  Labels[other], second);
}

DWORD ReadAccountPolicy(LPCWSTR server, AccountPolicy* policy)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserModalsGet(server, 0, &buffer);
    if (status != NERR_Success)
        return status;
    const auto* info0 = reinterpret_cast<const USER_MODALS_INFO_0*>(buffer);
    policy->minLength = info0->usrmod0_min_passwd_len;
    policy->maxAge = info0->usrmod0_max_passwd_age;
    policy->minAge = info0->usrmod0_min_passwd_age;
    policy->forceLogoff = info0->usrmod0_force_logoff;
    policy->history = info0->usrmod0_password_hist_len;
    NetApiBufferFree(buffer);
    buffer = nullptr;
    status = NetUserModalsGet(server, 3, &buffer);
    if (status != NERR_Success)
        return status;
    const auto* info3 = reinterpret_cast<const USER_MODALS_INFO_3*>(buffer);
    policy->duration = info3->usrmod3_lockout_duration;
    policy->window = info3->usrmod3_lockout_observation_window;
    policy->threshold = info3->usrmod3_lockout_threshold;
    NetApiBufferFree(buffer);
    return NERR_Success;
}

DWORD WriteAccountPolicy(LPCWSTR server, const AccountPolicy& before, const AccountPolicy& after,
                         DWORD* parmErr)
{
    *parmErr = 0;
    // Each level's rules are its own (the ages at level 0, the lock-out times at
    // level 3), so neither write depends on the other; when the second fails,
    // the first stays written, as every write of these programs does.
    if (LockoutPartDiffers(before, after)) {
        USER_MODALS_INFO_3 info = {};
        ToLevel3(after, info);
        NET_API_STATUS status = NetUserModalsSet(server, 3, reinterpret_cast<LPBYTE>(&info), parmErr);
        if (status != NERR_Success)
            return status;
    }
    if (PasswordPartDiffers(before, after)) {
        USER_MODALS_INFO_0 info = {};
        ToLevel0(after, info);
        NET_API_STATUS status = NetUserModalsSet(server, 0, reinterpret_cast<LPBYTE>(&info), parmErr);
        if (status != NERR_Success)
            return status;
    }
    return NERR_Success;
}

void FormatPolicyValue(const AccountPolicy& p, PolicyValue value, wchar_t* buffer, size_t chars)
{
    DWORD units = GetPolicyValue(p, value);
    if (units == PolicyUnlimited)
        FormatBounded(buffer, chars, L"無期限");
    else if (units == 0 && (value == PolicyHistory || value == PolicyThreshold))
        FormatBounded(buffer, chars, L"なし");
    else
        FormatBounded(buffer, chars, L"%lu", units);
}

LPWSTR FormatPolicyTable(const PolicyRow* rows, size_t count, ReportFormat format, bool crlf)
{
    TextBuffer out;
    const wchar_t* end = crlf ? L"\r\n" : L"\n";
    if (format == ReportJson) {
        AppendWide(&out, L"[");
        bool first = true;
        for (size_t i = 0; i < count; ++i) {
            if (rows[i].policy == nullptr)
                continue;
            AppendWide(&out, first ? L"\n  " : L",\n  ");
            AppendJsonObject(&out, rows[i]);
            first = false;
        }
        AppendWide(&out, first ? L"]\n" : L"\n]\n");
        return DetachText(&out);
    }
    const wchar_t* separator = format == ReportTsv ? L"\t" : L",";
    AppendWide(&out, L"コンピューター");
    for (int v = 0; v < PolicyValueCount; ++v) {
        AppendWide(&out, separator);
        AppendWide(&out, Labels[v]);
    }
    AppendWide(&out, end);
    for (size_t i = 0; i < count; ++i)
        if (rows[i].policy != nullptr)
            AppendSeparatedRow(&out, rows[i], separator, end);
    return DetachText(&out);
}

bool PolicyReportPath(LPCWSTR reportPath, LPWSTR buffer, size_t chars)
{
    const wchar_t* name = reportPath;
    for (const wchar_t* p = reportPath; *p != L'\0'; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':')
            name = p + 1;
    const wchar_t* dot = wcsrchr(name, L'.');
    if (dot == nullptr || dot == name)
        return FormatBounded(buffer, chars, L"%s.policy", reportPath) >= 0;
    return FormatBounded(buffer, chars, L"%.*s.policy%s", static_cast<int>(dot - reportPath),
                         reportPath, dot) >= 0;
}

DWORD WritePolicyReport(LPCWSTR path, LPCWSTR text)
{
    int length = static_cast<int>(wcslen(text));
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    auto* utf8 = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, static_cast<size_t>(bytes) + 3));
    if (utf8 == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(utf8, "\xEF\xBB\xBF", 3);
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8 + 3, bytes, nullptr, nullptr);
    // Written aside under a temporary name and moved over the target when whole.
    wchar_t temporary[MAX_PATH + 16];
    DWORD status = 0;
    if (FormatBounded(temporary, MAX_PATH + 16, L"%s.tmp", path) < 0) {
        status = ERROR_FILENAME_EXCED_RANGE;
    } else {
        HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            status = GetLastError();
        } else {
            DWORD written = 0;
            BOOL ok = WriteFile(file, utf8, static_cast<DWORD>(bytes) + 3, &written, nullptr) &&
                      FlushFileBuffers(file);
            status = ok ? 0 : GetLastError();
            CloseHandle(file);
            if (status == 0 && !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING))
                status = GetLastError();
            if (status != 0)
                DeleteFileW(temporary);
        }
    }
    LocalFree(utf8);
    return status;
}
