// The logon-hours (511) and account-expiry (512) dialogs in-process on the
// simulated platform: hour rows per time zone, the bits they stand for, the
// dates they store, and what a failure leaves behind.
#include <windows.h>

#include <commctrl.h>
#include <lm.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "hours_expiry.h"
#include "resource.h"

using namespace dialogtest;

namespace {
const wchar_t Account[] = L"sato";
const std::wstring NoHours(42, L'0');
const char NewYork[] = "EST5EDT,M3.2.0,M11.1.0";

class HoursExpiryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        AppSettings.Advanced = 1;
        ASSERT_TRUE(world_.Sim(L"user add sato"));
    }
    void TearDown() override
    {
        UseZone("");
        FreeAmbguiGlobals();
    }
    // This process's time functions follow the POSIX zone (none: the system's).
    static void UseZone(const char* zone)
    {
        _putenv_s("TZ", zone);
        _tzset();
    }
    USER_INFO_4 Stored(std::vector<BYTE>* hours = nullptr)
    {
        LPBYTE buffer = nullptr;
        USER_INFO_4 user = {};
        if (NetUserGetInfo(nullptr, Account, 4, &buffer) == NERR_Success) {
            user = *reinterpret_cast<USER_INFO_4*>(buffer);
            if (hours != nullptr)
                hours->assign(user.usri4_logon_hours, user.usri4_logon_hours + 21);
        }
        NetApiBufferFree(buffer);
        return user;
    }
    std::vector<BYTE> StoredHours()
    {
        std::vector<BYTE> hours;
        EXPECT_EQ(168u, Stored(&hours).usri4_units_per_week);
        return hours;
    }
    INT_PTR Run(UINT id, const Script& script)
    {
        DLGPROC proc = id == IDD_LOGON_HOURS ? LogonHoursDialogProc : AccountExpiryDialogProc;
        return harness_.Run(id, proc, reinterpret_cast<LPARAM>(Account), script);
    }
    INT_PTR StoreDate(const wchar_t* year, const wchar_t* month, const wchar_t* day)
    {
        return Run(IDD_ACCOUNT_EXPIRY, [&](HWND dialog) {
            if (!Checked(dialog, IDC_EXPIRY_SET))
                Click(dialog, IDC_EXPIRY_SET);
            SetText(dialog, IDC_EXPIRY_YEAR, year);
            SetText(dialog, IDC_EXPIRY_MONTH, month);
            SetText(dialog, IDC_EXPIRY_DAY, day);
            Press(dialog, IDOK);
        });
    }
    // The date the dialog opens with, "Y/M/D" ("" unchecked).
    std::wstring ShownDate()
    {
        std::wstring shown;
        Run(IDD_ACCOUNT_EXPIRY, [&](HWND d) {
            if (Checked(d, IDC_EXPIRY_SET))
                shown = Text(d, IDC_EXPIRY_YEAR) + L"/" + Text(d, IDC_EXPIRY_MONTH) + L"/" +
                        Text(d, IDC_EXPIRY_DAY);
        });
        return shown;
    }
    static std::wstring Title(HWND dialog)
    {
        wchar_t title[64] = {};
        GetWindowTextW(dialog, title, 64);
        return title;
    }

    CoreWorld world_;
    DialogHarness harness_;
};
} // namespace

TEST_F(HoursExpiryTest, HourRowsAreLabelledInTheStandardZone)
{
    const struct
    {
        const char* tz;
        const wchar_t *first, *row15, *last;
    } zones[] = {
        {"JST-9", L"09:00 ～ 10:00", L"00:00 ～ 01:00", L"08:00 ～ 09:00"},
        {"UTC0", L"00:00 ～ 01:00", L"15:00 ～ 16:00", L"23:00 ～ 24:00"},
        {"IST-5:30", L"05:00 ～ 06:00", L"20:00 ～ 21:00", L"04:00 ～ 05:00"},
        {NewYork, L"19:00 ～ 20:00", L"10:00 ～ 11:00", L"18:00 ～ 19:00"},
    };
    for (const auto& zone : zones) {
        SCOPED_TRACE(zone.tz);
        UseZone(zone.tz);
        std::vector<ListViewRow> rows;
        Run(IDD_LOGON_HOURS, [&](HWND dialog) {
            rows = ListViewRows(dialog, IDC_HOURS_LIST);
            EXPECT_EQ(L"時間帯の設定 - 日曜日", Title(dialog));
            EXPECT_EQ(0x10024, SendDlgItemMessageW(dialog, IDC_HOURS_LIST,
                                                   LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
                                   0x10024);
        });
        ASSERT_EQ(24u, rows.size());
        EXPECT_EQ(zone.first, rows[0].text);
        EXPECT_EQ(zone.row15, rows[15].text);
        EXPECT_EQ(zone.last, rows[23].text);
    }
    // Summer and winter alike, New York stands at its standard time.
    EXPECT_EQ(-5, StandardOffsetHours(1751371200)); // 2025-07-01 12:00 UTC
    EXPECT_EQ(-5, StandardOffsetHours(1736942400)); // 2025-01-15 12:00 UTC
    BYTE hours[21] = {}, day[4] = {};
    SetLastError(0);
    EXPECT_FALSE(GetDayHours(hours, 7, day) || SetDayHours(hours, -1, day));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(HoursExpiryTest, UntickingTheFirstRowOfSundayClearsOnlyBitZero)
{
    ASSERT_TRUE(
        world_.Sim(L"user set sato --logon-hours ff1234a55a0f00ff80017e3c99c3aa55f00fcc3366"));
    std::vector<BYTE> expected = StoredHours();
    EXPECT_EQ(1, Run(IDD_LOGON_HOURS, [&](HWND dialog) {
                  CheckListViewRow(dialog, IDC_HOURS_LIST, 0, false);
                  Press(dialog, IDOK);
              }));
    expected[0] = 0xFE;
    EXPECT_EQ(expected, StoredHours());
}

TEST_F(HoursExpiryTest, EditsOfEachDayAccumulateUntilOkAndCancelDiscardsThem)
{
    UseZone("JST-9");
    ASSERT_TRUE(world_.Sim(L"user set sato --logon-hours " + NoHours));
    // Local 00:00 to 09:00 under Sunday are rows 15 to 23: Monday morning in Japan.
    auto edit = [&](HWND dialog) {
        for (int row = 15; row < 24; ++row)
            CheckListViewRow(dialog, IDC_HOURS_LIST, row, true);
        Click(dialog, IDC_HOURS_SUNDAY + 1);
        EXPECT_EQ(L"時間帯の設定 - 月曜日", Title(dialog));
        EXPECT_FALSE(ListViewRows(dialog, IDC_HOURS_LIST)[15].checked);
        CheckListViewRow(dialog, IDC_HOURS_LIST, 0, true);
        Click(dialog, IDC_HOURS_SUNDAY);
        Click(dialog, IDC_HOURS_SUNDAY); // the day shown: stored and reloaded
        std::vector<ListViewRow> rows = ListViewRows(dialog, IDC_HOURS_LIST);
        EXPECT_TRUE(rows[15].checked && rows[23].checked && !rows[14].checked);
    };
    EXPECT_EQ(2, Run(IDD_LOGON_HOURS, [&](HWND d) { edit(d), Press(d, IDCANCEL); }));
    EXPECT_EQ(std::vector<BYTE>(21, 0), StoredHours());
    EXPECT_EQ(1, Run(IDD_LOGON_HOURS, [&](HWND d) { edit(d), Press(d, IDOK); }));
    std::vector<BYTE> expected(21, 0);
    expected[1] = 0x80; // Sunday bit 15
    expected[2] = 0xFF; // Sunday bits 16 to 23
    expected[3] = 0x01; // Monday bit 0
    EXPECT_EQ(expected, StoredHours());
}

TEST_F(HoursExpiryTest, FailuresAreReportedAndWriteNothing)
{
    ASSERT_TRUE(world_.Sim(L"user set sato --logon-hours " + NoHours + L" --expires 0"));
    ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 5"));
    EXPECT_EQ(2, Run(IDD_LOGON_HOURS, [](HWND) { ADD_FAILURE() << "opened"; }));
    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    EXPECT_EQ(2, Run(IDD_LOGON_HOURS, [](HWND dialog) {
                  CheckListViewRow(dialog, IDC_HOURS_LIST, 3, true);
                  Press(dialog, IDOK);
                  EXPECT_TRUE(ListViewRows(dialog, IDC_HOURS_LIST)[3].checked);
              }));
    ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 5"));
    EXPECT_EQ(2, Run(IDD_ACCOUNT_EXPIRY, [](HWND) { ADD_FAILURE() << "opened"; }));
    ASSERT_TRUE(world_.Sim(L"fail NetUserSetInfo 5"));
    EXPECT_EQ(2, StoreDate(L"2030", L"1", L"1"));
    ASSERT_EQ(4u, harness_.boxes.size());
    for (size_t i = 0; i < 4; ++i) {
        bool hours = i < 2;
        EXPECT_EQ(hours ? L"時間帯設定エラー" : L"アカウント有効期限設定エラー",
                  harness_.boxes[i].caption);
        EXPECT_EQ(0u, harness_.boxes[i].text.rfind(
                          hours ? L"時間帯を設定できませんでした。\n(エラー詳細 : "
                                : L"アカウント有効期限を設定できませんでした。\n(エラー詳細 : ",
                          0));
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), harness_.boxes[i].style);
    }
    EXPECT_EQ(std::vector<BYTE>(21, 0), StoredHours());
    EXPECT_EQ(0u, Stored().usri4_acct_expires);
}

TEST_F(HoursExpiryTest, ExpiryDatesRollOverAndReopenAsTheSameDay)
{
    UseZone("JST-9");
    EXPECT_EQ(1, StoreDate(L"2025", L"2", L"30"));
    EXPECT_EQ(1740927600u, Stored().usri4_acct_expires); // 2025-03-02 15:00 UTC
    EXPECT_EQ(L"2025/3/2", ShownDate());
    EXPECT_EQ(1, StoreDate(L"2025", L"0", L"15"));
    EXPECT_EQ(L"2024/12/15", ShownDate());
    // Stored in standard time, a date in New York's summer shows as itself.
    UseZone(NewYork);
    EXPECT_EQ(1, StoreDate(L"2025", L"3", L"9"));        // daylight saving begins
    EXPECT_EQ(1741582800u, Stored().usri4_acct_expires); // 2025-03-10 05:00 UTC
    EXPECT_EQ(L"2025/3/9", ShownDate());
    EXPECT_EQ(1, StoreDate(L"2025", L"7", L"4"));
    EXPECT_EQ(L"2025/7/4", ShownDate());
}

TEST_F(HoursExpiryTest, ExpiryDatesUpTo2106AreStoredAndShown)
{
    UseZone("JST-9");
    EXPECT_EQ(1, StoreDate(L"2106", L"2", L"6"));
    EXPECT_EQ(4294911600u, Stored().usri4_acct_expires); // 2106-02-06 15:00 UTC
    EXPECT_EQ(L"2106/2/6", ShownDate());
    ASSERT_TRUE(world_.Sim(L"user set sato --expires 2100-01-02T00:00:00"));
    EXPECT_EQ(L"2100/1/2", ShownDate());
    ASSERT_TRUE(world_.Sim(L"user set sato --expires never"));
    harness_.boxes.clear();
    EXPECT_EQ(2, StoreDate(L"2106", L"2", L"7"));
    EXPECT_EQ(2, StoreDate(L"1969", L"12", L"31"));
    EXPECT_EQ(2, StoreDate(L"", L"1", L"1"));
    ASSERT_EQ(3u, harness_.boxes.size());
    for (const Box& box : harness_.boxes) {
        EXPECT_EQ(L"日付が入力可能範囲外、または日付の入力が間違っています。", box.text);
        EXPECT_EQ(L"アカウント有効期限設定エラー", box.caption);
    }
    EXPECT_EQ(TIMEQ_FOREVER, Stored().usri4_acct_expires);
}

TEST_F(HoursExpiryTest, UncheckedExpiryWritesForever)
{
    ASSERT_TRUE(world_.Sim(L"user set sato --expires 0"));
    EXPECT_EQ(1, Run(IDD_ACCOUNT_EXPIRY, [](HWND dialog) {
                  EXPECT_FALSE(Checked(dialog, IDC_EXPIRY_SET));
                  EXPECT_EQ(4, Limit(dialog, IDC_EXPIRY_YEAR));
                  EXPECT_EQ(2, Limit(dialog, IDC_EXPIRY_DAY));
                  for (int id : {1001, 1002, 1003, 1004, 1005, 1010})
                      EXPECT_FALSE(Enabled(dialog, id)) << id;
                  Click(dialog, IDC_EXPIRY_SET);
                  EXPECT_TRUE(Enabled(dialog, IDC_EXPIRY_DAY_LABEL));
                  SetText(dialog, IDC_EXPIRY_YEAR, L"2030");
                  Click(dialog, IDC_EXPIRY_SET);
                  EXPECT_FALSE(Enabled(dialog, IDC_EXPIRY_YEAR));
                  Press(dialog, IDOK);
              }));
    EXPECT_EQ(TIMEQ_FOREVER, Stored().usri4_acct_expires);
}
