// The import against the simulated computer: a report read back into a fresh
// world, a second import that changes nothing, a refused file that writes
// nothing, failures that stop only their own row, exact memberships, and the
// generated passwords at a logon.
#include <windows.h>

#include <gtest/gtest.h>
#include <lm.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "account_report.h"
#include "import_world.h"

namespace {
void AddUser(const wchar_t* name, DWORD flags = 0, DWORD expires = TIMEQ_FOREVER)
{
    USER_INFO_1 user = {};
    user.usri1_name = const_cast<LPWSTR>(name);
    user.usri1_password = const_cast<LPWSTR>(L"Start-1234");
    user.usri1_priv = USER_PRIV_USER;
    user.usri1_flags = UF_SCRIPT | flags;
    ASSERT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&user), nullptr), 0u);
    if (expires != TIMEQ_FOREVER) {
        USER_INFO_1017 expiry = {expires};
        ASSERT_EQ(NetUserSetInfo(nullptr, name, 1017, reinterpret_cast<LPBYTE>(&expiry), nullptr),
                  0u);
    }
}

void AddGroup(const wchar_t* name, const wchar_t* comment, std::vector<std::wstring> members)
{
    LOCALGROUP_INFO_1 group = {const_cast<LPWSTR>(name), const_cast<LPWSTR>(comment)};
    ASSERT_EQ(NetLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&group), nullptr), 0u);
    for (const std::wstring& member : members) {
        LOCALGROUP_MEMBERS_INFO_3 entry = {const_cast<LPWSTR>(member.c_str())};
        ASSERT_EQ(NetLocalGroupAddMembers(nullptr, name, 3, reinterpret_cast<LPBYTE>(&entry), 1),
                  0u);
    }
}

std::vector<std::wstring> GroupMembers(const wchar_t* group)
{
    std::vector<std::wstring> names;
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    EXPECT_EQ(NetLocalGroupGetMembers(nullptr, group, 2, &buffer, MAX_PREFERRED_LENGTH, &read,
                                      &total, nullptr),
              0u);
    auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(buffer);
    for (DWORD i = 0; i < read; ++i)
        names.push_back(members[i].lgrmi2_domainandname);
    NetApiBufferFree(buffer);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    char chunk[65536];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, chunk, sizeof(chunk), &read, nullptr) &&
           read > 0)
        bytes.append(chunk, read);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return bytes;
}

// A list cell ("a; b") in name order: the order of members is not kept.
std::string SortedList(const std::string& cell)
{
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t at; (at = cell.find("; ", start)) != std::string::npos; start = at + 2)
        items.push_back(cell.substr(start, at - start));
    items.push_back(cell.substr(start));
    std::sort(items.begin(), items.end());
    std::string joined;
    for (const std::string& item : items)
        joined += (joined.empty() ? "" : "; ") + item;
    return joined;
}

// The report of the current world, one string per row, without the columns
// that differ between two computers by nature: ID, SID and the dates.
std::vector<std::string> ComparableReport(const std::wstring& folder)
{
    std::wstring path = folder + L"\\report.csv";
    EXPECT_EQ(WriteAccountReport(nullptr, path.c_str(), ReportCsv), 0u);
    std::istringstream lines(ReadFileBytes(path));
    std::vector<std::string> rows;
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> cells;
        std::stringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, ','))
            cells.push_back(cell);
        std::string kept;
        for (size_t i = 0; i < cells.size(); ++i)
            if (i != 2 && i != 5 && i != 11 && i != 12 && i != 13)
                kept += SortedList(cells[i]) + "|";
        rows.push_back(kept);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The report with a password for every user: a column only an import reads.
std::string WithPasswords(const std::string& report)
{
    std::istringstream lines(report);
    std::string out;
    std::string line;
    bool header = true;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (header)
            line += ",パスワード";
        else if (line.rfind("ユーザー,", 0) == 0)
            line += ",Pw-5678-x";
        else
            line += ",";
        header = false;
        out += line + "\r\n";
    }
    return out;
}

TEST(ImportWorld, ReportReadIntoAFreshWorldGivesTheSameReportAndASecondImportChangesNothing)
{
    std::string report;
    std::vector<std::string> before;
    {
        ImportWorld source;
        AddUser(L"hanako", UF_ACCOUNTDISABLE | UF_PASSWD_CANT_CHANGE | UF_DONT_EXPIRE_PASSWD,
                1806451200); // 2027-03-31
        AddUser(L"taro");
        USER_INFO_1011 fullName = {const_cast<LPWSTR>(L"山田 花子")};
        ASSERT_EQ(
            NetUserSetInfo(nullptr, L"hanako", 1011, reinterpret_cast<LPBYTE>(&fullName), nullptr),
            0u);
        USER_INFO_1007 comment = {const_cast<LPWSTR>(L"=1+1 は式ではない")};
        ASSERT_EQ(
            NetUserSetInfo(nullptr, L"taro", 1007, reinterpret_cast<LPBYTE>(&comment), nullptr),
            0u);
        LPBYTE record = nullptr;
        ASSERT_EQ(NetUserGetInfo(nullptr, L"taro", 4, &record), 0u);
        reinterpret_cast<USER_INFO_4*>(record)->usri4_password_expired = 1;
        ASSERT_EQ(NetUserSetInfo(nullptr, L"taro", 4, record, nullptr), 0u);
        NetApiBufferFree(record);
        AddUser(L"sato");
        AddGroup(L"生徒", L"4月入学", {L"AMBPC01\\hanako", L"AMBPC01\\taro"});
        AddGroup(L"先生", L"", {L"AMBPC01\\sato"});
        LOCALGROUP_MEMBERS_INFO_3 admin = {const_cast<LPWSTR>(L"AMBPC01\\sato")};
        ASSERT_EQ(NetLocalGroupAddMembers(nullptr, L"Administrators", 3,
                                          reinterpret_cast<LPBYTE>(&admin), 1),
                  0u);
        before = ComparableReport(source.Folder());
        report = ReadFileBytes(source.Folder() + L"\\report.csv");
    }
    ImportWorld target;
    ImportRun run;
    ReadAndPlan(run, WithPasswords(report));
    ASSERT_EQ(run.plan, 0u) << Utf8(run.Problems());
    ImportCounts planned = CountImport(run.table);
    EXPECT_EQ(planned.create, 5u); // three users, two groups
    EXPECT_EQ(ApplyImport(run.table, nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(CountImport(run.table).passwords, 0u);
    std::vector<std::string> after = ComparableReport(target.Folder());
    for (size_t i = 0; i < before.size() && i < after.size(); ++i)
        EXPECT_EQ(after[i], before[i]);
    EXPECT_EQ(after.size(), before.size());

    std::string document = target.Document();
    ImportRun again;
    ReadAndPlan(again, WithPasswords(report));
    ASSERT_EQ(again.plan, 0u) << Utf8(again.Problems());
    for (DWORD i = 0; i < again.table->rowCount; ++i) {
        wchar_t plan[256];
        DescribeImportPlan(again.table, i, plan, 256);
        EXPECT_EQ(again.table->rows[i].action, ImportNothing)
            << Utf8(again.table->rows[i].cells[ColumnName]) << ": " << Utf8(plan);
    }
    EXPECT_EQ(ApplyImport(again.table, nullptr, nullptr, nullptr), 0u);
    wchar_t result[256];
    DescribeImportResult(again.table, 0, result, 256);
    EXPECT_STREQ(result, L"変更はありません");
    EXPECT_EQ(target.Document(), document);
}

TEST(ImportWorld, AFileWithBadRowsIsRefusedWholeAndWritesNothing)
{
    ImportWorld world;
    std::string document = world.Document();
    ImportRun run;
    ReadAndPlan(run, "種類,名前,所属グループ,メンバー\r\n"
                     "ユーザー,new1,Users,\r\n"
                     "ユーザー,new2,存在しない組,\r\n" // line 3
                     "グループ,組,,new1; 幽霊\r\n"     // line 4
                     "ユーザー,Users,,\r\n");          // line 5: a group's name
    EXPECT_EQ(run.plan, static_cast<DWORD>(ERROR_INVALID_DATA));
    std::wstring problems = run.Problems();
    EXPECT_NE(problems.find(L"3: 列「所属グループ」: グループ「存在しない組」"), std::wstring::npos)
        << Utf8(problems);
    EXPECT_NE(problems.find(L"4: 列「メンバー」: 「幽霊」"), std::wstring::npos) << Utf8(problems);
    EXPECT_NE(problems.find(L"5: 列「名前」"), std::wstring::npos) << Utf8(problems);
    EXPECT_EQ(run.table->problemCount, 3u) << Utf8(problems);
    EXPECT_EQ(world.Document(), document);
}

TEST(ImportWorld, AFailingRowIsReportedWithTheReasonAndTheOthersGoOn)
{
    ImportWorld world;
    ASSERT_TRUE(world.Sim(L"fail NetUserAdd 5 --nth 1"));
    ImportRun run;
    ReadAndPlan(run, "種類,名前,パスワード\r\nユーザー,first,Pw-1\r\nユーザー,second,Pw-2\r\n");
    ASSERT_EQ(run.plan, 0u) << Utf8(run.Problems());
    EXPECT_EQ(ApplyImport(run.table, nullptr, nullptr, nullptr), 1u);
    EXPECT_EQ(run.table->rows[0].outcome, ImportFailed);
    EXPECT_EQ(run.table->rows[0].status, 5u);
    wchar_t result[512];
    DescribeImportResult(run.table, 0, result, 512);
    EXPECT_EQ(std::wstring(result).rfind(L"失敗: ユーザーの作成: ", 0), 0u) << Utf8(result);
    EXPECT_GT(wcslen(result), wcslen(L"失敗: ユーザーの作成: ")) << "the platform's reason";
    EXPECT_EQ(run.table->rows[1].outcome, ImportDone);
    LPBYTE buffer = nullptr;
    EXPECT_EQ(NetUserGetInfo(nullptr, L"second", 0, &buffer), 0u);
    NetApiBufferFree(buffer);
}

TEST(ImportWorld, ExactMembershipsRemoveWhatTheFileDoesNotList)
{
    ImportWorld world;
    AddUser(L"hanako");
    AddUser(L"taro");
    AddGroup(L"生徒", L"", {L"AMBPC01\\hanako", L"AMBPC01\\taro"});
    const char file[] = "種類,名前,所属グループ,メンバー\r\n"
                        "グループ,生徒,,AMBPC01\\hanako\r\n"
                        "ユーザー,jiro,生徒,\r\n";
    {
        ImportRun added;
        ReadAndPlan(added, file, false);
        ASSERT_EQ(added.plan, 0u) << Utf8(added.Problems());
        EXPECT_EQ(added.table->rows[0].action, ImportNothing); // taro stays
        EXPECT_EQ(added.table->rows[1].membershipsAdded, 1u);
    }
    ImportRun exact;
    ReadAndPlan(exact, file, true);
    ASSERT_EQ(exact.plan, 0u) << Utf8(exact.Problems());
    wchar_t plan[256];
    DescribeImportPlan(exact.table, 0, plan, 256);
    EXPECT_STREQ(plan, L"メンバーから削除: AMBPC01\\taro");
    DescribeImportPlan(exact.table, 1, plan, 256);
    EXPECT_STREQ(plan, L"パスワードを生成 (次回ログイン時に変更)、グループに追加: 生徒");
    EXPECT_EQ(ApplyImport(exact.table, nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(GroupMembers(L"生徒"),
              (std::vector<std::wstring>{L"AMBPC01\\hanako", L"AMBPC01\\jiro"}));
    // The Users membership the platform gave jiro is not in the file either.
    std::vector<std::wstring> users = GroupMembers(L"Users");
    EXPECT_EQ(std::count(users.begin(), users.end(), L"AMBPC01\\jiro"), 0);

    std::string document = world.Document();
    ImportRun again;
    ReadAndPlan(again, file, true);
    ASSERT_EQ(again.plan, 0u);
    EXPECT_EQ(CountImport(again.table).nothing, 2u);
    ApplyImport(again.table, nullptr, nullptr, nullptr);
    EXPECT_EQ(world.Document(), document);
}

TEST(ImportWorld, GeneratedPasswordsLogOnAndMustBeChanged)
{
    ImportWorld world;
    // A report from another computer: its own accounts are this one's now.
    ImportRun run;
    ReadAndPlan(run, "種類,名前,メンバー\r\nユーザー,newbie,\r\nグループ,クラブ,OLDPC\\newbie\r\n");
    ASSERT_EQ(run.plan, 0u) << Utf8(run.Problems());
    ASSERT_EQ(ApplyImport(run.table, nullptr, nullptr, nullptr), 0u);
    const ImportRow& row = run.table->rows[0];
    ASSERT_TRUE(row.generatedPassword);
    ASSERT_EQ(wcslen(row.password), ImportPasswordChars);
    EXPECT_EQ(CountImport(run.table).passwords, 1u);
    EXPECT_EQ(GroupMembers(L"クラブ"), std::vector<std::wstring>{L"AMBPC01\\newbie"});

    LPBYTE buffer = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"newbie", 4, &buffer), 0u);
    auto* user = reinterpret_cast<USER_INFO_4*>(buffer);
    EXPECT_NE(user->usri4_flags & UF_PASSWORD_EXPIRED, 0u);
    EXPECT_EQ(user->usri4_acct_expires, TIMEQ_FOREVER);
    NetApiBufferFree(buffer);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    wchar_t command[] = L"cmd.exe /c exit";
    EXPECT_FALSE(CreateProcessWithLogonW(L"newbie", L".", row.password, 0, nullptr, command, 0,
                                         nullptr, nullptr, &startup, &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PASSWORD_MUST_CHANGE));
    EXPECT_FALSE(CreateProcessWithLogonW(L"newbie", L".", L"not-it", 0, nullptr, command, 0,
                                         nullptr, nullptr, &startup, &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOGON_FAILURE));
}
} // namespace
