// The window-test driver: see guidriver.h.
#include "guidriver.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "probe_protocol.h"
#include "start_process.h"
#include "textformat.h"

namespace guidriver {

// Output straight through: a window test that hangs is ended by CTest, and
// what it had printed must not die with it in a buffer.
static const int g_unbufferedOutput = setvbuf(stdout, nullptr, _IONBF, 0);

// AMB_DRIVER_TRACE=1 prints how long each wait took, to find slow steps.
static void Trace(const wchar_t* what, const std::wstring& detail, DWORD startTick)
{
    static int enabled = -1;
    if (enabled < 0) {
        const char* value = std::getenv("AMB_DRIVER_TRACE");
        enabled = value && *value == '1';
    }
    if (!enabled)
        return;
    wchar_t line[512] = {};
    FormatBounded(line, 512, L"[driver] %s %s: %lu ms\n", what, detail.c_str(),
                  GetTickCount() - startTick);
    // As UTF-8 bytes: the CRT's wide output stops at what the console code page lacks.
    char bytes[1536] = {};
    WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof(bytes) - 1, nullptr, nullptr);
    fputs(bytes, stdout);
    fflush(stdout);
}

// ---- Paths and environment ------------------------------------------------

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    int n = MultiByteToWideChar(CP_UTF8, 0, unixPath.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, unixPath.c_str(), -1, &wide[0], n);
    for (wchar_t c : wide)
        path += (c == L'/') ? L'\\' : c;
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

static std::wstring DirFromEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? WindowsPath(value) : std::wstring();
}

std::wstring SimBinDir()
{
    return DirFromEnv("AMB_SIM_BIN_DIR");
}
std::wstring BinDir()
{
    return DirFromEnv("AMB_BIN_DIR");
}

std::wstring TestBinDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    size_t slash = dir.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : dir.substr(0, slash);
}

void SetEnv(const wchar_t* name, const wchar_t* value)
{
    SetEnvironmentVariableW(name, value);
    // Keep the CRT's copy in step, for code that reads it with getenv.
    std::wstring entry = std::wstring(name) + L"=" + (value ? value : L"");
    _wputenv(entry.c_str());
}

std::wstring MakeTempDir(const wchar_t* prefix)
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[64] = {};
        FormatBounded(name, 64, L"%s%lu_%lu_%ld", prefix, GetCurrentProcessId(), GetTickCount(),
                      InterlockedIncrement(&counter));
        std::wstring dir = std::wstring(base) + name;
        if (CreateDirectoryW(dir.c_str(), nullptr))
            return dir;
    }
    return std::wstring();
}

void RemoveTree(const std::wstring& dir)
{
    if (dir.size() < 4)
        return;
    std::wstring from = dir + L'\0'; // double-terminated for SHFileOperation
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    if (SHFileOperationW(&op) != 0) {
        // Fall back to a plain walk.
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring full = dir + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    DeleteFileW(full.c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(dir.c_str());
    }
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

// Console programs under Wine print UTF-16 as CP932 bytes; JSON may be UTF-8.
static std::wstring DecodeOutput(const std::string& bytes)
{
    if (bytes.empty())
        return std::wstring();
    for (UINT codePage : {static_cast<UINT>(CP_UTF8), 932u}) {
        DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
        if (n > 0) {
            std::wstring text(n, L'\0');
            MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                &text[0], n);
            return text;
        }
    }
    return std::wstring();
}

// Runs a console program to its end (at most timeoutMs) and collects its output.
static bool RunConsole(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs,
                       DWORD* exitCode, std::string* output)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessRetrying(exe.c_str(), &commandLine[0], TRUE, CREATE_NO_WINDOW,
                                         &startup, &info);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }
    DWORD start = GetTickCount();
    char chunk[4096];
    for (;;) {
        DWORD available = 0;
        if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available) {
            DWORD got = 0;
            if (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got && output)
                output->append(chunk, got);
            continue;
        }
        if (WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0) {
            // Drain what is left.
            DWORD got = 0;
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available &&
                   ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got) {
                if (output)
                    output->append(chunk, got);
            }
            break;
        }
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, 2000);
            break;
        }
    }
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    if (exitCode)
        *exitCode = code;
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    CloseHandle(readEnd);
    return true;
}

// ---- The simulated world ---------------------------------------------------

SimWorld::SimWorld()
{
    dir_ = MakeTempDir(L"ambworld");
    SetEnv(L"AMBRELLE_SIM_DIR", dir_.c_str());
}

SimWorld::~SimWorld()
{
    SetEnv(L"AMBRELLE_SIM_DIR", nullptr);
    RemoveTree(dir_);
}

bool SimWorld::Run(const std::wstring& args, std::wstring* output)
{
    std::string bytes;
    DWORD code = 1;
    bool ran = RunConsole(SimBinDir() + L"\\AmbSimCtl.exe", args, 30000, &code, &bytes);
    lastOutput_ = DecodeOutput(bytes);
    if (output)
        *output = lastOutput_;
    return ran && code == 0;
}

// ---- Settings ---------------------------------------------------------------

namespace settings {

const wchar_t* const kKeyPath = L"Software\\Dunmarrow\\Ambrelle";

void DeleteKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath);
}

bool KeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void SetBinary(const wchar_t* name, const void* data, DWORD size, DWORD type)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetDword(const wchar_t* name, DWORD value)
{
    SetBinary(name, &value, 4, REG_DWORD);
}

void SetString(const wchar_t* name, const wchar_t* value)
{
    SetBinary(name, value, static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)), REG_SZ);
}

bool GetDword(const wchar_t* name, DWORD* value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, data = 0, size = sizeof(data);
    LONG status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4)
        return false;
    if (value)
        *value = data;
    return true;
}

std::vector<std::wstring> ValueNames()
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256] = {};
        DWORD length = 255;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

void WriteAll(LONG x, LONG y, LONG width, LONG height, DWORD welcome, DWORD builtin, DWORD advanced,
              DWORD view)
{
    SetDword(L"X", static_cast<DWORD>(x));
    SetDword(L"Y", static_cast<DWORD>(y));
    SetDword(L"Width", static_cast<DWORD>(width));
    SetDword(L"Height", static_cast<DWORD>(height));
    SetDword(L"Welcome", welcome);
    SetDword(L"IsShowBuiltinAccount", builtin);
    SetDword(L"Advanced", advanced);
    SetDword(L"View", view);
}

} // namespace settings

// ---- Memory in the target process --------------------------------------------

namespace {

class RemoteBlock
{
public:
    RemoteBlock(HANDLE process, size_t size) : process_(process), size_(size)
    {
        address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock()
    {
        if (address_)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    bool Ok() const
    {
        return address_ != nullptr;
    }
    char* At(size_t offset) const
    {
        return static_cast<char*>(address_) + offset;
    }
    LPARAM Param(size_t offset = 0) const
    {
        return reinterpret_cast<LPARAM>(At(offset));
    }
    bool Write(size_t offset, const void* data, size_t size) const
    {
        SIZE_T done = 0;
        return WriteProcessMemory(process_, At(offset), data, size, &done) && done == size;
    }
    bool Read(size_t offset, void* data, size_t size) const
    {
        SIZE_T done = 0;
        return ReadProcessMemory(process_, At(offset), data, size, &done) && done == size;
    }

private:
    HANDLE process_;
    size_t size_;
    void* address_ = nullptr;
};

const DWORD kSendTimeoutMs = 10000;

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr)
{
    DWORD_PTR result = 0;
    LRESULT sent =
        SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result);
    if (ok)
        *ok = sent != 0;
    return static_cast<LRESULT>(result);
}

struct EnumContext
{
    DWORD pid;
    bool visibleOnly;
    std::vector<TopWindow>* out;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param)
{
    EnumContext* context = reinterpret_cast<EnumContext*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != context->pid || (context->visibleOnly && !IsWindowVisible(hwnd)))
        return TRUE;
    wchar_t className[128] = {};
    GetClassNameW(hwnd, className, 127);
    context->out->push_back({hwnd, className, App::Text(hwnd)});
    return TRUE;
}

LPARAM PointParam(POINT pt)
{
    return MAKELPARAM(pt.x, pt.y);
}

} // namespace

// ---- The program under test -----------------------------------------------

App::~App()
{
    Kill();
}

std::wstring App::SimAmbguiPath()
{
    return SimBinDir() + L"\\Ambgui.exe";
}

// The test bed's prefix may already have a default desktop whose shell was
// started without an X display (every window then fails to open). Window tests
// therefore use a desktop of their own, named after the display, whose shell
// Wine starts on first use with this process's DISPLAY. Programs started later
// are put on it too.
static wchar_t g_desktopName[64];

bool UseDesktop(const wchar_t* name, int width, int height)
{
    if (width > 0 && height > 0) {
        // Wine's shell makes a desktop with a configured size a window of its
        // own on the X screen, with decorated windows inside.
        wchar_t size[32] = {};
        FormatBounded(size, 32, L"%dx%d", width, height);
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(size),
                           static_cast<DWORD>((wcslen(size) + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
    }
    HDESK desktop = CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (!desktop || !SetThreadDesktop(desktop))
        return false;
    FormatBounded(g_desktopName, 64, L"%s", name);
    // The desktop's shell starts on first use; until it is up, top-level windows
    // fail to open (error 1400). Open one here until that works, so that the
    // programs started next find the desktop ready.
    bool ready = WaitFor(
        [] {
            HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
            if (!probe)
                return false;
            DestroyWindow(probe);
            return true;
        },
        20000, 100);
    // The shell has read the size by now; leave the prefix's registry as it was.
    if (width > 0 && height > 0)
        RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", name);
    return ready;
}

std::wstring DisplayToken()
{
    // The display number, and the X server's process id from the test bed's
    // display file: a wineserver that outlives one X server must not hand a
    // later run the desktop whose shell belonged to the old one.
    std::wstring token;
    const char* display = std::getenv("DISPLAY");
    for (const char* p = display ? display : ""; *p; ++p)
        if (*p >= '0' && *p <= '9')
            token += static_cast<wchar_t>(*p);
    const char* file = std::getenv("AMB_DISPLAY_FILE");
    if (file && *file) {
        std::wstring pidFile = WindowsPath(std::string(file) + ".pid");
        HANDLE handle = CreateFileW(pidFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            char digits[32] = {};
            DWORD got = 0;
            ReadFile(handle, digits, sizeof(digits) - 1, &got, nullptr);
            CloseHandle(handle);
            token += L"_";
            for (DWORD i = 0; i < got && digits[i] >= '0' && digits[i] <= '9'; ++i)
                token += static_cast<wchar_t>(digits[i]);
        }
    }
    return token;
}

const wchar_t* TestDesktopName()
{
    static bool tried = false;
    if (g_desktopName[0] || tried)
        return g_desktopName;
    tried = true;
    // A virtual desktop: its windows are not X windows of their own, so closing
    // one does not wait for a window manager that the test display lacks
    // (without it every window that goes away costs two seconds).
    UseDesktop((L"ambtest" + DisplayToken()).c_str(), 1280, 1024);
    return g_desktopName;
}

bool App::Start(const std::wstring& exe, const std::wstring& args)
{
    Kill();
    const wchar_t* desktop = TestDesktopName();
    std::wstring path = exe.empty() ? SimAmbguiPath() : exe;
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!args.empty())
        commandLine += L" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring desktopName = desktop;
    if (!desktopName.empty())
        startup.lpDesktop = &desktopName[0];
    PROCESS_INFORMATION info = {};
    if (!CreateProcessRetrying(path.c_str(), &commandLine[0], FALSE, 0, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    main_ = nullptr;
    probeRemote_ = nullptr;
    markerRemote_ = nullptr;
    return true;
}

bool App::Attach(DWORD pid)
{
    Kill();
    process_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (!process_)
        return false;
    pid_ = pid;
    return true;
}

struct ClassSearch
{
    const wchar_t* className;
    std::vector<std::pair<HWND, DWORD>>* out;
};

static BOOL CALLBACK CollectClass(HWND hwnd, LPARAM param)
{
    ClassSearch* search = reinterpret_cast<ClassSearch*>(param);
    wchar_t className[128] = {};
    GetClassNameW(hwnd, className, 127);
    if (IsWindowVisible(hwnd) && lstrcmpW(className, search->className) == 0) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        search->out->emplace_back(hwnd, pid);
    }
    return TRUE;
}

static BOOL CALLBACK CollectClassAnyState(HWND hwnd, LPARAM param)
{
    ClassSearch* search = reinterpret_cast<ClassSearch*>(param);
    wchar_t className[128] = {};
    GetClassNameW(hwnd, className, 127);
    if (lstrcmpW(className, search->className) == 0) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        search->out->emplace_back(hwnd, pid);
    }
    return TRUE;
}

int EndLeftoverPrograms(const wchar_t* className)
{
    std::vector<std::pair<HWND, DWORD>> found;
    ClassSearch search = {className, &found};
    TestDesktopName();
    EnumWindows(CollectClassAnyState, reinterpret_cast<LPARAM>(&search));
    int ended = 0;
    for (const auto& window : found) {
        if (window.second == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, window.second);
        if (!process)
            continue;
        if (TerminateProcess(process, 98)) {
            WaitForSingleObject(process, 5000);
            ++ended;
        }
        CloseHandle(process);
    }
    return ended;
}

std::vector<std::pair<HWND, DWORD>> FindWindowsOfClass(const wchar_t* className)
{
    std::vector<std::pair<HWND, DWORD>> found;
    ClassSearch search = {className, &found};
    TestDesktopName();
    EnumWindows(CollectClass, reinterpret_cast<LPARAM>(&search));
    return found;
}

bool App::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool App::WaitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!process_)
        return true;
    DWORD start = GetTickCount();
    bool ended = WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
    Trace(L"WaitExit", std::wstring(), start);
    if (!ended)
        return false;
    if (exitCode)
        GetExitCodeProcess(process_, exitCode);
    return true;
}

namespace {
// Runs the C run-time's exit(99) on a thread of the target (msvcrt lands at
// the same address in every process of the prefix) and waits a little for it.
void ExitFromInside(HANDLE process)
{
    auto exitFunction = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"msvcrt.dll"), "exit")));
    if (exitFunction == nullptr)
        return;
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, exitFunction,
                                       reinterpret_cast<LPVOID>(99), 0, nullptr);
    if (thread != nullptr) {
        WaitForSingleObject(process, 3000);
        CloseHandle(thread);
    }
}
} // namespace

void App::Kill()
{
    if (!process_)
        return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        // A coverage build writes its counts at exit, which termination skips:
        // let the program's own exit run first.
        if (GetEnvironmentVariableW(L"GCOV_PREFIX", nullptr, 0) != 0)
            ExitFromInside(process_);
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    main_ = nullptr;
    probeRemote_ = nullptr;
    markerRemote_ = nullptr;
}

bool App::Close(DWORD timeoutMs)
{
    if (main_)
        PostMessageW(main_, WM_CLOSE, 0, 0);
    return WaitExit(timeoutMs);
}

std::vector<TopWindow> App::Windows(bool visibleOnly) const
{
    std::vector<TopWindow> windows;
    EnumContext context = {pid_, visibleOnly, &windows};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
    return windows;
}

HWND App::WaitMainWindow(const wchar_t* className, DWORD timeoutMs)
{
    HWND found = nullptr;
    DWORD start = GetTickCount();
    WaitFor(
        [&] {
            for (const TopWindow& w : Windows(true))
                if (w.className == className) {
                    found = w.hwnd;
                    return true;
                }
            return !Running();
        },
        timeoutMs);
    main_ = found;
    if (found)
        Settle();
    Trace(L"WaitMainWindow", className, start);
    if (!found) {
        Trace(Running() ? L"  program still running" : L"  program ended", std::wstring(), start);
        for (const TopWindow& w : Windows(false))
            Trace(L"  window",
                  w.className + L" \"" + w.title + L"\"" +
                      (IsWindowVisible(w.hwnd) ? L" visible" : L" hidden"),
                  start);
    }
    return found;
}

std::wstring App::Title() const
{
    return Text(main_);
}

// Posts a marker behind everything posted so far and waits until the
// program's thread has taken it from its queue.
bool App::PassMarker(DWORD timeoutMs) const
{
    static const UINT marker = RegisterWindowMessageW(kProbeMarkerMessage);
    LONG id = ++markerSent_;
    if (!PostMessageW(main_, marker, static_cast<WPARAM>(id), 0))
        return false;
    DWORD start = GetTickCount();
    for (;;) {
        LONG seen = 0;
        if (!ReadProcessMemory(process_, markerRemote_, &seen, sizeof(seen), nullptr))
            return false;
        if (seen == id)
            return true;
        if (GetTickCount() - start > timeoutMs || !Running())
            return false;
        Sleep(1);
    }
}

bool App::Settle(DWORD timeoutMs) const
{
    if (!main_)
        return false;
    DWORD start = GetTickCount();
    bool ok = true;
    if (WatchMarkers()) {
        // Posted messages are taken in order: once the marker is taken, the
        // input posted before it has been dispatched (or has entered a modal
        // loop of its own). A second marker lets through what the program
        // posted to itself while handling that input.
        ok = PassMarker(timeoutMs) && PassMarker(timeoutMs);
    } else {
        // Without the probe: sent messages are taken before posted ones, so
        // each send lets at least one posted message through when the program
        // waits in its own loop.
        for (int i = 0; i < 6 && ok; ++i) {
            DWORD_PTR result = 0;
            ok = SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
        }
    }
    if (GetTickCount() - start > 200 || !ok)
        Trace(ok ? L"Settle (slow)" : L"Settle (timed out)", std::wstring(), start);
    return ok;
}

HWND App::FindDialog(const std::wstring& title) const
{
    for (const TopWindow& w : Windows(true))
        if (w.className == L"#32770" && w.title == title)
            return w.hwnd;
    return nullptr;
}

HWND App::WaitDialog(const std::wstring& title, DWORD timeoutMs) const
{
    HWND found = nullptr;
    DWORD start = GetTickCount();
    WaitFor(
        [&] {
            found = FindDialog(title);
            return found != nullptr || !Running();
        },
        timeoutMs);
    Trace(L"WaitDialog", title, start);
    return found;
}

bool App::NoDialog(const std::wstring& title, DWORD waitMs) const
{
    return !WaitFor([&] { return FindDialog(title) != nullptr; }, waitMs);
}

// ---- Commands, keys, mouse ----

void App::Command(UINT id) const
{
    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    Settle();
}

void App::PressKey(UINT vk, HWND target) const
{
    HWND to = target ? target : AccountList();
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    bool extended = vk == VK_DELETE || vk == VK_INSERT || (vk >= VK_PRIOR && vk <= VK_DOWN);
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (extended ? (1 << 24) : 0);
    LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    PostMessageW(to, WM_KEYDOWN, vk, down);
    PostMessageW(to, WM_KEYUP, vk, up);
    Settle();
}

int App::ToolbarButtonCount() const
{
    return static_cast<int>(Send(Toolbar(), TB_BUTTONCOUNT, 0, 0));
}

std::wstring App::ToolbarButtonText(UINT command) const
{
    const int chars = 256;
    RemoteBlock block(process_, chars * sizeof(wchar_t));
    if (!block.Ok())
        return std::wstring();
    std::vector<wchar_t> text(chars, 0);
    block.Write(0, text.data(), chars * sizeof(wchar_t));
    LRESULT length = Send(Toolbar(), TB_GETBUTTONTEXTW, command, block.Param());
    if (length <= 0 || length >= chars)
        return std::wstring();
    block.Read(0, text.data(), chars * sizeof(wchar_t));
    text[chars - 1] = 0;
    return text.data();
}

HWND App::FocusedWindow() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    DWORD thread = GetWindowThreadProcessId(main_, nullptr);
    if (!thread || !GetGUIThreadInfo(thread, &info))
        return nullptr;
    return info.hwndFocus;
}

int App::ToolbarState(UINT command) const
{
    HWND toolbar = Toolbar();
    if (Send(toolbar, TB_COMMANDTOINDEX, command, 0) < 0)
        return -1;
    return static_cast<int>(Send(toolbar, TB_GETSTATE, command, 0));
}

bool App::ClickToolbarButton(UINT command) const
{
    HWND toolbar = Toolbar();
    RemoteBlock block(process_, sizeof(RECT));
    RECT rect = {};
    if (!block.Ok() || !Send(toolbar, TB_GETRECT, command, block.Param()) ||
        !block.Read(0, &rect, sizeof(rect)))
        return false;
    POINT pt = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    PostMessageW(toolbar, WM_MOUSEMOVE, 0, PointParam(pt));
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(pt));
    PostMessageW(toolbar, WM_LBUTTONUP, 0, PointParam(pt));
    Settle();
    return true;
}

// ---- List views ----

int App::ItemCount(HWND list) const
{
    return static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
}

int App::ColumnCount(HWND list) const
{
    HWND header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(Send(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::vector<std::wstring> App::ColumnTitles(HWND list) const
{
    std::vector<std::wstring> titles;
    const int chars = 260;
    RemoteBlock block(process_, sizeof(LVCOLUMNW) + chars * sizeof(wchar_t));
    if (!block.Ok())
        return titles;
    int count = ColumnCount(list);
    for (int i = 0; i < count; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = reinterpret_cast<LPWSTR>(block.At(sizeof(LVCOLUMNW)));
        column.cchTextMax = chars - 1;
        wchar_t text[chars] = {};
        block.Write(0, &column, sizeof(column));
        block.Write(sizeof(LVCOLUMNW), text, sizeof(text));
        Send(list, LVM_GETCOLUMNW, i, block.Param());
        block.Read(sizeof(LVCOLUMNW), text, sizeof(text));
        text[chars - 1] = 0;
        titles.push_back(text);
    }
    return titles;
}

std::wstring App::Cell(HWND list, int item, int column) const
{
    const int chars = 1024;
    RemoteBlock block(process_, sizeof(LVITEMW) + chars * sizeof(wchar_t));
    if (!block.Ok())
        return std::wstring();
    LVITEMW lvi = {};
    lvi.iSubItem = column;
    lvi.pszText = reinterpret_cast<LPWSTR>(block.At(sizeof(LVITEMW)));
    lvi.cchTextMax = chars - 1;
    static wchar_t zeros[chars];
    block.Write(0, &lvi, sizeof(lvi));
    block.Write(sizeof(LVITEMW), zeros, sizeof(zeros));
    Send(list, LVM_GETITEMTEXTW, item, block.Param());
    std::vector<wchar_t> text(chars, 0);
    block.Read(sizeof(LVITEMW), text.data(), chars * sizeof(wchar_t));
    text[chars - 1] = 0;
    return text.data();
}

ListRow App::Row(HWND list, int item) const
{
    ListRow row;
    RemoteBlock block(process_, sizeof(LVITEMW));
    if (!block.Ok())
        return row;
    LVITEMW lvi = {};
    lvi.mask = LVIF_IMAGE | LVIF_STATE;
    lvi.iItem = item;
    lvi.stateMask = LVIS_OVERLAYMASK | LVIS_SELECTED | LVIS_STATEIMAGEMASK;
    block.Write(0, &lvi, sizeof(lvi));
    if (Send(list, LVM_GETITEMW, 0, block.Param())) {
        block.Read(0, &lvi, sizeof(lvi));
        row.image = lvi.iImage;
        row.overlay = static_cast<int>((lvi.state & LVIS_OVERLAYMASK) >> 8);
        row.selected = (lvi.state & LVIS_SELECTED) != 0;
        row.stateImage = static_cast<int>((lvi.state & LVIS_STATEIMAGEMASK) >> 12);
    }
    int columns = ColumnCount(list);
    for (int c = 0; c < columns; ++c)
        row.cells.push_back(Cell(list, item, c));
    return row;
}

std::vector<ListRow> App::Rows(HWND list) const
{
    std::vector<ListRow> rows;
    int count = ItemCount(list);
    for (int i = 0; i < count; ++i)
        rows.push_back(Row(list, i));
    return rows;
}

int App::FindRow(HWND list, const std::wstring& text) const
{
    int count = ItemCount(list);
    for (int i = 0; i < count; ++i)
        if (Cell(list, i, 0) == text)
            return i;
    return -1;
}

std::vector<int> App::SelectedItems(HWND list) const
{
    std::vector<int> items;
    int item = -1;
    while ((item = static_cast<int>(Send(list, LVM_GETNEXTITEM, item, LVNI_SELECTED))) >= 0) {
        items.push_back(item);
        if (items.size() > 100000)
            break;
    }
    return items;
}

bool App::SelectRow(HWND list, int item) const
{
    RemoteBlock block(process_, sizeof(LVITEMW));
    if (!block.Ok())
        return false;
    LVITEMW lvi = {};
    lvi.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    lvi.state = 0;
    block.Write(0, &lvi, sizeof(lvi));
    Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), block.Param());
    lvi.state = LVIS_SELECTED | LVIS_FOCUSED;
    block.Write(0, &lvi, sizeof(lvi));
    bool ok = Send(list, LVM_SETITEMSTATE, item, block.Param()) != 0;
    Send(list, LVM_SETSELECTIONMARK, 0, item);
    Send(list, LVM_ENSUREVISIBLE, item, FALSE);
    Settle();
    return ok;
}

bool App::ClearSelection(HWND list) const
{
    RemoteBlock block(process_, sizeof(LVITEMW));
    if (!block.Ok())
        return false;
    LVITEMW lvi = {};
    lvi.stateMask = LVIS_SELECTED;
    block.Write(0, &lvi, sizeof(lvi));
    bool ok = Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), block.Param()) != 0;
    Settle();
    return ok;
}

bool App::ItemRect(HWND list, int item, RECT* rect, int part) const
{
    Send(list, LVM_ENSUREVISIBLE, item, FALSE);
    RemoteBlock block(process_, sizeof(RECT));
    if (!block.Ok())
        return false;
    RECT r = {};
    r.left = part;
    block.Write(0, &r, sizeof(r));
    if (!Send(list, LVM_GETITEMRECT, item, block.Param()))
        return false;
    return block.Read(0, rect, sizeof(RECT));
}

int App::ColumnWidth(HWND list, int column) const
{
    return static_cast<int>(Send(list, LVM_GETCOLUMNWIDTH, column, 0));
}

int App::StringWidth(HWND list, const std::wstring& text) const
{
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    RemoteBlock block(process_, bytes);
    if (!block.Ok() || !block.Write(0, text.c_str(), bytes))
        return -1;
    bool ok = false;
    LRESULT width = Send(list, LVM_GETSTRINGWIDTHW, 0, block.Param(), &ok);
    return ok ? static_cast<int>(width) : -1;
}

static POINT RowPoint(const RECT& rect)
{
    POINT pt = {rect.left + 8, (rect.top + rect.bottom) / 2};
    if (pt.x >= rect.right)
        pt.x = (rect.left + rect.right) / 2;
    return pt;
}

bool App::ClickRow(HWND list, int item) const
{
    RECT rect;
    if (!ItemRect(list, item, &rect))
        return false;
    POINT pt = RowPoint(rect);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(pt));
    PostMessageW(list, WM_LBUTTONUP, 0, PointParam(pt));
    Settle();
    return true;
}

bool App::DoubleClickRow(HWND list, int item) const
{
    RECT rect;
    if (!ItemRect(list, item, &rect))
        return false;
    POINT pt = RowPoint(rect);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(pt));
    PostMessageW(list, WM_LBUTTONUP, 0, PointParam(pt));
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, PointParam(pt));
    PostMessageW(list, WM_LBUTTONUP, 0, PointParam(pt));
    Settle();
    return true;
}

// A point in the list below its last row, if the list has empty space there.
bool App::EmptyPoint(HWND list, POINT* pt) const
{
    RECT client;
    GetClientRect(list, &client);
    *pt = {client.right / 2, client.bottom - 4};
    int count = ItemCount(list);
    RECT last;
    return !(count > 0 && ItemRect(list, count - 1, &last) && last.bottom + 4 >= pt->y);
}

bool App::RightClickEmpty(HWND list) const
{
    POINT pt;
    if (!EmptyPoint(list, &pt))
        return false;
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, PointParam(pt));
    PostMessageW(list, WM_RBUTTONUP, 0, PointParam(pt));
    return true;
}

bool App::DoubleClickEmpty(HWND list) const
{
    POINT pt;
    if (!EmptyPoint(list, &pt))
        return false;
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(pt));
    PostMessageW(list, WM_LBUTTONUP, 0, PointParam(pt));
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, PointParam(pt));
    PostMessageW(list, WM_LBUTTONUP, 0, PointParam(pt));
    Settle();
    return true;
}

bool App::RightClickRow(HWND list, int item) const
{
    RECT rect;
    if (!ItemRect(list, item, &rect))
        return false;
    POINT pt = RowPoint(rect);
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, PointParam(pt));
    PostMessageW(list, WM_RBUTTONUP, 0, PointParam(pt));
    return true; // the popup's modal loop keeps the program busy: no Settle here
}

std::vector<std::pair<std::wstring, std::wstring>> App::Details() const
{
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    HWND list = DetailsList();
    int count = ItemCount(list);
    for (int i = 0; i < count; ++i)
        pairs.emplace_back(Cell(list, i, 0), Cell(list, i, 1));
    return pairs;
}

std::wstring App::DetailValue(const std::wstring& label) const
{
    for (const auto& pair : Details())
        if (pair.first == label)
            return pair.second;
    return L"(no row " + label + L")";
}

// ---- Menus through the probe ----

bool App::EnsureProbe() const
{
    if (probeRemote_)
        return true;
    if (!process_)
        return false;
    std::wstring path = TestBinDir() + L"\\guiprobe.dll";
    HMODULE local = LoadLibraryW(path.c_str());
    if (!local)
        return false;
    FARPROC entry = GetProcAddress(local, "ProbeEntry");
    if (!entry)
        return false;
    // Load the probe into the target.
    size_t bytes = (path.size() + 1) * sizeof(wchar_t);
    void* remotePath =
        VirtualAllocEx(process_, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remotePath)
        return false;
    WriteProcessMemory(process_, remotePath, path.c_str(), bytes, nullptr);
    FARPROC loadLibrary = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW");
    HANDLE thread = CreateRemoteThread(
        process_, nullptr, 0,
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(loadLibrary)), remotePath,
        0, nullptr);
    if (!thread) {
        VirtualFreeEx(process_, remotePath, 0, MEM_RELEASE);
        return false;
    }
    WaitForSingleObject(thread, 10000);
    DWORD loaded = 0;
    GetExitCodeThread(thread, &loaded);
    CloseHandle(thread);
    VirtualFreeEx(process_, remotePath, 0, MEM_RELEASE);
    if (!loaded)
        return false;
    // The probe has a fixed image base and loads at the same address on both
    // sides; the ping proves it before anything else runs there.
    probeRemote_ = reinterpret_cast<void*>(entry);
    ProbeRequest ping = {};
    ping.op = kProbePing;
    if (!CallProbe(&ping, sizeof(ping)) || ping.result != static_cast<int32_t>(kProbeMagic)) {
        probeRemote_ = nullptr;
        return false;
    }
    return true;
}

bool App::WatchMarkers() const
{
    if (markerRemote_)
        return true;
    if (!main_ || !EnsureProbe())
        return false;
    ProbeRequest request = {};
    request.op = kProbeWatchMarkers;
    request.window = reinterpret_cast<UINT_PTR>(main_);
    if (!CallProbe(&request, sizeof(request)) || request.result != 1)
        return false;
    markerRemote_ = reinterpret_cast<void*>(static_cast<UINT_PTR>(request.answer));
    return true;
}

bool App::CallProbe(void* request, size_t size) const
{
    if (!probeRemote_)
        return false;
    RemoteBlock block(process_, size);
    if (!block.Ok() || !block.Write(0, request, size))
        return false;
    HANDLE thread = CreateRemoteThread(process_, nullptr, 0,
                                       reinterpret_cast<LPTHREAD_START_ROUTINE>(probeRemote_),
                                       block.At(0), 0, nullptr);
    if (!thread)
        return false;
    bool done = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return done && block.Read(0, request, size);
}

int App::MenuState(UINT command) const
{
    if (!EnsureProbe())
        return -2;
    ProbeRequest request = {};
    request.op = kProbeMenuState;
    request.command = command;
    request.window = reinterpret_cast<UINT_PTR>(main_);
    if (!CallProbe(&request, sizeof(request)))
        return -2;
    return request.result == -1 ? -1 : request.result;
}

bool App::MenuGrayed(UINT command) const
{
    int state = MenuState(command);
    return state >= 0 && (state & (MF_GRAYED | MF_DISABLED)) != 0;
}

bool App::MenuChecked(UINT command) const
{
    int state = MenuState(command);
    return state >= 0 && (state & MF_CHECKED) != 0;
}

std::wstring App::MenuText(UINT command) const
{
    if (!EnsureProbe())
        return std::wstring();
    ProbeRequest request = {};
    request.op = kProbeMenuState;
    request.command = command;
    request.window = reinterpret_cast<UINT_PTR>(main_);
    if (!CallProbe(&request, sizeof(request)))
        return std::wstring();
    request.text[kProbeTextChars - 1] = 0;
    return request.text;
}

static std::vector<App::MenuItem> ItemsOf(const ProbeRequest& request)
{
    std::vector<App::MenuItem> items;
    for (int i = 0; i < request.count && i < kProbeMaxItems; ++i) {
        const ProbeItem& item = request.items[i];
        wchar_t text[kProbeTextChars];
        memcpy(text, item.text, sizeof(text));
        text[kProbeTextChars - 1] = 0;
        items.push_back({item.id, item.state, text});
    }
    return items;
}

std::vector<App::MenuItem> App::MenuBarPopup(int index) const
{
    if (!EnsureProbe())
        return {};
    ProbeRequest request = {};
    request.op = kProbeMenuBarPopup;
    request.command = static_cast<uint32_t>(index);
    request.window = reinterpret_cast<UINT_PTR>(main_);
    if (!CallProbe(&request, sizeof(request)))
        return {};
    return ItemsOf(request);
}

bool App::WaitPopupMenu(std::vector<MenuItem>* items, DWORD timeoutMs) const
{
    if (!EnsureProbe())
        return false;
    HWND menuWindow = nullptr;
    WaitFor(
        [&] {
            for (const TopWindow& w : Windows(true))
                if (w.className == L"#32768") {
                    menuWindow = w.hwnd;
                    return true;
                }
            return false;
        },
        timeoutMs);
    if (!menuWindow)
        return false;
    ProbeRequest request = {};
    request.op = kProbeOpenPopupMenu;
    request.window = reinterpret_cast<UINT_PTR>(menuWindow);
    if (!CallProbe(&request, sizeof(request)))
        return false;
    if (items)
        *items = ItemsOf(request);
    return true;
}

bool App::SendFromInside(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                         LRESULT* answer) const
{
    if (!EnsureProbe())
        return false;
    ProbeRequest request = {};
    request.op = kProbeSendMessage;
    request.window = reinterpret_cast<UINT_PTR>(window);
    request.command = message;
    request.wParam = wParam;
    request.lParam = static_cast<uint64_t>(lParam);
    if (!CallProbe(&request, sizeof(request)) || request.result != 1)
        return false;
    if (answer)
        *answer = static_cast<LRESULT>(request.answer);
    return true;
}

void App::CloseMenu() const
{
    ProbeRequest request = {};
    request.op = kProbeEndMenu;
    if (EnsureProbe())
        CallProbe(&request, sizeof(request));
    WaitFor(
        [&] {
            for (const TopWindow& w : Windows(true))
                if (w.className == L"#32768")
                    return false;
            return true;
        },
        3000);
    Settle();
}

// ---- Dialogs and message boxes ----

std::wstring App::Text(HWND hwnd)
{
    if (!hwnd)
        return std::wstring();
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length))
        return std::wstring();
    std::vector<wchar_t> text(length + 2, 0);
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_NORMAL, kSendTimeoutMs, &got);
    return text.data();
}

std::wstring App::ControlText(HWND dialog, int id)
{
    return Text(GetDlgItem(dialog, id));
}

DialogText App::ReadDialog(HWND dialog)
{
    DialogText result;
    result.title = Text(dialog);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 63);
        if (lstrcmpiW(className, L"Static") == 0)
            result.statics.push_back(Text(child));
        else if (lstrcmpiW(className, L"Button") == 0)
            result.buttons.push_back(Text(child));
    }
    return result;
}

std::wstring App::MessageText(HWND box)
{
    return ControlText(box, 0xFFFF);
}

bool App::MessageBoxHasIcon(HWND box)
{
    HWND icon = GetDlgItem(box, 0x0440); // the icon static of the platform's message box
    return icon && IsWindowVisible(icon) && Send(icon, STM_GETICON, 0, 0) != 0;
}

bool App::IsChecked(HWND dialog, int id)
{
    return Send(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool App::IsEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

void App::SetEditText(HWND dialog, int id, const std::wstring& text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, kSendTimeoutMs,
                        &result);
}

void App::Tick(HWND dialog, int id, bool on)
{
    if (IsChecked(dialog, id) != on) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs,
                            &result);
    }
}

void App::PressButton(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool App::PressButtonByText(HWND dialog, const std::wstring& caption)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 63);
        if (lstrcmpiW(className, L"Button") == 0 && Text(child) == caption) {
            PostMessageW(child, BM_CLICK, 0, 0);
            return true;
        }
    }
    return false;
}

bool App::WaitGone(HWND hwnd, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    bool gone = WaitFor([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, timeoutMs);
    Trace(L"WaitGone", std::wstring(), start);
    return gone;
}

// ---- List boxes, combo boxes, check boxes in lists, date pickers ----

static std::vector<std::wstring> ItemTexts(HWND control, UINT countMessage, UINT lengthMessage,
                                           UINT textMessage)
{
    std::vector<std::wstring> items;
    LRESULT count = Send(control, countMessage, 0, 0);
    for (LRESULT i = 0; i < count && i < 100000; ++i) {
        LRESULT length = Send(control, lengthMessage, i, 0);
        if (length < 0)
            break;
        // The text messages are marshalled across processes by the platform.
        std::vector<wchar_t> text(static_cast<size_t>(length) + 2, 0);
        Send(control, textMessage, i, reinterpret_cast<LPARAM>(text.data()));
        items.push_back(text.data());
    }
    return items;
}

std::vector<std::wstring> App::ListBoxItems(HWND dialog, int id)
{
    return ItemTexts(GetDlgItem(dialog, id), LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

int App::ListBoxSelection(HWND dialog, int id)
{
    return static_cast<int>(Send(GetDlgItem(dialog, id), LB_GETCURSEL, 0, 0));
}

bool App::SelectListBoxItem(HWND dialog, int id, int index)
{
    HWND box = GetDlgItem(dialog, id);
    if (Send(box, LB_SETCURSEL, index, 0) == LB_ERR && index >= 0)
        return false;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
    return true;
}

std::vector<std::wstring> App::ComboItems(HWND dialog, int id)
{
    return ItemTexts(GetDlgItem(dialog, id), CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

int App::ComboSelection(HWND dialog, int id)
{
    return static_cast<int>(Send(GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0));
}

bool App::SelectComboItem(HWND dialog, int id, int index)
{
    HWND combo = GetDlgItem(dialog, id);
    if (Send(combo, CB_SETCURSEL, index, 0) == CB_ERR && index >= 0)
        return false;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    return true;
}

bool App::SetRowChecked(HWND list, int item, bool checked) const
{
    RemoteBlock block(process_, sizeof(LVITEMW));
    if (!block.Ok())
        return false;
    LVITEMW lvi = {};
    lvi.stateMask = LVIS_STATEIMAGEMASK;
    lvi.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    block.Write(0, &lvi, sizeof(lvi));
    bool ok = Send(list, LVM_SETITEMSTATE, item, block.Param()) != 0;
    Settle();
    return ok;
}

int App::GetDateTime(HWND picker, SYSTEMTIME* time) const
{
    RemoteBlock block(process_, sizeof(SYSTEMTIME));
    if (!block.Ok())
        return -1;
    bool sent = false;
    LRESULT result = Send(picker, DTM_GETSYSTEMTIME, 0, block.Param(), &sent);
    if (!sent)
        return -1;
    block.Read(0, time, sizeof(SYSTEMTIME));
    return static_cast<int>(result);
}

bool App::SetDateTime(HWND picker, const SYSTEMTIME& time) const
{
    // The notification carries a pointer too, so it is built in the target.
    struct Block
    {
        SYSTEMTIME time;
        NMDATETIMECHANGE change;
    } data = {};
    data.time = time;
    data.change.nmhdr.hwndFrom = picker;
    data.change.nmhdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(picker));
    data.change.nmhdr.code = DTN_DATETIMECHANGE;
    data.change.dwFlags = GDT_VALID;
    data.change.st = time;
    RemoteBlock block(process_, sizeof(data));
    if (!block.Ok() || !block.Write(0, &data, sizeof(data)))
        return false;
    if (!Send(picker, DTM_SETSYSTEMTIME, GDT_VALID, block.Param()))
        return false;
    bool notified = SendFromInside(GetParent(picker), WM_NOTIFY, data.change.nmhdr.idFrom,
                                   block.Param(offsetof(Block, change)));
    Settle();
    return notified;
}

std::wstring ShotPath(const std::wstring& name)
{
    const char* dir = std::getenv("AMB_SHOT_DIR");
    if (dir && *dir)
        return (dir[0] == '/' ? WindowsPath(dir) : std::wstring(dir, dir + strlen(dir))) + L"\\" +
               name;
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    return std::wstring(base) + name;
}

} // namespace guidriver
