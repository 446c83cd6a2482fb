// The logon-hours and account-expiry dialogs opened from the advanced user
// settings, in Japan's time zone: each writes the account at its own OK, and
// Cancel in the settings dialog takes nothing back.
#include <nlohmann/json.hpp>

#include "ambgui_fixture.h"

namespace ambtest {
namespace {

class HoursFlowTest : public AmbguiTest
{
protected:
    void SetUp() override
    {
        AmbguiTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // Ambgui inherits the zone; the time functions read it from TZ.
        SetEnv(L"TZ", L"JST-9");
        ASSERT_TRUE(Sim(L"user add taro"));
        ASSERT_TRUE(Sim(L"user set taro --logon-hours " + std::wstring(42, L'0')));
    }
    void TearDown() override
    {
        SetEnv(L"TZ", nullptr);
        AmbguiTest::TearDown();
    }

    // Opens the settings of taro in advanced mode and presses `button` there.
    HWND OpenFromSettings(int button, const std::wstring& title)
    {
        PrepareSettings(0, 1);
        if (!StartReady())
            return nullptr;
        int row = app.FindRow(app.AccountList(), L"taro");
        if (row < 0 || !app.ClickRow(app.AccountList(), row))
            return nullptr;
        app.Command(kUserSettings);
        settings_ = app.WaitDialog(L"ユーザー アカウントの設定");
        if (settings_ == nullptr)
            return nullptr;
        App::PressButton(settings_, button);
        return app.WaitDialog(title);
    }

    // Cancels the settings dialog once the sub-dialog has closed.
    void CancelSettings()
    {
        App::PressButton(settings_, IDCANCEL);
        EXPECT_TRUE(App::WaitGone(settings_));
        ExpectNoMoreBoxes();
    }

    nlohmann::json Taro()
    {
        std::wstring dump;
        if (!world.Run(L"dump", &dump))
            return nlohmann::json();
        nlohmann::json doc = nlohmann::json::parse(Narrow(dump), nullptr, false);
        if (doc.is_discarded())
            return nlohmann::json();
        for (const nlohmann::json& user : doc["users"])
            if (user["name"] == "taro")
                return user;
        return nlohmann::json();
    }

    HWND settings_ = nullptr;
};

TEST_F(HoursFlowTest, LogonHoursOfMondayAreWrittenAtOk)
{
    HWND hours = OpenFromSettings(1014, L"時間帯の設定 - 日曜日");
    ASSERT_NE(hours, nullptr);
    HWND list = GetDlgItem(hours, 1007);
    ASSERT_EQ(24, app.ItemCount(list));
    // A list in list mode has no header: its cells are read one by one.
    EXPECT_TEXT(app.Cell(list, 0, 0), L"09:00 ～ 10:00");
    EXPECT_FALSE(app.Row(list, 0).Checked());
    App::PressButton(hours, 1001);
    app.Settle();
    EXPECT_TEXT(App::Text(hours), L"時間帯の設定 - 月曜日");
    ASSERT_TRUE(app.SetRowChecked(list, 0, true));
    App::PressButton(hours, IDOK);
    ASSERT_TRUE(App::WaitGone(hours));
    CancelSettings();
    // Monday 00:00 to 01:00 UTC, the first bit of byte 3.
    EXPECT_EQ(std::string(6, '0') + "01" + std::string(34, '0'),
              Taro().value("logonHours", std::string()));
}

TEST_F(HoursFlowTest, ExpiryAfter2038IsWrittenAtOk)
{
    HWND expiry = OpenFromSettings(1015, L"アカウント有効期限の設定");
    ASSERT_NE(expiry, nullptr);
    EXPECT_FALSE(App::IsEnabled(expiry, 1001));
    App::Tick(expiry, 1000, true);
    EXPECT_TRUE(App::IsEnabled(expiry, 1001));
    App::SetEditText(expiry, 1001, L"2040");
    App::SetEditText(expiry, 1003, L"1");
    App::SetEditText(expiry, 1005, L"31");
    App::PressButton(expiry, IDOK);
    ASSERT_TRUE(App::WaitGone(expiry));
    CancelSettings();
    // The first second after 2040-01-31 in Japan: 2040-01-31 15:00 UTC.
    EXPECT_EQ(2211634800u, Taro().value("acctExpires", 0u));
}

} // namespace
} // namespace ambtest
