// The logon-hours and account-expiry dialogs opened from the advanced user
// settings in Japan's zone: each writes the account at its own OK, and Cancel
// in the settings dialog takes nothing back.
#include <nlohmann/json.hpp>

#include "ambgui_fixture.h"

namespace ambtest {
namespace {

class HoursFlowTest : public AmbguiTest
{
protected:
    void TearDown() override
    {
        SetEnv(L"TZ", nullptr);
        AmbguiTest::TearDown();
    }
    // Opens taro's settings, presses `button` there and returns what it opens.
    HWND OpenFromSettings(int button, const std::wstring& title)
    {
        SetEnv(L"TZ", L"JST-9"); // inherited by Ambgui
        PrepareSettings(0, 1);
        if (!Sim(L"user add taro") ||
            !Sim(L"user set taro --logon-hours " + std::wstring(42, L'0')) || !StartReady())
            return nullptr;
        settings_ = OpenUserSettings(L"taro");
        if (settings_ != nullptr)
            App::PressButton(settings_, button);
        return settings_ != nullptr ? app.WaitDialog(title) : nullptr;
    }
    // Presses OK in the sub-dialog and Cancel in the settings; returns taro's record.
    nlohmann::json AcceptAndCancelSettings(HWND dialog)
    {
        App::PressButton(dialog, IDOK);
        EXPECT_TRUE(App::WaitGone(dialog));
        App::PressButton(settings_, IDCANCEL);
        EXPECT_TRUE(App::WaitGone(settings_));
        ExpectNoMoreBoxes();
        std::wstring dump;
        world.Run(L"dump", &dump);
        nlohmann::json doc = nlohmann::json::parse(Narrow(dump), nullptr, false);
        if (!doc.is_discarded())
            for (const nlohmann::json& user : doc["users"])
                if (user["name"] == "taro")
                    return user;
        return nlohmann::json::object();
    }

    HWND settings_ = nullptr;
};

TEST_F(HoursFlowTest, LogonHoursOfMondayAreWrittenAtOk)
{
    HWND hours = OpenFromSettings(1014, L"時間帯の設定 - 日曜日");
    ASSERT_NE(hours, nullptr);
    HWND list = GetDlgItem(hours, 1007);
    ASSERT_EQ(24, app.ItemCount(list));
    EXPECT_TEXT(app.Cell(list, 0, 0), L"09:00 ～ 10:00");
    App::PressButton(hours, 1001);
    app.Settle();
    EXPECT_TEXT(App::Text(hours), L"時間帯の設定 - 月曜日");
    ASSERT_TRUE(app.SetRowChecked(list, 0, true));
    // Monday 00:00 to 01:00 UTC: the first bit of byte 3.
    EXPECT_EQ(std::string(6, '0') + "01" + std::string(34, '0'),
              AcceptAndCancelSettings(hours).value("logonHours", std::string()));
}

TEST_F(HoursFlowTest, ExpiryAfter2038IsWrittenAtOk)
{
    HWND expiry = OpenFromSettings(1015, L"アカウント有効期限の設定");
    ASSERT_NE(expiry, nullptr);
    App::Tick(expiry, 1000, true);
    EXPECT_TRUE(App::IsEnabled(expiry, 1001));
    App::SetEditText(expiry, 1001, L"2040");
    App::SetEditText(expiry, 1003, L"1");
    App::SetEditText(expiry, 1005, L"31");
    // The first second after 2040-01-31 in Japan: 15:00 UTC.
    EXPECT_EQ(2211634800u, AcceptAndCancelSettings(expiry).value("acctExpires", 0u));
}

} // namespace
} // namespace ambtest
