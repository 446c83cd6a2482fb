// Version resources of the built files, read back the way the about dialog
// reads them: through AMBGetVersionResourceStringW and AMBPointerFree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ambcore.h"

namespace {

// The build tree's bin/ as a Windows path (Wine maps / to Z:).
std::wstring BinPath(const wchar_t* file)
{
    const char* dir = std::getenv("AMB_BIN_DIR");
    std::wstring path = L"Z:";
    for (const char* p = dir ? dir : ""; *p; ++p)
        path += static_cast<wchar_t>(*p == '/' ? '\\' : *p);
    return path + L"\\" + file;
}

std::wstring VersionString(const std::wstring& path, const wchar_t* name)
{
    LPWSTR value = reinterpret_cast<LPWSTR>(static_cast<INT_PTR>(-1));
    AMBGetVersionResourceStringW(path.c_str(), 0, name, &value);
    EXPECT_NE(value, nullptr) << "a value that may be shown and freed is always stored";
    std::wstring copy = value ? value : L"(null)";
    AMBPointerFree(value);
    return copy;
}

struct Expected
{
    const wchar_t* file;
    const wchar_t* description;
    const wchar_t* fileVersion;
    const wchar_t* productVersion;
    const wchar_t* internalName;
    DWORD ms, ls;
};

const Expected kPrograms[] = {
    {L"Ambgui.exe", L"Ambrelle", L"1.10", L"1.10.2014.102", L"Ambgui", 0x0001000A, 0x07DE0066},
    {L"Ambcmd.exe", L"Ambrelle コマンドライン ツール", L"1.00", L"1.00.2014.102", L"Ambcmd",
     0x00010000, 0x07DE0066},
    {L"Amblift.exe", L"Ambrelle RunAs Tool", L"1.10", L"1.10.2014.102", L"Amblift", 0x0001000A,
     0x07DE0066},
};

TEST(VersionResource, EachProgramCarriesItsStrings)
{
    for (const Expected& e : kPrograms) {
        SCOPED_TRACE(e.file);
        std::wstring path = BinPath(e.file);
        EXPECT_EQ(VersionString(path, L"FileDescription"), e.description);
        EXPECT_EQ(VersionString(path, L"FileVersion"), e.fileVersion);
        EXPECT_EQ(VersionString(path, L"ProductVersion"), e.productVersion);
        EXPECT_EQ(VersionString(path, L"InternalName"), e.internalName);
        EXPECT_EQ(VersionString(path, L"OriginalFilename"), e.file);
        EXPECT_EQ(VersionString(path, L"ProductName"), L"Ambrelle");
        EXPECT_EQ(VersionString(path, L"CompanyName"), L"Dunmarrow");
        EXPECT_NE(VersionString(path, L"LegalCopyright").find(L"Dunmarrow"), std::wstring::npos);
    }
}

TEST(VersionResource, EachProgramCarriesItsBinaryVersion)
{
    for (const Expected& e : kPrograms) {
        SCOPED_TRACE(e.file);
        std::wstring path = BinPath(e.file);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
        ASSERT_GT(size, 0u);
        std::string block(size, '\0');
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
        VS_FIXEDFILEINFO* info = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<LPVOID*>(&info), &length));
        EXPECT_EQ(info->dwFileVersionMS, e.ms);
        EXPECT_EQ(info->dwFileVersionLS, e.ls);
        EXPECT_EQ(info->dwProductVersionMS, e.ms);
        EXPECT_EQ(info->dwProductVersionLS, e.ls);
    }
}

TEST(VersionResource, AMissingValueOrFileStoresAnEmptyString)
{
    EXPECT_EQ(VersionString(BinPath(L"Ambgui.exe"), L"PrivateBuild"), L"");
    EXPECT_EQ(VersionString(BinPath(L"NoSuchFile.exe"), L"FileVersion"), L"");
    AMBPointerFree(nullptr);
}

TEST(VersionResource, ProgramsCarryTheApplicationManifest)
{
    for (const Expected& e : kPrograms) {
        SCOPED_TRACE(e.file);
        HMODULE module = LoadLibraryExW(BinPath(e.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
        ASSERT_NE(found, nullptr);
        std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
        EXPECT_NE(manifest.find("<description>Ambrelle</description>"), std::string::npos);
        EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
        EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
                  std::string::npos);
        EXPECT_NE(manifest.find("{1f676c76-80e1-4239-95bb-83d0f6d0da78}"), std::string::npos);
        // The window programs draw themselves at every display scale; the
        // console tool has nothing to scale.
        bool window = std::wstring(e.file) != L"Ambcmd.exe";
        EXPECT_EQ(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                                "WindowsSettings\">true/pm</dpiAware>") != std::string::npos,
                  window);
        EXPECT_EQ(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                                "WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>") !=
                      std::string::npos,
                  window);
        for (int size : {16, 32, 48}) {
            HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(100), IMAGE_ICON, size, size, 0);
            EXPECT_NE(icon, nullptr) << "icon 100 at " << size;
            if (icon)
                DestroyIcon(static_cast<HICON>(icon));
        }
        FreeLibrary(module);
    }
}

} // namespace
