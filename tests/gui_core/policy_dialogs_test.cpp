// The password and lock-out policy dialog (540), run in-process against the
// simulated platform: what it refuses before writing, which levels it writes,
// and how a refused write is reported.
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
std::vector<DWORD> WrittenLevels; // of NetUserModalsSet, in order
using ModalsSet = NET_API_STATUS(WINAPI*)(LPCWSTR, DWORD, LPBYTE, LPDWORD);
ModalsSet RealModalsSet = nullptr;

NET_API_STATUS WINAPI RecordModalsSet(LPCWSTR server, DWORD level, LPBYTE buffer, LPDWORD parmErr)
{
    WrittenLevels.push_back(level);
    return RealModalsSet(server, level, buffer, parmErr);
}

AccountPolicy Stored()
{
    AccountPolicy policy;
    EXPECT_EQ(0u, ReadAccountPolicy(nullptr, &policy));
    return policy;
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

    // Opens the dialog on the stored policy, types (value, text) pairs, runs
    // `more` and presses OK; the end value is 2 when the dialog stayed open.
    INT_PTR TypeAndOk(const std::vector<std::pair<PolicyValue, std::wstring>>& values,
                      const Script& more = nullptr)
    {
        harness_.boxes.clear();
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
    // The one warning shown, which names the field that got the focus.
    void ExpectRefusal(const std::wstring& message, PolicyValue field)
    {
        ASSERT_EQ(1u, harness_.boxes.size());
        EXPECT_EQ(message, harness_.boxes[0].text);
        EXPECT_EQ(IDC_POLICY_EDIT + field, focus_);
    }

    CoreWorld world_;
    DialogHarness harness_;
    PolicyDialogState state_ = {};
    int focus_ = 0;
};
} // namespace

// Out of range, not a number, longer than the box takes, or a window longer
// than a lock-out that ends: nothing is written.
TEST_F(PolicyDialogTest, BrokenRulesNameTheFieldAndWriteNothing)
{
    std::string before = world_.Document();
    const std::pair<PolicyValue, const wchar_t*> cases[] = {
        {PolicyMinLength, L"15"}, {PolicyThreshold, L""}, {PolicyHistory, L"0000008"}};
    for (const auto& c : cases) {
        EXPECT_EQ(2, TypeAndOk({{c.first, c.second}}));
        ExpectRefusal(std::wstring(PolicyValueLabel(c.first)) + L" には 0 から " +
                          std::to_wstring(PolicyTypedRange(c.first).max) +
                          L" の数値を入力してください。",
                      c.first);
    }
    EXPECT_EQ(2, TypeAndOk({{PolicyMaxAge, L"0"}}));
    ExpectRefusal(
        L"パスワードの有効期間 (日) には 1 から 999 の数値を入力してください。\n期限を設けない場合は [無期限] をオンにしてください。",
        PolicyMaxAge);
    EXPECT_EQ(2, TypeAndOk({{PolicyDuration, L"20"}, {PolicyWindow, L"30"}}));
    ExpectRefusal(
        L"ロックアウト カウンターのリセット (分) の 30 は、ロックアウト期間 (分) の 20 以下にしてください。",
        PolicyWindow);
    EXPECT_TRUE(WrittenLevels.empty());
    EXPECT_EQ(before, world_.Document());
}

// A level is written only when one of its values changed, over the policy as
// it is at OK; "無期限" and a duration of 0 are TIMEQ_FOREVER.
TEST_F(PolicyDialogTest, OnlyTheLevelsThatChangedAreWritten)
{
    EXPECT_EQ(1, TypeAndOk({{PolicyDuration, L"0"}, {PolicyWindow, L"30"}},
                           [&](HWND) { ASSERT_TRUE(world_.Sim(L"policy lockout-threshold 3")); }));
    EXPECT_EQ(std::vector<DWORD>{3}, WrittenLevels);
    AccountPolicy stored = Stored();
    EXPECT_EQ(TIMEQ_FOREVER, stored.duration);
    EXPECT_EQ(3u, stored.threshold) << "written meanwhile elsewhere, kept";

    WrittenLevels.clear();
    EXPECT_EQ(1, TypeAndOk({{PolicyMinLength, L"12"}},
                           [](HWND dialog) { Click(dialog, IDC_POLICY_MAX_AGE_UNLIMITED); }));
    EXPECT_EQ(std::vector<DWORD>{0}, WrittenLevels);
    EXPECT_EQ(TIMEQ_FOREVER, Stored().maxAge);

    WrittenLevels.clear();
    EXPECT_EQ(1, TypeAndOk({}, [](HWND dialog) {
                  EXPECT_TRUE(Checked(dialog, IDC_POLICY_MAX_AGE_UNLIMITED));
                  EXPECT_FALSE(Enabled(dialog, IDC_POLICY_EDIT + PolicyMaxAge));
                  EXPECT_EQ(L"0", Text(dialog, IDC_POLICY_EDIT + PolicyDuration));
              }));
    EXPECT_TRUE(WrittenLevels.empty());
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
