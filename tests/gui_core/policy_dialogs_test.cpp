// The password and lock-out policy dialog (540), run in-process against the
// simulated platform: what it refuses before writing, which levels it writes,
// and how a refused write is reported. Outcomes are read back with
// NetUserModalsGet.
#include <windows.h>

#include <lm.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "callcount.h"
#include "core_world.h"
#include "dialog_harness.h"
#include "errortext.h"
#include "globals.h"
#include "policy_dialogs.h"
#include "resource.h"

using namespace dialogtest;

namespace {
// The levels NetUserModalsSet was called with, in order.
std::vector<DWORD> WrittenLevels;
using ModalsSet = NET_API_STATUS(WINAPI*)(LPCWSTR, DWORD, LPBYTE, LPDWORD);
ModalsSet RealModalsSet = nullptr;

NET_API_STATUS WINAPI RecordModalsSet(LPCWSTR server, DWORD level, LPBYTE buffer, LPDWORD parmErr)
{
    WrittenLevels.push_back(level);
    return RealModalsSet(server, level, buffer, parmErr);
}

class PolicyDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        WrittenLevels.clear();
        RealModalsSet = reinterpret_cast<ModalsSet>(
            RedirectImport("NetUserModalsSet", reinterpret_cast<void*>(RecordModalsSet)));
        ASSERT_NE(nullptr, RealModalsSet);
    }
    void TearDown() override
    {
        RedirectImport("NetUserModalsSet", reinterpret_cast<void*>(RealModalsSet));
        FreeAmbguiGlobals();
    }

    AccountPolicy Stored()
    {
        AccountPolicy policy;
        EXPECT_EQ(0u, ReadAccountPolicy(nullptr, &policy));
        return policy;
    }

    // Opens the dialog on the stored policy, types `values` (value, text) and
    // presses OK; returns the dialog's end value (2 when it stayed open).
    INT_PTR TypeAndOk(const std::vector<std::pair<PolicyValue, std::wstring>>& values,
                      const Script& more = nullptr)
    {
        state_ = {nullptr, Stored()};
        return harness_.Run(IDD_POLICY, PolicyDialogProc, reinterpret_cast<LPARAM>(&state_),
                            [&](HWND dialog) {
                                for (const auto& value : values)
                                    SetText(dialog, IDC_POLICY_EDIT + value.first, value.second);
                                if (more)
                                    more(dialog);
                                Press(dialog, IDOK);
                                focus_ = GetDlgCtrlID(GetFocus());
                            });
    }

    CoreWorld world_;
    DialogHarness harness_;
    PolicyDialogState state_ = {};
    int focus_ = 0;
};
} // namespace

TEST_F(PolicyDialogTest, OpensWithTheStoredValuesUnderTheSharedLabels)
{
    ASSERT_TRUE(world_.Sim(L"policy max-age 0"));
    ASSERT_TRUE(world_.Sim(L"policy lockout-threshold 5 --duration 0 --window 15"));
    state_ = {nullptr, Stored()};
    harness_.Run(IDD_POLICY, PolicyDialogProc, reinterpret_cast<LPARAM>(&state_), [](HWND dialog) {
        EXPECT_EQ(L"ローカル コンピュータ", Text(dialog, IDC_POLICY_TARGET));
        EXPECT_EQ(L"ロックアウト カウンターのリセット (分)",
                  Text(dialog, IDC_POLICY_LABEL + PolicyWindow));
        EXPECT_EQ(L"(0 から 99999)", Text(dialog, IDC_POLICY_NOTE + PolicyDuration));
        EXPECT_EQ(5, Limit(dialog, IDC_POLICY_EDIT + PolicyWindow));
        EXPECT_TRUE(Checked(dialog, IDC_POLICY_MAX_AGE_UNLIMITED)) << "max-age 0 is unlimited";
        EXPECT_FALSE(Enabled(dialog, IDC_POLICY_EDIT + PolicyMaxAge));
        EXPECT_EQ(L"0", Text(dialog, IDC_POLICY_EDIT + PolicyDuration)) << "until unlocked";
        EXPECT_EQ(L"15", Text(dialog, IDC_POLICY_EDIT + PolicyWindow));
        Click(dialog, IDC_POLICY_MAX_AGE_UNLIMITED);
        EXPECT_TRUE(Enabled(dialog, IDC_POLICY_EDIT + PolicyMaxAge));
    });
}

// Each bad value names its field and range, takes the focus and writes nothing.
TEST_F(PolicyDialogTest, ValuesOutOfRangeOrNotNumbersAreRefusedByField)
{
    std::string before = world_.Document();
    struct
    {
        PolicyValue value;
        const wchar_t* typed;
        const wchar_t* message;
    } const cases[] = {
        {PolicyMinLength, L"15",
         L"パスワードの長さ (最小文字数) には 0 から 14 の数値を入力してください。"},
        {PolicyMaxAge, L"0",
         L"パスワードの有効期間 (日) には 1 から 999 の数値を入力してください。\n期限を設けない場合は [無期限] をオンにしてください。"},
        {PolicyHistory, L"9",
         L"パスワードの履歴 (記憶する数) には 0 から 8 の数値を入力してください。"},
        {PolicyThreshold, L"",
         L"アカウントのロックアウトのしきい値 (回) には 0 から 999 の数値を入力してください。"},
        {PolicyWindow, L"0",
         L"ロックアウト カウンターのリセット (分) には 1 から 99999 の数値を入力してください。"},
        {PolicyHistory, L"0000008", L"パスワードの履歴 (記憶する数) には 0 から 8 の数値を入力してください。"},
        {PolicyMinAge, L"-1",
         L"パスワードの変更禁止期間 (日) には 0 から 998 の数値を入力してください。"},
    };
    for (const auto& c : cases) {
        harness_.boxes.clear();
        EXPECT_EQ(2, TypeAndOk({{c.value, c.typed}})) << Utf8(c.typed);
        ASSERT_EQ(1u, harness_.boxes.size()) << Utf8(c.typed);
        EXPECT_EQ(c.message, harness_.boxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), harness_.boxes[0].style);
        EXPECT_EQ(IDC_POLICY_EDIT + c.value, focus_) << Utf8(c.typed);
    }
    EXPECT_TRUE(WrittenLevels.empty());
    EXPECT_EQ(before, world_.Document());
}

TEST_F(PolicyDialogTest, WindowAboveALockoutThatEndsIsRefusedAndUntilUnlockedIsNot)
{
    std::string before = world_.Document();
    EXPECT_EQ(2, TypeAndOk({{PolicyDuration, L"20"}, {PolicyWindow, L"30"}}));
    ASSERT_EQ(1u, harness_.boxes.size());
    EXPECT_EQ(
        L"ロックアウト カウンターのリセット (分) の 30 は、ロックアウト期間 (分) の 20 以下にしてください。",
        harness_.boxes[0].text);
    EXPECT_EQ(IDC_POLICY_EDIT + PolicyWindow, focus_);
    EXPECT_EQ(before, world_.Document());

    EXPECT_EQ(1, TypeAndOk({{PolicyDuration, L"0"}, {PolicyWindow, L"30"}}));
    AccountPolicy stored = Stored();
    EXPECT_EQ(TIMEQ_FOREVER, stored.duration);
    EXPECT_EQ(1800u, stored.window);
}

// A level is written only when one of its values changed; unlimited is
// TIMEQ_FOREVER, and a value left alone keeps what the platform holds.
TEST_F(PolicyDialogTest, OnlyTheLevelsThatChangedAreWritten)
{
    // A value of the same level written meanwhile elsewhere stays.
    EXPECT_EQ(1, TypeAndOk({{PolicyThreshold, L"3"}}, [&](HWND) {
                  ASSERT_TRUE(world_.Sim(L"policy lockout-threshold 10 --window 5"));
              }));
    EXPECT_EQ(std::vector<DWORD>{3}, WrittenLevels);
    EXPECT_EQ(3u, Stored().threshold);
    EXPECT_EQ(300u, Stored().window);

    WrittenLevels.clear();
    EXPECT_EQ(1, TypeAndOk({{PolicyMinLength, L"12"}},
                           [](HWND dialog) { Click(dialog, IDC_POLICY_MAX_AGE_UNLIMITED); }));
    EXPECT_EQ(std::vector<DWORD>{0}, WrittenLevels);
    AccountPolicy stored = Stored();
    EXPECT_EQ(12u, stored.minLength);
    EXPECT_EQ(TIMEQ_FOREVER, stored.maxAge);

    WrittenLevels.clear();
    EXPECT_EQ(1, TypeAndOk({}));
    EXPECT_TRUE(WrittenLevels.empty());
    EXPECT_TRUE(harness_.boxes.empty());
}

TEST_F(PolicyDialogTest, RefusedWriteShowsThePlatformsReasonAndStaysOpen)
{
    ASSERT_TRUE(world_.Sim(L"fail NetUserModalsSet 5"));
    EXPECT_EQ(2, TypeAndOk({{PolicyMinLength, L"8"}}));
    ASSERT_EQ(1u, harness_.boxes.size());
    LPWSTR detail = FormatErrorText(ERROR_ACCESS_DENIED);
    EXPECT_EQ(std::wstring(
                  L"パスワードとロックアウトのポリシーを変更できませんでした。\n(エラー詳細 : ") +
                  detail + L")",
              harness_.boxes[0].text);
    LocalFree(detail);
    EXPECT_EQ(L"ポリシー設定エラー", harness_.boxes[0].caption);
    EXPECT_EQ(0u, Stored().minLength);
}
