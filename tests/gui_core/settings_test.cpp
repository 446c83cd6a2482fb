// The eight persisted settings: registry format, defaults, clamping and the
// values that are ignored. HKCU is redirected to a private key of this test,
// because every test of the build shares one prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core_world.h"
#include "globals.h"

namespace {
const wchar_t SettingsKey[] = L"Software\\Dunmarrow\\Ambrelle";

class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        privateKeyName_ = L"Software\\AmbguiCoreTests\\" + std::to_wstring(GetCurrentProcessId());
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CURRENT_USER, privateKeyName_.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &root_, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, root_));
        ResetAmbguiGlobals();
        AppSettings.Welcome = 0;
    }

    void TearDown() override
    {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, privateKeyName_.c_str());
        FreeAmbguiGlobals();
    }

    void Store(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }

    void StoreDword(const wchar_t* name, LONG value)
    {
        Store(name, REG_DWORD, &value, sizeof(value));
    }

    std::wstring privateKeyName_;
    HKEY root_ = nullptr;
};
} // namespace

TEST_F(SettingsTest, MissingKeyKeepsEveryDefault)
{
    EXPECT_EQ(0, LoadSettings());
    EXPECT_EQ(static_cast<LONG>(CW_USEDEFAULT), AppSettings.X);
    EXPECT_EQ(static_cast<LONG>(CW_USEDEFAULT), AppSettings.Height);
    EXPECT_EQ(0, AppSettings.Welcome);
    EXPECT_EQ(0, AppSettings.View);
}

TEST_F(SettingsTest, SaveWritesEightDwordsAndLoadReadsThemBack)
{
    AppSettings = {10, 20, 640, 480, 1, 2, 1, 2};
    ASSERT_EQ(1, SaveSettings());

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &key));
    const wchar_t* expected[] = {
        L"X", L"Y", L"Width", L"Height", L"Welcome", L"IsShowBuiltinAccount", L"Advanced", L"View"};
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(8u, values);
    for (const wchar_t* name : expected) {
        DWORD type = 0;
        DWORD size = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, &type, nullptr, &size))
            << name;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << name;
        EXPECT_EQ(4u, size) << name;
    }
    RegCloseKey(key);

    ResetAmbguiGlobals();
    ASSERT_EQ(1, LoadSettings());
    EXPECT_EQ(10, AppSettings.X);
    EXPECT_EQ(20, AppSettings.Y);
    EXPECT_EQ(640, AppSettings.Width);
    EXPECT_EQ(480, AppSettings.Height);
    EXPECT_EQ(1, AppSettings.Welcome);
    EXPECT_EQ(2, AppSettings.IsShowBuiltinAccount);
    EXPECT_EQ(1, AppSettings.Advanced);
    EXPECT_EQ(2, AppSettings.View);
}

TEST_F(SettingsTest, NegativeLeftAndTopComeBackAtZeroOtherValuesUnchecked)
{
    StoreDword(L"X", -20);
    StoreDword(L"Y", static_cast<LONG>(CW_USEDEFAULT));
    StoreDword(L"Width", 0);
    StoreDword(L"Height", static_cast<LONG>(CW_USEDEFAULT));
    StoreDword(L"View", 7);
    ASSERT_EQ(1, LoadSettings());
    EXPECT_EQ(0, AppSettings.X);
    EXPECT_EQ(0, AppSettings.Y);
    EXPECT_EQ(0, AppSettings.Width);
    EXPECT_EQ(static_cast<LONG>(CW_USEDEFAULT), AppSettings.Height);
    EXPECT_EQ(7, AppSettings.View);
}

TEST_F(SettingsTest, ValuesOfAnotherTypeOrSizeAreIgnored)
{
    Store(L"View", REG_SZ, L"2", 4);
    ULONGLONG wide = 1;
    Store(L"Advanced", REG_QWORD, &wide, sizeof(wide));
    WORD narrow = 1;
    Store(L"Welcome", REG_DWORD, &narrow, sizeof(narrow));
    StoreDword(L"IsShowBuiltinAccount", 1);
    ASSERT_EQ(1, LoadSettings());
    EXPECT_EQ(0, AppSettings.View);
    EXPECT_EQ(0, AppSettings.Advanced);
    EXPECT_EQ(0, AppSettings.Welcome);
    EXPECT_EQ(1, AppSettings.IsShowBuiltinAccount);
}

TEST_F(SettingsTest, MissingPositionValuesKeepThePlatformDefault)
{
    StoreDword(L"Welcome", 1);
    ASSERT_EQ(1, LoadSettings());
    EXPECT_EQ(static_cast<LONG>(CW_USEDEFAULT), AppSettings.X);
    EXPECT_EQ(static_cast<LONG>(CW_USEDEFAULT), AppSettings.Y);
    EXPECT_EQ(1, AppSettings.Welcome);
}
