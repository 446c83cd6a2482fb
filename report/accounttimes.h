#pragma once
#include <windows.h>

#include <lm.h>

// The date values of a user record as Ambgui's details pane and the account
// report show them ("%04d/%02d/%02d %02d:%02d" in local time, or the pane's
// text for none), into `value` of `chars` WCHAR.
void FormatPasswordExpiry(const USER_INFO_4& user, LPWSTR value, size_t chars);
void FormatAccountExpiry(const USER_INFO_4& user, LPWSTR value, size_t chars);
void FormatLastLogon(const USER_INFO_4& user, LPWSTR value, size_t chars);
void FormatLastPasswordChange(const USER_INFO_4& user, LPWSTR value, size_t chars);

// The same values as seconds since 1970-01-01 UTC for the lists that programs
// read, 0 where the record holds no such time (never logged on, no expiry).
ULONGLONG LastLogonTime(const USER_INFO_4& user);
ULONGLONG LastPasswordChangeTime(const USER_INFO_4& user);
ULONGLONG PasswordExpiredTime(const USER_INFO_4& user);
// "YYYY-MM-DDThh:mm:ssZ" (ISO 8601, UTC) into `value` of `chars` WCHAR.
void FormatIsoTime(ULONGLONG seconds, LPWSTR value, size_t chars);
