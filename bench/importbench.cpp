// The benchmark's import side: 1,000 new users into 20 groups through the
// import (read, check, plan, apply), against a bare program making the same
// platform calls, each on a fresh simulated world, alternately.
//   import USERS GROUPS RUNS
#include <windows.h>

#include <lm.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "accountimport.h"
#include "importbench.h"

namespace {
double Now()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

std::wstring UserName(int i)
{
    wchar_t name[32];
    swprintf(name, 32, L"imp%04d", i);
    return name;
}

std::wstring GroupName(int i)
{
    return L"class" + std::to_wstring(i);
}

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

// The file as an administrator would write it: the groups, then the users
// with a password and their group.
std::string ImportFile(int users, int groups)
{
    std::wstring text = L"種類,名前,フル ネーム (通称名),所属グループ,パスワード\r\n";
    for (int g = 0; g < groups; ++g)
        text += L"グループ," + GroupName(g) + L",,,\r\n";
    for (int u = 0; u < users; ++u)
        text += L"ユーザー," + UserName(u) + L",生徒 " + std::to_wstring(u) + L"," +
                GroupName(u % groups) + L",Pw-" + std::to_wstring(u) + L"x\r\n";
    return Utf8(text);
}

void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = dir + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

bool FreshWorld(const std::wstring& base, int run, const wchar_t* side)
{
    std::wstring dir = base + L"\\" + side + std::to_wstring(run);
    if (!CreateDirectoryW(dir.c_str(), nullptr))
        return false;
    SetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", dir.c_str());
    return true;
}

double Import(const std::string& file, DWORD* failed)
{
    double start = Now();
    ImportTable* table = nullptr;
    DWORD status = ReadImportBytes(reinterpret_cast<const BYTE*>(file.data()), file.size(), &table);
    if (status == 0)
        status = PlanImport(table, nullptr, false);
    *failed = status == 0 ? ApplyImport(table, nullptr, nullptr, nullptr) : status;
    FreeImportTable(table);
    return Now() - start;
}

// The same platform calls, nothing else: the groups, the users, one member
// call per group.
double Bare(int users, int groups, LPCWSTR domain, DWORD* failed)
{
    double start = Now();
    *failed = 0;
    for (int g = 0; g < groups; ++g) {
        std::wstring name = GroupName(g);
        LOCALGROUP_INFO_1 group = {&name[0], const_cast<LPWSTR>(L"")};
        *failed += NetLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&group), nullptr) != 0;
    }
    std::vector<std::wstring> qualified(users);
    for (int u = 0; u < users; ++u) {
        std::wstring name = UserName(u);
        std::wstring fullName = L"生徒 " + std::to_wstring(u);
        std::wstring password = L"Pw-" + std::to_wstring(u) + L"x";
        USER_INFO_4 user = {};
        user.usri4_name = &name[0];
        user.usri4_password = &password[0];
        user.usri4_priv = USER_PRIV_USER;
        user.usri4_comment = const_cast<LPWSTR>(L"");
        user.usri4_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
        user.usri4_full_name = &fullName[0];
        user.usri4_acct_expires = TIMEQ_FOREVER;
        user.usri4_max_storage = USER_MAXSTORAGE_UNLIMITED;
        user.usri4_primary_group_id = DOMAIN_GROUP_RID_USERS;
        user.usri4_password_expired = 1;
        *failed += NetUserAdd(nullptr, 4, reinterpret_cast<LPBYTE>(&user), nullptr) != 0;
        qualified[u] = std::wstring(domain) + L"\\" + name;
    }
    for (int g = 0; g < groups; ++g) {
        std::vector<LOCALGROUP_MEMBERS_INFO_3> members;
        for (int u = g; u < users; u += groups)
            members.push_back({&qualified[u][0]});
        std::wstring name = GroupName(g);
        *failed += NetLocalGroupAddMembers(nullptr, name.c_str(), 3,
                                           reinterpret_cast<LPBYTE>(members.data()),
                                           static_cast<DWORD>(members.size())) != 0;
    }
    return Now() - start;
}
} // namespace

int ImportBench(int users, int groups, int runs)
{
    wchar_t base[MAX_PATH];
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetTempPathW(MAX_PATH, base);
    std::wstring folder;
    for (DWORD attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
        std::wstring candidate = std::wstring(base) + L"ambbench-import-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(candidate.c_str(), nullptr))
            folder = candidate;
    }
    if (folder.empty()) {
        fprintf(stderr, "no folder for the worlds (%lu)\n", GetLastError());
        return 1;
    }
    std::string file = ImportFile(users, groups);
    std::vector<double> ambrelle;
    std::vector<double> bare;
    DWORD failed = 0;
    for (int run = 0; run < runs; ++run) {
        DWORD importFailed = 0;
        DWORD bareFailed = 0;
        if (!FreshWorld(folder, run, L"a")) {
            fprintf(stderr, "no fresh world (%lu)\n", GetLastError());
            return 1;
        }
        ambrelle.push_back(Import(file, &importFailed));
        size = MAX_COMPUTERNAME_LENGTH + 1;
        if (!FreshWorld(folder, run, L"b") || !GetComputerNameW(computer, &size)) {
            fprintf(stderr, "no fresh world or computer name (%lu)\n", GetLastError());
            return 1;
        }
        bare.push_back(Bare(users, groups, computer, &bareFailed));
        failed += importFailed + bareFailed;
    }
    RemoveTree(folder);
    double a = Median(ambrelle);
    double b = Median(bare);
    printf("import_ms=%.1f bare_ms=%.1f ratio=%.2f failed=%lu\n", a, b, b > 0 ? a / b : 0.0,
           failed);
    return failed == 0 ? 0 : 1;
}
