// The account report written in-process from a simulated computer ("AMBPC01",
// session user "kanri"): its fields, its encoding, the remote target, failures
// that must leave nothing behind, and its speed against a refresh of the list.
#include <windows.h>

#include <gtest/gtest.h>
#include <lm.h>

#include <string>

#include "account_report.h"
#include "accountlist.h"
#include "core_world.h"
#include "dialog_harness.h"
#include "globals.h"
#include "parallelcalls.h"
#include "textformat.h"

namespace {
using dialogtest::Utf8;

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

class ReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetAmbguiGlobals();
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        folder_ = std::wstring(base) + L"ambreport" + std::to_wstring(GetCurrentProcessId()) +
                  L"-" + std::to_wstring(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        path_ = folder_ + L"\\report.csv";
    }

    void TearDown() override
    {
        for (const std::wstring& file : Files())
            DeleteFileW((folder_ + L"\\" + file).c_str());
        RemoveDirectoryW(folder_.c_str());
        FreeAmbguiGlobals();
    }

    std::vector<std::wstring> Files()
    {
        std::vector<std::wstring> files;
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return files;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                files.push_back(found.cFileName);
        } while (FindNextFileW(find, &found));
        FindClose(find);
        return files;
    }

    std::string Read()
    {
        std::string bytes;
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return bytes;
        char chunk[4096];
        DWORD read = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
            bytes.append(chunk, read);
        CloseHandle(file);
        return bytes;
    }

    // The lines that start a row of that kind (a line break inside a quoted
    // field would start a line too, but none of those begins with the kind).
    int RowsOf(const std::string& report, const std::wstring& kind)
    {
        std::string start = "\r\n" + Utf8(kind) + ",";
        int rows = 0;
        for (size_t at = report.find(start); at != std::string::npos;
             at = report.find(start, at + 1))
            ++rows;
        return rows;
    }

    CoreWorld world_;
    std::wstring folder_;
    std::wstring path_;
};

void SetComment(LPCWSTR user, LPCWSTR comment)
{
    USER_INFO_1007 info = {const_cast<LPWSTR>(comment)};
    ASSERT_EQ(DWORD(NERR_Success),
              NetUserSetInfo(nullptr, user, 1007, reinterpret_cast<LPBYTE>(&info), nullptr));
}

void SetFullName(LPCWSTR user, LPCWSTR fullName)
{
    USER_INFO_1011 info = {const_cast<LPWSTR>(fullName)};
    ASSERT_EQ(DWORD(NERR_Success),
              NetUserSetInfo(nullptr, user, 1011, reinterpret_cast<LPBYTE>(&info), nullptr));
}

std::wstring LastLogonAsShown(LPCWSTR user)
{
    LPBYTE record = nullptr;
    wchar_t value[256] = {};
    if (NetUserGetInfo(nullptr, user, 4, &record) == NERR_Success)
        FormatLastLogon(*reinterpret_cast<USER_INFO_4*>(record), value, 256);
    NetApiBufferFree(record);
    return value;
}
} // namespace

TEST_F(ReportTest, CsvQuotesNeutralisesFormulasAndKeepsJapanese)
{
    ASSERT_TRUE(world_.Sim(L"user add sato --full-name \"佐藤 一郎\""));
    ASSERT_TRUE(world_.Sim(L"user add mori"));
    ASSERT_TRUE(world_.Sim(L"group add 営業部 --comment \"@営業, 東京\""));
    ASSERT_TRUE(world_.Sim(L"member add 営業部 sato"));
    ASSERT_TRUE(world_.Sim(L"member add 営業部 kanri"));
    ASSERT_TRUE(world_.Sim(L"last-logon sato 2026-03-04T05:06:00"));
    SetComment(L"sato", L"主任, \"東京\"\r\n二行目");
    SetFullName(L"mori", L"=HYPERLINK(\"x\")");
    SetComment(L"mori", L"-1+2");

    ASSERT_EQ(0u, WriteAccountReport(nullptr, path_.c_str(), ReportCsv));
    std::string report = Read();
    ASSERT_EQ(0u, report.rfind("\xEF\xBB\xBF", 0)) << "UTF-8 with a byte-order mark";
    EXPECT_EQ(0u, report.find(Utf8(L"\xFEFF種類,名前,ID,フル ネーム (通称名),コメント,SID,"
                                   L"アカウントの状態,ロックアウト,パスワード変更要求,"
                                   L"ユーザーによるパスワード変更禁止,定期的なパスワード変更,"
                                   L"最終ログイン日時,最終パスワード変更日時,パスワード有効期限,"
                                   L"アカウント有効期限,所属グループ,メンバー,Microsoft アカウント\r\n")));
    EXPECT_EQ(report.size() - 2, report.rfind("\r\n")) << "every row ends in CRLF";

    // Quotes doubled, the field quoted for its comma and line break; the
    // groups of a user from the members of the groups.
    std::wstring sato = L"ユーザー,sato,";
    size_t at = report.find(Utf8(sato));
    ASSERT_NE(std::string::npos, at);
    std::string row = report.substr(at, report.find("\r\n", report.find("二行目", at)) - at);
    EXPECT_NE(std::string::npos,
              row.find(Utf8(L",佐藤 一郎,\"主任, \"\"東京\"\"\r\n二行目\",S-1-5-21-")))
        << row;
    EXPECT_NE(std::string::npos, row.find(Utf8(L",有効,いいえ,いいえ,いいえ,はい," +
                                               LastLogonAsShown(L"sato") + L",")))
        << row;
    std::string tail = Utf8(L",なし,なし,Users; 営業部,,");
    EXPECT_EQ(row.size() - tail.size(), row.rfind(tail))
        << "expiries, groups, no members, no Microsoft account";

    // Formula starts get a leading quote; a quoted field keeps it inside.
    EXPECT_NE(std::string::npos, report.find(Utf8(L"\"'=HYPERLINK(\"\"x\"\")\",'-1+2,S-1-5-21-")));
    EXPECT_NE(std::string::npos, report.find(Utf8(L",一度もログインしていません,")));
    EXPECT_NE(std::string::npos, report.find(Utf8(L"\r\nグループ,営業部,")));
    EXPECT_NE(std::string::npos, report.find(Utf8(L",,\"'@営業, 東京\",S-1-5-21-")));
    EXPECT_NE(std::string::npos, report.find(Utf8(L",,AMBPC01\\sato; AMBPC01\\kanri,\r\n")))
        << "members of a group, after nine empty user columns and the groups column";
    EXPECT_EQ(1u, Files().size()) << "no temporary file is left";
}

TEST_F(ReportTest, TsvQuotesTabsButNotCommasAndCoversBuiltinAccountsWhateverTheView)
{
    ASSERT_TRUE(world_.Sim(L"user add sato --comment \"a, b\""));
    SetFullName(L"sato", L"x\ty");
    AppSettings.View = 2;
    AppSettings.IsShowBuiltinAccount = 0;
    ASSERT_EQ(0u, WriteAccountReport(nullptr, path_.c_str(), ReportTsv));
    std::string report = Read();
    EXPECT_NE(std::string::npos, report.find(Utf8(L"ユーザー\tsato\t")));
    EXPECT_NE(std::string::npos, report.find("\t\"x\ty\"\ta, b\tS-1-5-21-"));
    EXPECT_NE(std::string::npos, report.find("\tAdministrator\t500\t"));
    EXPECT_NE(std::string::npos, report.find(Utf8(L"グループ\tAdministrators\t544\t")));
}

TEST_F(ReportTest, FailuresLeaveNothingBehindAndAVanishedAccountIsLeftOut)
{
    ASSERT_TRUE(world_.Sim(L"user add sato"));
    ASSERT_TRUE(world_.Sim(L"user add mori"));

    // A folder that does not exist: nothing is written anywhere.
    std::wstring missing = folder_ + L"\\missing\\report.csv";
    EXPECT_NE(0u, WriteAccountReport(nullptr, missing.c_str(), ReportCsv));
    EXPECT_TRUE(Files().empty());

    ASSERT_EQ(0u, WriteAccountReport(nullptr, path_.c_str(), ReportCsv));
    std::string complete = Read();
    int users = RowsOf(complete, L"ユーザー");
    EXPECT_GE(users, 4);

    // A read that fails half-way: the earlier report stays, no temporary file.
    ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 5 --nth 2"));
    EXPECT_EQ(5u, WriteAccountReport(nullptr, path_.c_str(), ReportCsv));
    EXPECT_EQ(complete, Read());
    EXPECT_EQ(1u, Files().size());

    // An account deleted between the list and its record: the rest is reported.
    ASSERT_TRUE(world_.Sim(L"fail NetUserGetInfo 2221 --nth 3"));
    ASSERT_EQ(0u, WriteAccountReport(nullptr, path_.c_str(), ReportCsv));
    std::string report = Read();
    EXPECT_EQ(users - 1, RowsOf(report, L"ユーザー"));
    EXPECT_EQ(RowsOf(complete, L"グループ"), RowsOf(report, L"グループ"));
    EXPECT_EQ(1u, Files().size());
}

// The report of a remote computer with its calls in flight at once, answered
// out of order (random extra waits), is byte for byte the report of the calls
// made one after the other; a call that fails in the middle (a user's record, a
// later page of users, a group's lookup or members) ends both with its status
// and leaves the earlier report as it was.
TEST_F(ReportTest, RemoteReportWithCallsInFlightIsThatOfCallsOneAfterTheOther)
{
    ASSERT_TRUE(AddMixedRemoteComputer(world_, 230, 1));
    const struct
    {
        const wchar_t* fault;
        DWORD status;
    } cases[] = {{nullptr, 0},
                 {L"fail NetUserGetInfo 5 --nth 150", 5},
                 {L"fail NetQueryDisplayInformation 59 --nth 2", 59},
                 {L"fail LookupAccountNameW 1722 --nth 9", 1722},
                 {L"fail NetLocalGroupGetMembers 5 --nth 4", 5}};
    std::string complete;
    for (const auto& c : cases) {
        std::string reports[2];
        for (int inFlight : {1, RemoteCallsInFlight}) {
            if (c.fault != nullptr) {
                ASSERT_TRUE(world_.Sim(c.fault));
            }
            int saved = RemoteCallsInFlight;
            RemoteCallsInFlight = inFlight;
            SetEnvironmentVariableW(L"AMBRELLE_SIM_JITTER_MS", inFlight > 1 ? L"3" : nullptr);
            DWORD status = WriteAccountReport(L"\\\\SRV01", path_.c_str(), ReportCsv);
            SetEnvironmentVariableW(L"AMBRELLE_SIM_JITTER_MS", nullptr);
            RemoteCallsInFlight = saved;
            EXPECT_EQ(c.status, status) << (c.fault ? c.fault : L"") << ", in flight " << inFlight;
            reports[inFlight > 1 ? 1 : 0] = Read();
            EXPECT_EQ(1u, Files().size()) << "no temporary file left";
        }
        if (c.fault == nullptr)
            complete = reports[0];
        EXPECT_EQ(reports[0], reports[1]) << (c.fault ? c.fault : L"no fault");
        EXPECT_EQ(complete, reports[1]) << "the earlier report stays";
    }
    EXPECT_EQ(230 + 3 + 4, RowsOf(complete, L"ユーザー")) << "with the built-in users";
    EXPECT_NE(std::string::npos, complete.find(Utf8(L"\r\nグループ,SRV01,")));
    EXPECT_NE(std::string::npos, complete.find(Utf8(L"SRV01\\zenbu,\r\n")));
}

// A remote computer, through the server argument, whose every call waits a
// round trip as over a network: the time is then the number of calls, which
// the report keeps near the list's.
TEST_F(ReportTest, ThousandRemoteUsersTakeAtMostTwiceARefresh)
{
    ASSERT_TRUE(world_.Sim(L"computer add FAR01"));
    ASSERT_TRUE(world_.Sim(L"users add-many 1000 --prefix speed --computer FAR01"));
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(world_.Sim(L"group add team" + std::to_wstring(i) + L" --computer FAR01"));
    ASSERT_TRUE(world_.Sim(L"computer set FAR01 --latency-ms 1"));
    FormatBounded(TargetServer, TargetServerChars, L"%s", L"FAR01");
    HWND list = CreateTestList(4);
    LARGE_INTEGER start, filled, written;
    QueryPerformanceCounter(&start);
    FillAccountList(list, AccountListBoth);
    QueryPerformanceCounter(&filled);
    DWORD status = WriteAccountReport(L"\\\\FAR01", path_.c_str(), ReportCsv);
    QueryPerformanceCounter(&written);
    DestroyTestList(list);
    ASSERT_EQ(0u, status);
    double refresh = Milliseconds(start, filled);
    double report = Milliseconds(filled, written);
    printf("1000 remote users: list filled in %.0f ms, report written in %.0f ms\n", refresh,
           report);
    RecordProperty("refresh_ms", static_cast<int>(refresh));
    RecordProperty("report_ms", static_cast<int>(report));
    std::string text = Read();
    EXPECT_GE(RowsOf(text, L"ユーザー"), 1000);
    EXPECT_NE(std::string::npos, text.find("FAR01\\speed01000,\r\n")) << "Users' members";
    EXPECT_EQ(std::string::npos, text.find("kanri")) << "no account of the local computer";
    EXPECT_LE(report, 2 * refresh);
}
