#include "import_world.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "start_process.h"

namespace {
std::wstring FromUnixPath(const char* path)
{
    std::wstring result = L"Z:";
    for (const char* p = path; *p != '\0'; ++p)
        result += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return result;
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
} // namespace

ImportWorld::ImportWorld()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
        std::wstring candidate = std::wstring(temp) + L"ambimport-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(candidate.c_str(), nullptr))
            dir_ = candidate;
    }
    SetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", dir_.c_str());
    SetEnvironmentVariableW(L"AMBRELLE_SIM_SESSION", nullptr);
    EXPECT_TRUE(Sim(L"reset"));
}

ImportWorld::~ImportWorld()
{
    if (!dir_.empty())
        RemoveTree(dir_);
}

bool ImportWorld::Sim(const std::wstring& args)
{
    const char* simBin = getenv("AMB_SIM_BIN_DIR");
    if (simBin == nullptr)
        return false;
    std::wstring command = L"\"" + FromUnixPath(simBin) + L"\\AmbSimCtl.exe\" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    bool started = CreateProcessRetrying(nullptr, line.data(), FALSE, CREATE_NO_WINDOW, &startup,
                                         &process) != FALSE;
    DWORD exitCode = 1;
    if (started) {
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &exitCode);
        else
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return started && exitCode == 0;
}

std::string ImportWorld::Document()
{
    std::string bytes;
    HANDLE file = CreateFileW((dir_ + L"\\world.json").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

std::wstring FromUtf8(const std::string& text)
{
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

std::wstring ImportRun::Problems() const
{
    std::wstring text;
    for (DWORD i = 0; table != nullptr && i < table->problemCount; ++i)
        text += std::to_wstring(table->problems[i].line) + L": " + table->problems[i].text + L"\n";
    return text;
}

void ReadAndPlan(ImportRun& run, const std::string& bytes, bool exact)
{
    run.read =
        ReadImportBytes(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), &run.table);
    run.plan = run.read == 0 ? PlanImport(run.table, nullptr, exact) : run.read;
}
