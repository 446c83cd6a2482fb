#include "start_process.h"
#include "reachable_computer.h"
#include "core_world.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>

#include "globals.h"

namespace {
std::wstring FromUnixPath(const char* path)
{
    std::wstring result = L"Z:";
    for (const char* p = path; *p != '\0'; ++p)
        result += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return result;
}

// The test bed's default desktop may have been started without an X display;
// windows of this test live on a desktop of their own, named after the display,
// which Wine starts with this process's DISPLAY.
struct OwnDesktop
{
    OwnDesktop()
    {
        std::wstring name = L"ambguicore";
        const char* display = getenv("DISPLAY");
        for (const char* p = display != nullptr ? display : ""; *p != '\0'; ++p)
            if (*p >= '0' && *p <= '9')
                name += static_cast<wchar_t>(*p);
        // A size makes Wine's shell show the desktop as one window of its own,
        // with the test's windows inside: hiding or destroying them then does
        // not wait for a window manager that the test display lacks. Wine keeps
        // one display mode for the prefix, which every virtual desktop sets: the
        // window tests' size, so that they see the screen they expect.
        HKEY key = nullptr;
        const wchar_t size[] = L"1280x1024";
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(size),
                           sizeof(size));
            RegCloseKey(key);
        }
        HDESK desktop = CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        if (desktop != nullptr)
            SetThreadDesktop(desktop);
    }
} ownDesktop;

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

CoreWorld::CoreWorld()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
        std::wstring candidate = std::wstring(temp) + L"ambgui-core-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(candidate.c_str(), nullptr))
            dir_ = candidate;
    }
    SetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", dir_.c_str());
    SetEnvironmentVariableW(L"AMBRELLE_SIM_SESSION", nullptr);
    EXPECT_TRUE(Sim(L"reset"));
}

CoreWorld::~CoreWorld()
{
    if (!dir_.empty())
        RemoveTree(dir_);
}

bool CoreWorld::Sim(const std::wstring& args)
{
    const char* simBin = getenv("AMB_SIM_BIN_DIR");
    if (simBin == nullptr)
        return false;
    std::wstring command = L"\"" + FromUnixPath(simBin) + L"\\AmbSimCtl.exe\" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    SetHandleInformation(nul, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    bool started = CreateProcessRetrying(nullptr, line.data(), TRUE, CREATE_NO_WINDOW, &startup,
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
    CloseHandle(nul);
    return started && exitCode == 0;
}

void ResetAmbguiGlobals()
{
    AppSettings = {static_cast<LONG>(CW_USEDEFAULT),
                   static_cast<LONG>(CW_USEDEFAULT),
                   static_cast<LONG>(CW_USEDEFAULT),
                   static_cast<LONG>(CW_USEDEFAULT),
                   1,
                   0,
                   0,
                   0};
    if (TargetServer == nullptr)
        TargetServer = AllocBuffer(TargetServerChars);
    TargetServer[0] = L'\0';
    if (HelpFilePath == nullptr)
        HelpFilePath = AllocBuffer(PathChars);
}

void FreeAmbguiGlobals()
{
    FreeBuffer(TargetServer);
    TargetServer = nullptr;
    FreeBuffer(HelpFilePath);
    HelpFilePath = nullptr;
}

HWND CreateTestList(int columns)
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, nullptr, WS_CHILD | LVS_REPORT | LVS_SINGLESEL, 0,
                                0, 800, 600, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (int i = 0; i < columns; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 100;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    return list;
}

void DestroyTestList(HWND list)
{
    DestroyWindow(GetParent(list));
}

bool AddMixedRemoteComputer(CoreWorld& world, int users, int latencyMs)
{
    if (!AddReachableComputer(world, L"SRV01"))
        return false;
    const wchar_t* const steps[] = {
        L"user add amano --disabled --full-name \"天野 花子\" --computer SRV01",
        L"user add kato --comment \"=1+1, \"\"quoted\"\"\" --computer SRV01",
        L"lockout kato --computer SRV01",
        L"user add zenbu --disabled --computer SRV01",
        L"lockout zenbu --computer SRV01",
        L"group add Staff --comment \"チーム\" --computer SRV01",
        L"group add SRV01 --comment \"同名\" --computer SRV01",
        L"member add Staff amano --computer SRV01",
        L"member add Staff kato --computer SRV01",
        L"member add SRV01 zenbu --computer SRV01",
    };
    for (const wchar_t* step : steps)
        if (!world.Sim(step))
            return false;
    return world.Sim(L"users add-many " + std::to_wstring(users) +
                     L" --prefix m --computer SRV01") &&
           world.Sim(L"computer set SRV01 --latency-ms " + std::to_wstring(latencyMs));
}

std::vector<ListRow> ReadRows(HWND list, int columns)
{
    std::vector<ListRow> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        ListRow result;
        for (int column = 0; column < columns; ++column) {
            wchar_t text[512] = {};
            LVITEMW item = {};
            item.mask = LVIF_TEXT | (column == 0 ? LVIF_IMAGE | LVIF_STATE : 0);
            item.iItem = row;
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 512;
            item.stateMask = LVIS_OVERLAYMASK;
            SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            result.cells[column] = text;
            if (column == 0) {
                result.image = item.iImage;
                result.overlay = (item.state & LVIS_OVERLAYMASK) >> 8;
            }
        }
        rows.push_back(result);
    }
    return rows;
}

std::string CoreWorld::Document()
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
