// The logon-hours (511) and account-expiry (512) dialogs run in-process on the
// simulated platform: the hour rows per time zone, the bits they stand for,
// the dates they store, and what a failure leaves behind.
#include <windows.h>

#include <commctrl.h>
#include <lm.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "hours_expiry.h"
#include "resource.h"

using dialogtest::Box;
using dialogtest::DialogHarness;

namespace {
const wchar_t* const Account = L"sato";
const std::wstring NoHours(42, L'0');

class HoursExpiryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        AppSettings.Advanced = 1;
        const char* zone = getenv("TZ");
        hadZone_ = zone != nullptr;
        if (hadZone_)
            savedZone_ = zone;
        ASSERT_TRUE(world_.Sim(L"user add sato"));
    }
    void TearDown() override
    {
        _putenv_s("TZ", hadZone_ ? savedZone_.c_str() : "");
        _tzset();
        FreeAmbguiGlobals();
    }
    // The time functions of this process follow the POSIX zone `zone`.
    static void UseZone(const char* zone)
    {
        _putenv_s("TZ", zone);
        _tzset();
    }
    std::vector<BYTE> StoredHours()
    {
        LPBYTE buffer = nullptr;
        std::vector<BYTE> hours;
        if (NetUserGetInfo(nullptr, Account, 4, &buffer) == NERR_Success) {
            auto* user = reinterpret_cast<USER_INFO_4*>(buffer);
            EXPECT_EQ(168u, user->usri4_units_per_week);
            if (user->usri4_logon_hours != nullptr)
                hours.assign(user->usri4_logon_hours, user->usri4_logon_hours + 21);
        }
        NetApiBufferFree(buffer);
        return hours;
    }
    DWORD StoredExpiry()
    {
        LPBYTE buffer = nullptr;
        DWORD expires = 12345;
        if (NetUserGetInfo(nullptr, Account, 4, &buffer) == NERR_Success)
            expires = reinterpret_cast<USER_INFO_4*>(buffer)->usri4_acct_expires;
        NetApiBufferFree(buffer);
        return expires;
    }
    INT_PTR RunHours(const dialogtest::Script& script)
    {
        return harness_.Run(IDD_LOGON_HOURS, LogonHoursDialogProc,
                            reinterpret_cast<LPARAM>(Account), script);
    }
    INT_PTR RunExpiry(const dialogtest::Script& script)
    {
        return harness_.Run(IDD_ACCOUNT_EXPIRY, AccountExpiryDialogProc,
                            reinterpret_cast<LPARAM>(Account), script);
    }
    // Types a date, presses OK and returns the dialog's result.
    INT_PTR StoreDate(const wchar_t* year, const wchar_t* month, const wchar_t* day)
    {
        return RunExpiry([&](HWND dialog) {
            if (!dialogtest::Checked(dialog, IDC_EXPIRY_SET))
                dialogtest::Click(dialog, IDC_EXPIRY_SET);
            dialogtest::SetText(dialog, IDC_EXPIRY_YEAR, year);
            dialogtest::SetText(dialog, IDC_EXPIRY_MONTH, month);
            dialogtest::SetText(dialog, IDC_EXPIRY_DAY, day);
            dialogtest::Press(dialog, IDOK);
        });
    }
    // The date the dialog shows when it opens, as "Y/M/D" ("" unchecked).
    std::wstring ShownDate()
    {
        std::wstring shown;
        RunExpiry([&](HWND dialog) {
            if (dialogtest::Checked(dialog, IDC_EXPIRY_SET))
                shown = dialogtest::Text(dialog, IDC_EXPIRY_YEAR) + L"/" +
                        dialogtest::Text(dialog, IDC_EXPIRY_MONTH) + L"/" +
                        dialogtest::Text(dialog, IDC_EXPIRY_DAY);
        });
        return shown;
    }
    static bool RowChecked(HWND dialog, int row)
    {
        return dialogtest::ListViewRows(dialog, IDC_HOURS_LIST)[row].checked;
    }
    static std::wstring Title(HWND dialog)
    {
        wchar_t title[128] = {};
        GetWindowTextW(dialog, title, 128);
        return title;
    }

    CoreWorld world_;
    DialogHarness harness_;
    bool hadZone_ = false;
    std::string savedZone_;
};

// Seconds since 1970 of a UTC calendar time.
DWORD Utc(int year, int month, int day, int hour)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    return static_cast<DWORD>(_mkgmtime64(&t));
}
} // namespace

TEST_F(HoursExpiryTest, HourRowsAreLabelledInTheStandardZone)
{
    struct Zone
    {
        const char* tz;
        const wchar_t* first;
        const wchar_t* row15;
        const wchar_t* last;
    };
    const Zone zones[] = {
        {"JST-9", L"09:00 ～ 10:00", L"00:00 ～ 01:00", L"08:00 ～ 09:00"},
        {"UTC0", L"00:00 ～ 01:00", L"15:00 ～ 16:00", L"23:00 ～ 24:00"},
        {"IST-5:30", L"05:00 ～ 06:00", L"20:00 ～ 21:00", L"04:00 ～ 05:00"},
        {"EST5EDT,M3.2.0,M11.1.0", L"19:00 ～ 20:00", L"10:00 ～ 11:00", L"18:00 ～ 19:00"},
    };
    for (const Zone& zone : zones) {
        SCOPED_TRACE(zone.tz);
        UseZone(zone.tz);
        std::vector<dialogtest::ListViewRow> rows;
        std::wstring title;
        LRESULT styles = 0;
        RunHours([&](HWND dialog) {
            rows = dialogtest::ListViewRows(dialog, IDC_HOURS_LIST);
            title = Title(dialog);
            styles =
                SendDlgItemMessageW(dialog, IDC_HOURS_LIST, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        });
        ASSERT_EQ(24u, rows.size());
        EXPECT_EQ(zone.first, rows[0].text);
        EXPECT_EQ(zone.row15, rows[15].text);
        EXPECT_EQ(zone.last, rows[23].text);
        EXPECT_TRUE(rows[0].checked && rows[23].checked) << "a fresh account may log on any time";
        EXPECT_EQ(L"時間帯の設定 - 日曜日", title);
        EXPECT_EQ(0x10024, styles & 0x10024);
    }
    // Summer or winter, New York stands at its standard time.
    UseZone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(-5, StandardOffsetHours(Utc(2025, 7, 1, 12)));
    EXPECT_EQ(-5, StandardOffsetHours(Utc(2025, 1, 15, 12)));
    UseZone("IST-5:30");
    EXPECT_EQ(5, StandardOffsetHours(Utc(2025, 7, 1, 12)));
}

TEST_F(HoursExpiryTest, DayHoursKeepTheirBitsAndRefuseOtherDays)
{
    BYTE hours[21] = {};
    const BYTE monday[3] = {0x01, 0x80, 0xFF};
    ASSERT_TRUE(SetDayHours(hours, 1, monday));
    BYTE out[4] = {9, 9, 9, 9};
    ASSERT_TRUE(GetDayHours(hours, 1, out));
    EXPECT_EQ(0x01, out[0]);
    EXPECT_EQ(0x80, out[1]);
    EXPECT_EQ(0xFF, out[2]);
    EXPECT_EQ(0, out[3]);
    EXPECT_EQ(0x01, hours[3]);
    for (int day : {-1, 7}) {
        SetLastError(0);
        EXPECT_FALSE(GetDayHours(hours, day, out));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        SetLastError(0);
        EXPECT_FALSE(SetDayHours(hours, day, monday));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
}

TEST_F(HoursExpiryTest, UntickingTheFirstRowOfSundayClearsOnlyBitZero)
{
    UseZone("JST-9");
    const std::wstring pattern = L"ff1234a55a0f00ff80017e3c99c3aa55f00fcc3366";
    ASSERT_TRUE(world_.Sim(L"user set sato --logon-hours " + pattern));
    std::vector<BYTE> before = StoredHours();
    ASSERT_EQ(21u, before.size());
    INT_PTR result = RunHours([&](HWND dialog) {
        dialogtest::CheckListViewRow(dialog, IDC_HOURS_LIST, 0, false);
        dialogtest::Press(dialog, IDOK);
    });
    EXPECT_EQ(1, result);
    std::vector<BYTE> expected = before;
    expected[0] = 0xFE;
    EXPECT_EQ(expected, StoredHours());
}

TEST_F(HoursExpiryTest, EditsOfEachDayAccumulateUntilOkAndCancelDiscardsThem)
{
    UseZone("JST-9");
    ASSERT_TRUE(world_.Sim(L"user set sato --logon-hours " + NoHours));
    // Local 00:00 to 09:00 under Sunday are rows 15 to 23: Monday morning in Japan.
    auto editSundayAndMonday = [&](HWND dialog) {
        for (int row = 15; row < 24; ++row)
            dialogtest::CheckListViewRow(dialog, IDC_HOURS_LIST, row, true);
        dialogtest::Click(dialog, IDC_HOURS_SUNDAY + 1);
        EXPECT_EQ(L"時間帯の設定 - 月曜日", Title(dialog));
        EXPECT_FALSE(RowChecked(dialog, 15)) << "Monday shows its own bits";
        dialogtest::CheckListViewRow(dialog, IDC_HOURS_LIST, 0, true);
        dialogtest::Click(dialog, IDC_HOURS_SUNDAY);
        EXPECT_EQ(L"時間帯の設定 - 日曜日", Title(dialog));
        EXPECT_TRUE(RowChecked(dialog, 15) && RowChecked(dialog, 23) && !RowChecked(dialog, 14));
        dialogtest::Click(dialog, IDC_HOURS_SUNDAY); // the same day again stores and reloads
        EXPECT_TRUE(RowChecked(dialog, 23));
    };
    EXPECT_EQ(2, RunHours([&](HWND dialog) {
                  editSundayAndMonday(dialog);
                  dialogtest::Press(dialog, IDCANCEL);
              }));
    EXPECT_EQ(std::vector<BYTE>(21, 0), StoredHours()) << "Cancel writes nothing";

    EXPECT_EQ(1, RunHours([&](HWND dialog) {
                  editSundayAndMonday(dialog);
                  dialogtest::Press(dialog, IDOK);
              }));
    std::vector<BYTE> expected(21, 0);
    expected[1] = 0x80; // bit 15
    expected[2] = 0xFF; // bits 16 to 23
    expected[3] = 0x01; // Monday, bit 0
    EXPECT_EQ(expected, StoredHours());
    EXPECT_TRUE(harness_.boxes.empty());
}

namespace {
using UserGetInfoFn = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
UserGetInfoFn realUserGetInfo = nullptr;

// NetUserGetInfo as a platform gives it for an account without a bitmap.
NET_API_STATUS WINAPI UserGetInfoWithoutHours(LPCWSTR server, LPCWSTR name, DWORD level,
                                              LPBYTE* buffer)
{
    NET_API_STATUS status = realUserGetInfo(server, name, level, buffer);
    if (status == NERR_Success && level == 4)
        reinterpret_cast<USER_INFO_4*>(*buffer)->usri4_logon_hours = nullptr;
    return status;
}

// Points this program's import of `name` at `replacement`; returns the old target.
void* RedirectImport(const char* name, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; descriptor->Name != 0; ++descriptor) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp(reinterpret_cast<const char*>(
                           reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)
                               ->Name),
                       name) != 0)
                continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return previous;
        }
    }
    return nullptr;
}
} // namespace

TEST_F(HoursExpiryTest, AnAccountWithoutABitmapMayLogOnAtAnyHour)
{
    ASSERT_TRUE(world_.Sim(L"user set sato --logon-hours " + NoHours));
    realUserGetInfo = reinterpret_cast<UserGetInfoFn>(
        RedirectImport("NetUserGetInfo", reinterpret_cast<void*>(UserGetInfoWithoutHours)));
    ASSERT_NE(nullptr, realUserGetInfo);
    bool allTicked = true;
    INT_PTR result = RunHours([&](HWND dialog) {
        for (const dialogtest::ListViewRow& row : dialogtest::ListViewRows(dialog, IDC_HOURS_LIST))
            allTicked = allTicked && row.checked;
        dialogtest::CheckListViewRow(dialog, IDC_HOURS_LIST, 0, false);
        dialogtest::Press(dialog, IDOK);
    });
    RedirectImport("NetUserGetInfo", reinterpret_cast<void*>(realUserGetInfo));
    EXPECT_TRUE(allTicked);
    EXPECT_EQ(1, result);
    std::vector<BYTE> expected(21, 0xFF);
    expected[0] = 0xFE;
    EXPECT_EQ(expected, StoredHours()) << "a whole bitmap is written at OK";
}

TEST_F(HoursExpiryTest, HoursFailuresAreReportedAndWriteNothing)
{
    ASSERT_TRUE(world_.Sim(L"user set sato --logon-hours " + NoHours));
    ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 5"));
    bool scriptRan = false;
    EXPECT_EQ(2, RunHours([&](HWND) { scriptRan = true; }));
    EXPECT_FALSE(scriptRan) << "the dialog ends at opening";
    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    bool stillChecked = false;
    EXPECT_EQ(2, RunHours([&](HWND dialog) {
                  dialogtest::CheckListViewRow(dialog, IDC_HOURS_LIST, 3, true);
                  dialogtest::Press(dialog, IDOK);
                  stillChecked = RowChecked(dialog, 3);
              }));
    EXPECT_TRUE(stillChecked) << "the rows stay as they were";
    ASSERT_EQ(2u, harness_.boxes.size());
    for (const Box& box : harness_.boxes) {
        EXPECT_EQ(L"時間帯設定エラー", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.style);
        EXPECT_EQ(0u, box.text.rfind(L"時間帯を設定できませんでした。\n(エラー詳細 : ", 0))
            << dialogtest::Utf8(box.text);
    }
    EXPECT_EQ(std::vector<BYTE>(21, 0), StoredHours());
}

TEST_F(HoursExpiryTest, ExpiryDatesRollOverAndReopenAsTheSameDay)
{
    UseZone("JST-9");
    EXPECT_EQ(1, StoreDate(L"2025", L"2", L"30"));
    EXPECT_EQ(Utc(2025, 3, 2, 15), StoredExpiry()) << "the first second after 2025-03-02 in Japan";
    EXPECT_EQ(L"2025/3/2", ShownDate());
    EXPECT_EQ(1, StoreDate(L"2025", L"0", L"15"));
    EXPECT_EQ(L"2024/12/15", ShownDate());

    // New York: standard time all year, and a summer date shows as itself.
    UseZone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(1, StoreDate(L"2025", L"7", L"4"));
    EXPECT_EQ(Utc(2025, 7, 5, 5), StoredExpiry());
    EXPECT_EQ(L"2025/7/4", ShownDate());
    EXPECT_EQ(1, StoreDate(L"2025", L"3", L"9"));
    EXPECT_EQ(Utc(2025, 3, 10, 5), StoredExpiry()) << "the day daylight saving begins";
    EXPECT_EQ(L"2025/3/9", ShownDate());
    EXPECT_TRUE(harness_.boxes.empty());
}

TEST_F(HoursExpiryTest, ExpiryDatesUpTo2106AreStoredAndShown)
{
    UseZone("JST-9");
    EXPECT_EQ(1, StoreDate(L"2038", L"1", L"19"));
    EXPECT_EQ(Utc(2038, 1, 19, 15), StoredExpiry());
    EXPECT_EQ(1, StoreDate(L"2106", L"2", L"6"));
    EXPECT_EQ(Utc(2106, 2, 6, 15), StoredExpiry());
    EXPECT_EQ(L"2106/2/6", ShownDate());
    ASSERT_TRUE(world_.Sim(L"user set sato --expires 2100-01-02T00:00:00"));
    EXPECT_EQ(L"2100/1/2", ShownDate());

    ASSERT_TRUE(world_.Sim(L"user set sato --expires never"));
    for (const wchar_t* year : {L"2106", L"1969", L""}) {
        SCOPED_TRACE(dialogtest::Utf8(year));
        harness_.boxes.clear();
        EXPECT_EQ(2, StoreDate(year, year[0] == L'\0' ? L"1" : L"2", L"7"));
        ASSERT_EQ(1u, harness_.boxes.size());
        EXPECT_EQ(L"日付が入力可能範囲外、または日付の入力が間違っています。",
                  harness_.boxes[0].text);
        EXPECT_EQ(L"アカウント有効期限設定エラー", harness_.boxes[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), harness_.boxes[0].style);
    }
    EXPECT_EQ(TIMEQ_FOREVER, StoredExpiry());
}

TEST_F(HoursExpiryTest, UncheckedExpiryWritesForeverAndFailuresWriteNothing)
{
    ASSERT_TRUE(world_.Sim(L"user set sato --expires 0"));
    EXPECT_EQ(1, RunExpiry([&](HWND dialog) {
                  EXPECT_FALSE(dialogtest::Checked(dialog, IDC_EXPIRY_SET));
                  EXPECT_EQ(4, dialogtest::Limit(dialog, IDC_EXPIRY_YEAR));
                  EXPECT_EQ(2, dialogtest::Limit(dialog, IDC_EXPIRY_DAY));
                  for (int id : {1001, 1002, 1003, 1004, 1005, 1010})
                      EXPECT_FALSE(dialogtest::Enabled(dialog, id)) << id;
                  dialogtest::Click(dialog, IDC_EXPIRY_SET);
                  EXPECT_TRUE(dialogtest::Enabled(dialog, IDC_EXPIRY_DAY_LABEL));
                  dialogtest::SetText(dialog, IDC_EXPIRY_YEAR, L"2030");
                  dialogtest::Click(dialog, IDC_EXPIRY_SET);
                  EXPECT_FALSE(dialogtest::Enabled(dialog, IDC_EXPIRY_YEAR));
                  EXPECT_EQ(L"2030", dialogtest::Text(dialog, IDC_EXPIRY_YEAR));
                  dialogtest::Press(dialog, IDOK);
              }));
    EXPECT_EQ(TIMEQ_FOREVER, StoredExpiry());

    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    EXPECT_EQ(2, StoreDate(L"2030", L"1", L"1"));
    ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 5"));
    EXPECT_EQ(2, RunExpiry([&](HWND) {}));
    ASSERT_EQ(2u, harness_.boxes.size());
    for (const Box& box : harness_.boxes) {
        EXPECT_EQ(L"アカウント有効期限設定エラー", box.caption);
        EXPECT_EQ(0u,
                  box.text.rfind(L"アカウント有効期限を設定できませんでした。\n(エラー詳細 : ", 0))
            << dialogtest::Utf8(box.text);
    }
    EXPECT_EQ(TIMEQ_FOREVER, StoredExpiry());
}
