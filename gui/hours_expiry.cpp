// The logon-hours and account-expiry dialogs of the advanced user settings.
#include "hours_expiry.h"

#include <commctrl.h>
#include <lm.h>
#include <uxtheme.h>

#include "ambcore.h"
#include "dialogsupport.h"
#include "errortext.h"
#include "globals.h"
#include "textformat.h"

BOOL GetDayHours(const BYTE* hours, int day, BYTE out[4])
{
    if (day < 0 || day > 6) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CopyMemory(out, hours + 3 * day, 3);
    out[3] = 0;
    return TRUE;
}

BOOL SetDayHours(BYTE* hours, int day, const BYTE in[3])
{
    if (day < 0 || day > 6) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CopyMemory(hours + 3 * day, in, 3);
    return TRUE;
}

namespace {
// The local standard-time offset from UTC at `moment` in seconds: the UTC
// calendar fields read back as local time without daylight saving.
BOOL StandardOffsetSeconds(__time64_t moment, __time64_t* offset)
{
    struct tm utc = {};
    if (_gmtime64_s(&utc, &moment) != 0)
        return FALSE;
    utc.tm_isdst = 0;
    __time64_t asLocal = _mktime64(&utc);
    if (asLocal == -1)
        return FALSE;
    *offset = moment - asLocal;
    return TRUE;
}
} // namespace

int StandardOffsetHours(__time64_t now)
{
    __time64_t offset = 0;
    if (!StandardOffsetSeconds(now, &offset))
        return 0;
    return static_cast<int>(offset / 3600);
}

namespace {
// The stored expiry for a date typed as year, month and day: the first second
// after 23:59:59 local standard time of that day, months and days rolling over
// as mktime rolls them. FALSE for a date before 1970 or one whose value does
// not fit below TIMEQ_FOREVER.
BOOL ExpiryFromDate(int year, int month, int day, DWORD* expires)
{
    struct tm end = {};
    end.tm_year = year - 1900;
    end.tm_mon = month - 1;
    end.tm_mday = day;
    end.tm_hour = 23;
    end.tm_min = 59;
    end.tm_sec = 59;
    end.tm_isdst = 0;
    // 64-bit seconds: the stored value is unsigned 32 bits and reaches 2106.
    __time64_t last = _mktime64(&end);
    if (last < 0 || end.tm_year < 70 || last >= static_cast<__time64_t>(TIMEQ_FOREVER) - 1)
        return FALSE;
    *expires = static_cast<DWORD>(last + 1);
    return TRUE;
}

// The value was made from 23:59:59 local standard time, so it is broken down
// in standard time too: with daylight saving applied a summer date would show
// as the following day.
BOOL DateFromExpiry(DWORD expires, int* year, int* month, int* day)
{
    __time64_t last = static_cast<__time64_t>(expires) - 1;
    __time64_t offset = 0;
    struct tm local = {};
    if (!StandardOffsetSeconds(last, &offset))
        return FALSE;
    __time64_t standard = last + offset;
    if (_gmtime64_s(&local, &standard) != 0)
        return FALSE;
    *year = local.tm_year + 1900;
    *month = local.tm_mon + 1;
    *day = local.tm_mday;
    return TRUE;
}

const wchar_t* const DayNames[7] = {L"日曜日", L"月曜日", L"火曜日", L"水曜日",
                                    L"木曜日", L"金曜日", L"土曜日"};

// The logon-hours dialog's own data, kept in DWLP_USER while it is open.
struct LogonHoursState
{
    LPCWSTR account;
    BYTE* hours; // working copy, LogonHoursBytes
    int day;     // the day shown in the rows
};

void ShowHoursError(HWND dialog, NET_API_STATUS status)
{
    ShowPlatformError(dialog, L"時間帯を設定できませんでした。\n(エラー詳細 : %s)",
                      L"時間帯設定エラー", status);
}

void ShowExpiryError(HWND dialog, NET_API_STATUS status)
{
    ShowPlatformError(dialog, L"アカウント有効期限を設定できませんでした。\n(エラー詳細 : %s)",
                      L"アカウント有効期限設定エラー", status);
}

LogonHoursState* HoursState(HWND dialog)
{
    return reinterpret_cast<LogonHoursState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void FreeHoursState(HWND dialog)
{
    LogonHoursState* state = HoursState(dialog);
    if (state == nullptr)
        return;
    FreeBuffer(state->hours);
    FreeBuffer(state);
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}

void InsertHourRows(HWND list, int offset)
{
    for (int i = 0; i < 24; ++i) {
        int hour = ((i + offset) % 24 + 24) % 24;
        WCHAR label[32] = {};
        FormatBounded(label, 32, L"%02d:00 ～ %02d:00", hour, hour + 1);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = label;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}

void ShowDayInRows(HWND dialog, LogonHoursState* state)
{
    BYTE value[4] = {};
    GetDayHours(state->hours, state->day, value);
    DWORD bits = value[0] | (value[1] << 8) | (value[2] << 16);
    HWND list = GetDlgItem(dialog, IDC_HOURS_LIST);
    for (int i = 0; i < 24; ++i) {
        LVITEMW item = {};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = (bits & (1u << i)) != 0 ? 0x2000 : 0x1000;
        SendMessageW(list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
    }
    WCHAR title[64] = {};
    FormatBounded(title, 64, L"時間帯の設定 - %s", DayNames[state->day]);
    SetWindowTextW(dialog, title);
}

// A row counts as allowed unless it shows the unchecked image.
void StoreRowsInDay(HWND dialog, LogonHoursState* state)
{
    HWND list = GetDlgItem(dialog, IDC_HOURS_LIST);
    DWORD bits = 0;
    for (int i = 0; i < 24; ++i) {
        LRESULT image = SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK) >> 12;
        if (image != 1)
            bits |= 1u << i;
    }
    BYTE value[3] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8),
                     static_cast<BYTE>(bits >> 16)};
    SetDayHours(state->hours, state->day, value);
}

// Takes the account's bitmap into a new working copy. An account without a
// bitmap may log on at any hour. Ends the dialog when the account cannot be read.
void InitLogonHoursDialog(HWND dialog, LPCWSTR account)
{
    HWND list = GetDlgItem(dialog, IDC_HOURS_LIST);
    InsertHourRows(list, StandardOffsetHours(_time64(nullptr)));
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0x10024, 0x10024);
    SetWindowTheme(list, L"Explorer", nullptr);

    NET_API_STATUS status = NERR_Success;
    USER_INFO_4* record = ReadUserRecord(account, &status);
    if (record == nullptr) {
        ShowHoursError(dialog, status);
        EndDialog(dialog, 2);
        return;
    }
    auto* state = static_cast<LogonHoursState*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LogonHoursState)));
    BYTE* hours =
        static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, LogonHoursBytes));
    if (state == nullptr || hours == nullptr) {
        FreeBuffer(state);
        FreeBuffer(hours);
        NetApiBufferFree(record);
        ShowHoursError(dialog, ERROR_NOT_ENOUGH_MEMORY);
        EndDialog(dialog, 2);
        return;
    }
    if (record->usri4_logon_hours != nullptr)
        CopyMemory(hours, record->usri4_logon_hours, LogonHoursBytes);
    else
        FillMemory(hours, LogonHoursBytes, 0xFF);
    NetApiBufferFree(record);
    state->account = account;
    state->hours = hours;
    state->day = 0;
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    ShowDayInRows(dialog, state);
}

void ShowDay(HWND dialog, int day)
{
    LogonHoursState* state = HoursState(dialog);
    if (state == nullptr)
        return;
    StoreRowsInDay(dialog, state);
    state->day = day;
    ShowDayInRows(dialog, state);
}

// Writes the whole week in one change; every other field goes back as read.
void AcceptLogonHours(HWND dialog)
{
    LogonHoursState* state = HoursState(dialog);
    if (state == nullptr)
        return;
    StoreRowsInDay(dialog, state);
    NET_API_STATUS status = UpdateUserRecord(state->account, [state](USER_INFO_4* record) {
        record->usri4_units_per_week = UNITS_PER_WEEK;
        // The record may come without a bitmap of its own to copy into.
        record->usri4_logon_hours = state->hours;
    });
    if (status != NERR_Success) {
        ShowHoursError(dialog, status);
        return;
    }
    FreeHoursState(dialog);
    EndDialog(dialog, 1);
}
} // namespace

INT_PTR CALLBACK LogonHoursDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitLogonHoursDialog(dialog, reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id >= IDC_HOURS_SUNDAY && id <= IDC_HOURS_SATURDAY) {
            ShowDay(dialog, id - IDC_HOURS_SUNDAY);
            return TRUE;
        }
        switch (id) {
        case IDOK:
            AcceptLogonHours(dialog);
            return TRUE;
        case IDCANCEL:
            FreeHoursState(dialog);
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    case WM_DESTROY:
        FreeHoursState(dialog);
        break;
    }
    return FALSE;
}

namespace {
const int ExpiryDateControls[6] = {IDC_EXPIRY_YEAR,        IDC_EXPIRY_MONTH,
                                   IDC_EXPIRY_DAY,         IDC_EXPIRY_YEAR_LABEL,
                                   IDC_EXPIRY_MONTH_LABEL, IDC_EXPIRY_DAY_LABEL};

void EnableExpiryDate(HWND dialog, BOOL enable)
{
    for (int id : ExpiryDateControls)
        EnableWindow(GetDlgItem(dialog, id), enable);
}

void InitAccountExpiryDialog(HWND dialog, LPCWSTR account)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(account));
    SendDlgItemMessageW(dialog, IDC_EXPIRY_YEAR, EM_LIMITTEXT, 4, 0);
    SendDlgItemMessageW(dialog, IDC_EXPIRY_MONTH, EM_LIMITTEXT, 2, 0);
    SendDlgItemMessageW(dialog, IDC_EXPIRY_DAY, EM_LIMITTEXT, 2, 0);

    NET_API_STATUS status = NERR_Success;
    USER_INFO_4* record = ReadUserRecord(account, &status);
    if (record == nullptr) {
        ShowExpiryError(dialog, status);
        EndDialog(dialog, 2);
        return;
    }
    DWORD expires = record->usri4_acct_expires;
    NetApiBufferFree(record);
    if (expires == 0 || expires == TIMEQ_FOREVER) {
        CheckDlgButton(dialog, IDC_EXPIRY_SET, BST_UNCHECKED);
        EnableExpiryDate(dialog, FALSE);
        return;
    }
    CheckDlgButton(dialog, IDC_EXPIRY_SET, BST_CHECKED);
    int year = 0, month = 0, day = 0;
    // A moment the time functions cannot break down leaves the boxes empty.
    if (DateFromExpiry(expires, &year, &month, &day)) {
        SetDlgItemInt(dialog, IDC_EXPIRY_YEAR, year, FALSE);
        SetDlgItemInt(dialog, IDC_EXPIRY_MONTH, month, FALSE);
        SetDlgItemInt(dialog, IDC_EXPIRY_DAY, day, FALSE);
    }
}

void AcceptAccountExpiry(HWND dialog)
{
    LPCWSTR account = reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(dialog, DWLP_USER));
    DWORD expires = TIMEQ_FOREVER;
    if (IsDlgButtonChecked(dialog, IDC_EXPIRY_SET) == BST_CHECKED) {
        int year = static_cast<int>(GetDlgItemInt(dialog, IDC_EXPIRY_YEAR, nullptr, TRUE));
        int month = static_cast<int>(GetDlgItemInt(dialog, IDC_EXPIRY_MONTH, nullptr, TRUE));
        int day = static_cast<int>(GetDlgItemInt(dialog, IDC_EXPIRY_DAY, nullptr, TRUE));
        if (!ExpiryFromDate(year, month, day, &expires)) {
            AMBMessageBoxW(dialog, L"日付が入力可能範囲外、または日付の入力が間違っています。",
                           L"アカウント有効期限設定エラー", MB_ICONWARNING);
            return;
        }
    }
    NET_API_STATUS status = UpdateUserRecord(
        account, [expires](USER_INFO_4* record) { record->usri4_acct_expires = expires; });
    if (status != NERR_Success) {
        ShowExpiryError(dialog, status);
        return;
    }
    EndDialog(dialog, 1);
}
} // namespace

INT_PTR CALLBACK AccountExpiryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAccountExpiryDialog(dialog, reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_EXPIRY_SET:
            EnableExpiryDate(dialog, IsDlgButtonChecked(dialog, IDC_EXPIRY_SET) == BST_CHECKED);
            return TRUE;
        case IDOK:
            AcceptAccountExpiry(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
