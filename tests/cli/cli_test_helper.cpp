// Helper for the Ambcmd transcript tests, in three roles:
//
//   cli_test_helper.exe errtext CODE...
//       prints "CODE<TAB>TEXT" per code, TEXT being FormatErrorText(CODE) in
//       UTF-8 with backslash, CR and LF escaped (\\, \r, \n);
//   cli_test_helper.exe with-comspec LOGFILE PROGRAM [ARGS...]
//       runs the rest of its own command line with COMSPEC pointing at this
//       program and AMB_PAUSE_LOG at LOGFILE, and exits with its exit code
//       (Wine resets COMSPEC from the registry, so it cannot come from Linux);
//   cli_test_helper.exe batch JOBFILE PAUSELOG
//       runs many command lines in one Wine session (a Wine start costs more
//       than the run): JOBFILE holds two lines per job, the command line and
//       the bytes for its standard input, both in hexadecimal (UTF-8 for the
//       command line, which is passed as it stands). Prints one line per job,
//       "EXITCODE<TAB>OUTPUT" with the output bytes in hexadecimal; EXITCODE is
//       "hang" when the job did not end within 30 s (it is then killed).
//       COMSPEC points at this program, as with with-comspec;
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

static std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    return bytes;
}

static std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

static std::wstring FromUtf8(const std::string& bytes)
{
    int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

static std::string ReadWholeFile(const wchar_t* path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

static HANDLE OpenInheritable(const wchar_t* path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// One job: standard input from a file, standard output to a file (no pipe can
// fill up), at most 30 s.
static std::string RunJob(std::wstring commandLine, const std::string& input,
                          const std::wstring& folder)
{
    std::wstring inPath = folder + L"\\job.in", outPath = folder + L"\\job.out";
    HANDLE in = OpenInheritable(inPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    DWORD written = 0;
    WriteFile(in, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(in);
    in = OpenInheritable(inPath.c_str(), GENERIC_READ, OPEN_EXISTING);
    HANDLE out = OpenInheritable(outPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string code = "nostart";
    if (CreateProcessRetrying(nullptr, &commandLine[0], TRUE, 0, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(process.hProcess, &exitCode);
            code = std::to_string(exitCode);
        } else {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
            code = "hang";
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(in);
    CloseHandle(out);
    return code + "\t" + ToHex(ReadWholeFile(outPath.c_str())) + "\n";
}

static int RunBatch(wchar_t** argv)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"COMSPEC", self);
    SetEnvironmentVariableW(L"AMB_PAUSE_LOG", argv[3]);
    std::wstring folder = argv[2];
    folder.erase(folder.find_last_of(L'\\'));
    std::string jobs = ReadWholeFile(argv[2]);
    HANDLE stdOut = GetStdHandle(STD_OUTPUT_HANDLE);
    size_t at = 0;
    while (at < jobs.size()) {
        size_t lineEnd = jobs.find('\n', at);
        size_t inputEnd = lineEnd == std::string::npos ? lineEnd : jobs.find('\n', lineEnd + 1);
        if (inputEnd == std::string::npos)
            break;
        std::wstring commandLine = FromUtf8(FromHex(jobs.substr(at, lineEnd - at)));
        std::string input = FromHex(jobs.substr(lineEnd + 1, inputEnd - lineEnd - 1));
        WriteAll(stdOut, RunJob(commandLine, input, folder));
        at = inputEnd + 1;
    }
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 4 && wcscmp(argv[1], L"batch") == 0)
        return RunBatch(argv);
    if (argc >= 2 && wcscmp(argv[1], L"errtext") == 0)
        return PrintErrorTexts(argc, argv);
    if (argc >= 4 && wcscmp(argv[1], L"with-comspec") == 0)
        return RunWithComspec(argv);
    return RecordCommandLine();
}
