// Helper for the Ambcmd transcript tests, in three roles:
//
//   cli_test_helper.exe errtext CODE...
//       prints "CODE<TAB>TEXT" per code, TEXT being FormatErrorText(CODE) in
//       UTF-8 with backslash, CR and LF escaped (\\, \r, \n);
//   cli_test_helper.exe with-comspec LOGFILE PROGRAM [ARGS...]
//       runs the rest of its own command line with COMSPEC pointing at this
//       program and AMB_PAUSE_LOG at LOGFILE, and exits with its exit code
//       (Wine resets COMSPEC from the registry, so it cannot come from Linux);
//   anything else: the command interpreter stand-in. Appends its whole command
//       line as one UTF-8 line to the file named by AMB_PAUSE_LOG, and writes
//       "[PAUSE]" to the standard output it shares with its caller, so that the
//       caller's transcript shows where the pause fell.
#include "start_process.h"
#include "errortext.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

static std::string ToUtf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

static void WriteAll(HANDLE handle, const std::string& bytes)
{
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

static int PrintErrorTexts(int argc, wchar_t** argv)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    for (int i = 2; i < argc; ++i) {
        DWORD code = wcstoul(argv[i], nullptr, 0);
        LPWSTR text = FormatErrorText(code);
        std::wstring line = std::to_wstring(code) + L"\t";
        for (const wchar_t* p = text; *p != L'\0'; ++p) {
            if (*p == L'\\')
                line += L"\\\\";
            else if (*p == L'\r')
                line += L"\\r";
            else if (*p == L'\n')
                line += L"\\n";
            else
                line += *p;
        }
        line += L"\n";
        LocalFree(text);
        WriteAll(out, ToUtf8(line));
    }
    return 0;
}

// The command line after the first `skip` arguments, as typed.
static const wchar_t* SkipArguments(const wchar_t* commandLine, int skip)
{
    const wchar_t* p = commandLine;
    for (int i = 0; i < skip; ++i) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        bool quoted = false;
        while (*p != L'\0' && (quoted || (*p != L' ' && *p != L'\t'))) {
            if (*p == L'"')
                quoted = !quoted;
            ++p;
        }
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

static int RunWithComspec(wchar_t** argv)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"COMSPEC", self);
    SetEnvironmentVariableW(L"AMB_PAUSE_LOG", argv[2]);
    std::wstring command = SkipArguments(GetCommandLineW(), 3);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessRetrying(nullptr, &command[0], TRUE, 0, &startup, &process))
        return 100;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 101;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

static int RecordCommandLine()
{
    wchar_t logPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"AMB_PAUSE_LOG", logPath, MAX_PATH) == 0)
        return 1;
    HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    WriteAll(log, ToUtf8(std::wstring(GetCommandLineW()) + L"\n"));
    CloseHandle(log);
    WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), "[PAUSE]");
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 2 && wcscmp(argv[1], L"errtext") == 0)
        return PrintErrorTexts(argc, argv);
    if (argc >= 4 && wcscmp(argv[1], L"with-comspec") == 0)
        return RunWithComspec(argv);
    return RecordCommandLine();
}
