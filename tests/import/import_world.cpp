#include "import_world.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "start_process.h"

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
