#include "start_process.h"
#include "simtest.h"

namespace simtest {

std::wstring NewWorldFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    LARGE_INTEGER qpc;
    QueryPerformanceCounter(&qpc);
    std::wstring path = std::wstring(temp) + L"ambsim-test-" +
                        std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(qpc.QuadPart);
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring HelperPath()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"simhelper.exe";
}

std::wstring CtlPath()
{
    wchar_t dir[MAX_PATH] = {};
    GetEnvironmentVariableW(L"AMB_SIM_BIN_DIR", dir, MAX_PATH);
    std::wstring path = dir;
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& ch : path)
        if (ch == L'/')
            ch = L'\\';
    return path + L"\\AmbSimCtl.exe";
}

int Run(const std::wstring& commandLine, DWORD timeoutMs)
{
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessRetrying(nullptr, line.data(), FALSE, 0, &si, &pi))
        return -1;
    CloseHandle(pi.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

std::wstring SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return L"";
    std::wstring copy = text;
    LocalFree(text);
    return copy;
}

void SimTest::SetUp()
{
    folder_ = NewWorldFolder();
    SetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", folder_.c_str());
    SetEnvironmentVariableW(L"AMBRELLE_SIM_SESSION", nullptr);
    ambsim::ForgetCachedWorld();
    ASSERT_EQ(ambsim::ReplaceWorld(ambsim::MakeDefaultWorld(L"AMBPC01", L"kanri")), 0u);
}

void SimTest::TearDown()
{
    RemoveTree(folder_);
}

void SimTest::Change(const std::function<void(ambsim::World&)>& change)
{
    ASSERT_EQ(ambsim::WriteWorld([&](ambsim::World& w) -> DWORD {
                  change(w);
                  return 0;
              }),
              0u);
}

ambsim::World SimTest::Snapshot()
{
    ambsim::World copy;
    EXPECT_EQ(ambsim::ReadWorld([&](const ambsim::World& w) -> DWORD {
                  copy = w;
                  return 0;
              }),
              0u);
    return copy;
}

void SimTest::SetSession(const wchar_t* user, bool admin, bool elevated)
{
    Change([&](ambsim::World& w) {
        w.session.user = user;
        w.session.admin = admin;
        w.session.elevated = elevated;
    });
}

void SimTest::AddUser(const wchar_t* name, const wchar_t* password)
{
    USER_INFO_1 ui = {};
    ui.usri1_name = const_cast<LPWSTR>(name);
    ui.usri1_password = const_cast<LPWSTR>(password);
    ui.usri1_priv = USER_PRIV_USER;
    ui.usri1_flags = UF_SCRIPT;
    ASSERT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&ui), nullptr), 0u) << name;
}

ambsim::Computer& SimTest::AddManagedRemote(ambsim::World& w, const wchar_t* name)
{
    ambsim::Computer c = ambsim::MakeComputer(name);
    ambsim::User& u = ambsim::AddUserRecord(c, w.session.user, w.Now());
    u.password = L"pw";
    c.FindGroup(L"Administrators")->members.push_back(c.UserSid(u));
    c.tokenFilterPolicy = 1;
    c.Reindex();
    w.session.password = L"pw";
    w.computers.push_back(c);
    return w.computers.back();
}

std::wstring SimTest::SidOf(const wchar_t* name, const wchar_t* system)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD cbSid = sizeof sid;
    wchar_t domain[256];
    DWORD cchDomain = 256;
    SID_NAME_USE use;
    if (!LookupAccountNameW(system, name, sid, &cbSid, domain, &cchDomain, &use))
        return L"";
    return SidText(sid);
}

} // namespace simtest
