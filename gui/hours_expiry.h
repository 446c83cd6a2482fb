#pragma once
#include <windows.h>

// Controls of the logon-hours (511) and account-expiry (512) templates.

// Logon hours: the day buttons 1000 (Sunday) to 1006 (Saturday) and the list
// of the 24 hours of the shown day.
#define IDC_HOURS_SUNDAY 1000
#define IDC_HOURS_SATURDAY 1006
#define IDC_HOURS_LIST 1007

// Account expiry.
#define IDC_EXPIRY_SET 1000
#define IDC_EXPIRY_YEAR 1001
#define IDC_EXPIRY_YEAR_LABEL 1002
#define IDC_EXPIRY_MONTH 1003
#define IDC_EXPIRY_MONTH_LABEL 1004
#define IDC_EXPIRY_DAY 1005
#define IDC_EXPIRY_DAY_LABEL 1010

#ifndef RC_INVOKED
#include <ctime>

// Template 511; the parameter is the account name.
INT_PTR CALLBACK LogonHoursDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 512; the parameter is the account name.
INT_PTR CALLBACK AccountExpiryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Bytes of a weekly logon-hours bitmap (168 hours, UTC): day d (0 Sunday to
// 6 Saturday) is bytes 3d to 3d+2, hour h of the day bit h of their
// little-endian value.
constexpr size_t LogonHoursBytes = 21;

// Copies day `day`'s three bytes of `hours` to out[0..2] and zeroes out[3], so
// that out reads as the day's 24-bit value. A day outside 0 to 6 sets
// ERROR_INVALID_PARAMETER and returns FALSE.
BOOL GetDayHours(const BYTE* hours, int day, BYTE out[4]);
// Stores in[0..2] as day `day` of `hours`; same parameter check.
BOOL SetDayHours(BYTE* hours, int day, const BYTE in[3]);

// The local standard-time offset from UTC at `now` in whole hours, truncated
// toward zero (+9 in Japan, +5 at +5:30, -5 in New York all year).
int StandardOffsetHours(__time64_t now);
#endif
