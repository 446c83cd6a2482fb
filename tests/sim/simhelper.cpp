// A small program of the platform tests, linked against AmbSim like the
// programs are:
//   simhelper add-users PREFIX COUNT   adds COUNT users through NetUserAdd
//   simhelper churn                    adds and deletes users until killed
//   simhelper whoami FILE              writes "user admin" (GetUserNameW,
//                                       IsUserAnAdmin) into FILE
#include <windows.h>
#include <lm.h>
#include <shlobj.h>

#include <string>

namespace {

DWORD Add(const std::wstring& name)
{
    USER_INFO_1 ui = {};
    ui.usri1_name = const_cast<LPWSTR>(name.c_str());
    ui.usri1_password = const_cast<LPWSTR>(L"");
    ui.usri1_priv = USER_PRIV_USER;
    ui.usri1_flags = UF_SCRIPT;
    return NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&ui), nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"add-users") {
        int count = _wtoi(argv[3]);
        for (int i = 0; i < count; ++i)
            if (Add(std::wstring(argv[2]) + std::to_wstring(i)) != 0)
                return 2;
        return 0;
    }
    if (argc == 2 && std::wstring(argv[1]) == L"churn") {
        for (unsigned i = 0;; ++i) {
            std::wstring name = L"churn" + std::to_wstring(i % 1000);
            Add(name);
            NetUserDel(nullptr, name.c_str());
        }
    }
    if (argc == 3 && std::wstring(argv[1]) == L"whoami") {
        wchar_t user[256];
        DWORD size = 256;
        if (!GetUserNameW(user, &size))
            return 3;
        std::wstring text = std::wstring(user) + (IsUserAnAdmin() ? L" 1" : L" 0");
        HANDLE f = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return 4;
        DWORD done = 0;
        WriteFile(f, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done,
                  nullptr);
        CloseHandle(f);
        return 0;
    }
    return 1;
}
