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
