// The dates of a user record in the words that Ambgui's details pane and the
// account report share.
#include "accounttimes.h"

#include "textformat.h"

namespace {
// Seconds between 1601-01-01 (FILETIME) and 1970-01-01 (account times).
constexpr ULONGLONG UnixEpochInFileTimeSeconds = 11644473600ULL;

// "%04d/%02d/%02d %02d:%02d" in local time for seconds since 1970-01-01 UTC.
void FormatAccountTime(ULONGLONG seconds, LPWSTR buffer, size_t chars)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (seconds + UnixEpochInFileTimeSeconds) * 10000000ULL;
    FILETIME fileTime;
    fileTime.dwLowDateTime = ticks.LowPart;
    fileTime.dwHighDateTime = ticks.HighPart;
    SYSTEMTIME utc;
    SYSTEMTIME local;
    buffer[0] = L'\0';
    if (!FileTimeToSystemTime(&fileTime, &utc))
        return;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    FormatBounded(buffer, chars, L"%04d/%02d/%02d %02d:%02d", local.wYear, local.wMonth, local.wDay,
                  local.wHour, local.wMinute);
}

ULONGLONG CurrentAccountTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return ticks.QuadPart / 10000000ULL - UnixEpochInFileTimeSeconds;
}

// The moment of the last password change: now minus the password's age.
ULONGLONG LastPasswordChange(DWORD passwordAge)
{
    ULONGLONG now = CurrentAccountTime();
    return passwordAge < now ? now - passwordAge : 0;
}
} // namespace

void FormatPasswordExpiry(const USER_INFO_4& user, LPWSTR value, size_t chars)
{
    // An expired password ran out when it was last changed; the record holds
    // no other time for it, and no password-age policy is read.
    if (user.usri4_password_expired == 0)
        FormatBounded(value, chars, L"なし");
    else
        FormatAccountTime(LastPasswordChange(user.usri4_password_age), value, chars);
}

void FormatAccountExpiry(const USER_INFO_4& user, LPWSTR value, size_t chars)
{
    if (user.usri4_acct_expires == 0 || user.usri4_acct_expires == TIMEQ_FOREVER)
        FormatBounded(value, chars, L"なし");
    else
        FormatAccountTime(user.usri4_acct_expires, value, chars);
}

void FormatLastLogon(const USER_INFO_4& user, LPWSTR value, size_t chars)
{
    if (user.usri4_last_logon == 0)
        FormatBounded(value, chars, L"一度もログインしていません");
    else
        FormatAccountTime(user.usri4_last_logon, value, chars);
}

void FormatLastPasswordChange(const USER_INFO_4& user, LPWSTR value, size_t chars)
{
    FormatAccountTime(LastPasswordChange(user.usri4_password_age), value, chars);
}

ULONGLONG LastLogonTime(const USER_INFO_4& user)
{
    return user.usri4_last_logon;
}

ULONGLONG LastPasswordChangeTime(const USER_INFO_4& user)
{
    return LastPasswordChange(user.usri4_password_age);
}

// As the details pane has it: an expired password ran out when it was last
// changed; one that has not expired has no time here.
ULONGLONG PasswordExpiredTime(const USER_INFO_4& user)
{
    return user.usri4_password_expired == 0 ? 0 : LastPasswordChange(user.usri4_password_age);
}

void FormatIsoTime(ULONGLONG seconds, LPWSTR value, size_t chars)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (seconds + UnixEpochInFileTimeSeconds) * 10000000ULL;
    FILETIME fileTime;
    fileTime.dwLowDateTime = ticks.LowPart;
    fileTime.dwHighDateTime = ticks.HighPart;
    SYSTEMTIME utc;
    value[0] = L'\0';
    if (FileTimeToSystemTime(&fileTime, &utc))
        FormatBounded(value, chars, L"%04d-%02d-%02dT%02d:%02d:%02dZ", utc.wYear, utc.wMonth,
                      utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
}
