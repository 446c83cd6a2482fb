// The import's reader on hostile and ordinary files: every refusal names its
// line, nothing crashes, and the report's own spellings read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "import_world.h"

namespace {
const char Header[] = "種類,名前,コメント\r\n";

struct BadFile
{
    const char* what;
    std::string bytes;
    DWORD line;           // of the first problem
    const wchar_t* words; // in the first problem
};

std::string Sjis(const std::wstring& text)
{
    int size = WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

TEST(ImportReader, RefusesBrokenFilesNamingTheLine)
{
    std::string manyRows = Header;
    for (int i = 0; i < 100000; ++i)
        manyRows += "ユーザー,u" + std::to_string(i) + ",\r\n";
    const BadFile cases[] = {
        {"empty", "", 0, L"ファイルが空です"},
        {"bom only", "\xEF\xBB\xBF", 0, L"ファイルが空です"},
        {"header only", Header, 0, L"見出しの行だけ"},
        {"broken quote", std::string(Header) + "ユーザー,a,\"ok\"\r\nユーザー,b,\"open\r\n", 3,
         L"引用符"},
        {"text after quote", std::string(Header) + "ユーザー,a,\"x\"y\r\n", 2, L"引用符"},
        {"nul byte",
         std::string(Header) + "ユーザー,a,\r\nユーザー,b" + std::string(1, '\0') + ",\r\n", 3,
         L"NUL"},
        {"invalid utf-8 after bom",
         "\xEF\xBB\xBF" + std::string(Header) + "ユーザー,a,\r\nユーザー,b\xC3\x28,\r\n", 3,
         L"UTF-8 として"},
        {"neither utf-8 nor shift_jis", Sjis(L"種類,名前\r\nユーザー,a\r\n") + "\x81\x20,b\r\n", 3,
         L"Shift_JIS"},
        {"megabyte field", std::string(Header) + "ユーザー,a," + std::string(1 << 20, 'x') + "\r\n",
         2, L"長すぎます"},
        {"100,000 rows", manyRows, 0, L"多すぎます"},
        {"no name column", "種類,コメント\r\nユーザー,x\r\n", 1, L"名前"},
        {"unknown column", "種類,名前,コメンント\r\nユーザー,a,x\r\n", 1, L"コメンント"},
        {"utf-16 cut", "\xFF\xFE\x41", 0, L"UTF-16"},
    };
    for (const BadFile& c : cases) {
        ImportTable* table = nullptr;
        DWORD status =
            ReadImportBytes(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size(), &table);
        ASSERT_EQ(status, static_cast<DWORD>(ERROR_INVALID_DATA)) << c.what;
        ASSERT_NE(table, nullptr);
        ASSERT_GE(table->problemCount, 1u) << c.what;
        EXPECT_EQ(table->problems[0].line, c.line) << c.what;
        EXPECT_NE(std::wstring(table->problems[0].text).find(c.words), std::wstring::npos)
            << c.what << ": " << Utf8(table->problems[0].text);
        FreeImportTable(table);
    }
}

TEST(ImportReader, ListsEveryBadRowWithItsColumn)
{
    std::string file = "種類,名前,アカウントの状態,アカウント有効期限,所属グループ,メンバー\r\n"
                       "ユーザー,ok,有効,なし,,\r\n"
                       "人,a,,,,\r\n"                           // line 3: kind
                       "ユーザー,b/c,,,,\r\n"                   // line 4: forbidden character
                       "ユーザー,abcdefghijklmnopqrstu,,,,\r\n" // line 5: 21 characters
                       "ユーザー,d,たぶん,,,\r\n"               // line 6: state
                       "ユーザー,e,,2027/02/30 00:00,,\r\n"     // line 7: no such day
                       "グループ,g,有効,,,\r\n"                 // line 8: a user's column
                       "ユーザー,OK,,,,\r\n";                   // line 9: the same name again
    ImportRun run;
    ReadAndPlan(run, file);
    ASSERT_EQ(run.read, static_cast<DWORD>(ERROR_INVALID_DATA));
    std::wstring problems = run.Problems();
    for (const wchar_t* expected :
         {L"3: 列「種類」", L"4: 列「名前」: 「b/c」に使えない文字「/」", L"5: 列「名前」",
          L"6: 列「アカウントの状態」", L"7: 列「アカウント有効期限」",
          L"8: 列「アカウントの状態」", L"9: 列「名前」: 「OK」は行 2 にもあります"})
        EXPECT_NE(problems.find(expected), std::wstring::npos) << Utf8(expected) << "\n"
                                                               << Utf8(problems);
    EXPECT_EQ(run.table->problemCount, 7u) << Utf8(problems);
}

TEST(ImportReader, ReadsQuotingSeparatorsAndEncodings)
{
    struct Good
    {
        const char* what;
        std::string bytes;
        const wchar_t* encoding;
        const wchar_t* comment; // of the only row
    };
    const Good cases[] = {
        {"utf-8 bom, crlf, quotes",
         "\xEF\xBB\xBF種類,名前,コメント\r\nユーザー,a,\"x, \"\"y\"\"\r\nz\"\r\n", L"UTF-8 (BOM)",
         L"x, \"y\"\r\nz"},
        {"utf-8, lf, formula guard", "種類,名前,コメント\nユーザー,a,'=1+2\n", L"UTF-8", L"=1+2"},
        {"guard only before a formula", "種類,名前,コメント\nユーザー,a,'abc\n", L"UTF-8", L"'abc"},
        {"tsv, columns in another order",
         "コメント\t名前\tID\t種類\r\nc,d\ta\t1001\tユーザー\r\n\r\n", L"UTF-8", L"c,d"},
        {"shift_jis as excel saves it",
         Sjis(L"種類,名前,コメント\r\nユーザー,a,表示名 ソ\r\n,,\r\n"), L"Shift_JIS", L"表示名 ソ"},
    };
    for (const Good& c : cases) {
        ImportTable* table = nullptr;
        DWORD status =
            ReadImportBytes(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size(), &table);
        ASSERT_EQ(status, 0u) << c.what
                              << (table != nullptr && table->problemCount > 0
                                      ? Utf8(table->problems[0].text)
                                      : "");
        ASSERT_EQ(table->rowCount, 1u) << c.what;
        EXPECT_STREQ(table->encoding, c.encoding) << c.what;
        EXPECT_STREQ(table->rows[0].cells[ColumnName], L"a") << c.what;
        EXPECT_STREQ(table->rows[0].cells[ColumnComment], c.comment) << c.what;
        EXPECT_EQ(table->rows[0].line, 2u) << c.what;
        FreeImportTable(table);
    }
}

TEST(ImportReader, GeneratedPasswordsAreLongMixedAndDifferent)
{
    wchar_t first[ImportPasswordChars + 1];
    wchar_t second[ImportPasswordChars + 1];
    ASSERT_EQ(GenerateImportPassword(first, ImportPasswordChars + 1), 0u);
    ASSERT_EQ(GenerateImportPassword(second, ImportPasswordChars + 1), 0u);
    EXPECT_EQ(wcslen(first), ImportPasswordChars);
    EXPECT_STRNE(first, second);
    for (const wchar_t* set :
         {L"ABCDEFGHJKLMNPQRSTUVWXYZ", L"abcdefghijkmnopqrstuvwxyz", L"23456789", L"#%&*+-=?@_"})
        EXPECT_NE(wcspbrk(first, set), nullptr) << Utf8(set);
}
} // namespace
