// The error-text rule: system texts in the user's language, network codes from
// the system's netmsg.dll, one trailing line feed and then one carriage return
// removed, never a failure and never an empty text.
#include <gtest/gtest.h>

#include <string>

#include "errortext.h"

namespace {

std::wstring ErrorText(DWORD code)
{
    LPWSTR text = FormatErrorText(code);
    EXPECT_NE(text, nullptr);
    std::wstring copy = text ? text : L"";
    LocalFree(text);
    return copy;
}

std::wstring RawSystemText(DWORD code)
{
    LPWSTR text = nullptr;
    FormatMessageW(0x1300, nullptr, code, 0x400, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring copy = text ? text : L"";
    LocalFree(text);
    return copy;
}

std::wstring Trimmed(std::wstring text)
{
    size_t length = TrimMessageLineEnd(text.data(), text.size());
    EXPECT_EQ(length, wcslen(text.c_str()));
    return text.c_str();
}

TEST(ErrorText, GivesTheJapaneseSystemTextWithoutItsLineEnd)
{
    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED), L"アクセスが拒否されました。");
    for (DWORD code : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER,
                       ERROR_MEMBER_IN_ALIAS, ERROR_NO_SUCH_MEMBER}) {
        std::wstring raw = RawSystemText(code);
        ASSERT_FALSE(raw.empty()) << code;
        ASSERT_EQ(raw.back(), L'\n') << code;
        std::wstring expected = raw.substr(0, raw.size() - 1);
        if (!expected.empty() && expected.back() == L'\r')
            expected.pop_back();
        EXPECT_EQ(ErrorText(code), expected) << code;
    }
}

// The test bed's netmsg.dll is our stand-in with our own texts.
TEST(ErrorText, NetworkCodesComeFromNetmsgAndACodeWithoutTextShowsItself)
{
    EXPECT_EQ(ErrorText(2224), L"同じ名前のアカウントが既にあります。"); // NERR_UserExists
    EXPECT_EQ(ErrorText(2999), L"エラー コード 2999");
    EXPECT_EQ(ErrorText(0x2FFFFFFF), L"エラー コード 805306367");
    EXPECT_EQ(ErrorText(0xDEADBEEF), L"エラー コード 3735928559");
}

TEST(ErrorText, TrimsOneLineFeedThenOneCarriageReturnOnly)
{
    EXPECT_EQ(Trimmed(L"アクセスが拒否されました。\r\n"), L"アクセスが拒否されました。");
    EXPECT_EQ(Trimmed(L"text.\n"), L"text.");
    EXPECT_EQ(Trimmed(L"text\r"), L"text");
    EXPECT_EQ(Trimmed(L"text\n\n"), L"text\n");
    EXPECT_EQ(Trimmed(L"text\r\n\r\n"), L"text\r\n");
    EXPECT_EQ(Trimmed(L"text\n\r"), L"text\n");
    EXPECT_EQ(Trimmed(L"text. "), L"text. ");
    EXPECT_EQ(Trimmed(L"\r\n"), L"");
    EXPECT_EQ(Trimmed(L""), L"");
}

} // namespace
