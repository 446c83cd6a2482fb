// The formatting rule of the whole code base: "%s" in a wide format is a wide
// string, as in Microsoft's CRT, and bounded buffers never overflow.
#include <gtest/gtest.h>

#include <string>

#include "textformat.h"

namespace {

TEST(TextFormat, PercentSTakesAWideString)
{
    wchar_t buf[64];
    ASSERT_GT(FormatBounded(buf, 64, L"\\\\%s", L"SERVER"), 0);
    EXPECT_STREQ(buf, L"\\\\SERVER");
    FormatBounded(buf, 64, L"%s%sAmbgui.chm", L"C:", L"\\Tools\\");
    EXPECT_STREQ(buf, L"C:\\Tools\\Ambgui.chm");
    FormatBounded(buf, 64, L"Version %s (%s)", L"1.10", L"1.10.2014.102");
    EXPECT_STREQ(buf, L"Version 1.10 (1.10.2014.102)");
    FormatBounded(buf, 64, L"%S|%d|%u|%08X", "narrow", -5, 7u, 0xBEEFu);
    EXPECT_STREQ(buf, L"narrow|-5|7|0000BEEF");
}

TEST(TextFormat, CutsTextThatDoesNotFitAndAlwaysTerminates)
{
    wchar_t buf[8];
    wmemset(buf, L'#', 8);
    EXPECT_EQ(FormatBounded(buf, 8, L"%s", L"0123456789"), -1);
    EXPECT_STREQ(buf, L"0123456");
    EXPECT_EQ(FormatBounded(buf, 8, L"%s", L"0123456"), 7);
    EXPECT_STREQ(buf, L"0123456");
    EXPECT_EQ(FormatBounded(buf, 8, L"%s", L"01234567"), -1);
    EXPECT_STREQ(buf, L"0123456");
    EXPECT_EQ(FormatBounded(buf, 0, L"x"), -1);
}

TEST(TextFormat, LongTextsAreNotCutWhenPrinted)
{
    std::wstring long_name(5000, L'山');
    // Output goes to the test's stdout; here we only check that it does not fail
    // on a text longer than any fixed buffer.
    PrintFormatted(L"%s%s", L"", L"");
    wchar_t small[4];
    EXPECT_EQ(FormatBounded(small, 4, L"%s", long_name.c_str()), -1);
    EXPECT_EQ(std::wstring(small), L"山山山");
}

} // namespace
