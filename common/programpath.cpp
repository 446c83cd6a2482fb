#include "programpath.h"

#include <shellapi.h>
#include <cstdlib>
#include <cwchar>

#include "textformat.h"

bool GetStartedProgramPath(wchar_t* out, size_t count)
{
    if (out == nullptr || count == 0)
        return false;
    out[0] = L'\0';
    const wchar_t* commandLine = GetCommandLineW();
    if (commandLine != nullptr && commandLine[0] != L'\0') {
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(commandLine, &argc);
        bool ok = argv != nullptr && argc > 0 && FormatBounded(out, count, L"%s", argv[0]) >= 0;
        if (argv != nullptr)
            LocalFree(argv);
        if (!ok)
            out[0] = L'\0'; // a cut path must not be taken for the program's
        return ok;
    }
    DWORD length = GetModuleFileNameW(nullptr, out, static_cast<DWORD>(count));
    if (length > 0 && length < count)
        return true;
    out[0] = L'\0';
    return false;
}

bool BuildPathBesideProgram(const wchar_t* fileName, wchar_t* out, size_t count)
{
    if (out == nullptr || count == 0)
        return false;
    out[0] = L'\0';
    wchar_t programPath[MAX_PATH * 4];
    if (!GetStartedProgramPath(programPath, sizeof programPath / sizeof programPath[0]))
        return false;
    wchar_t drive[3] = {};
    wchar_t directory[256] = {};
    if (_wsplitpath_s(programPath, drive, 3, directory, 256, nullptr, 0, nullptr, 0) != 0)
        return false;
    if (FormatBounded(out, count, L"%s%s%s", drive, directory, fileName) < 0) {
        out[0] = L'\0';
        return false;
    }
    return true;
}
