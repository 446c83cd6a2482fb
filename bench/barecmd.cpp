// The bare counterpart of a few Ambcmd runs: the same platform calls, in the
// same order, and nothing else (no banner, no messages, no checks).
//   AmbBare user NAME      as "Ambcmd /user NAME"
//   AmbBare useradd NAME   as "Ambcmd /user /add NAME"
//   AmbBare group NAME     as "Ambcmd /group NAME"
#include <windows.h>

#include <lm.h>
#include <shlobj.h>

#include <cwchar>

namespace {

// Ambcmd's start: the console title, and again after the rights check.
void BareStart()
{
    SetConsoleTitleW(L"Ambcmd");
    if (IsUserAnAdmin())
        SetConsoleTitleW(L"Ambcmd (admin)");
}

int BareUser(LPCWSTR name)
{
    BareStart();
    LPBYTE record = nullptr;
    NET_API_STATUS status = NetUserGetInfo(nullptr, name, 4, &record);
    NetApiBufferFree(record);
    LPBYTE groups = nullptr;
    DWORD read = 0, total = 0;
    NetUserGetLocalGroups(nullptr, name, 0, LG_INCLUDE_INDIRECT, &groups, MAX_PREFERRED_LENGTH,
                          &read, &total);
    NetApiBufferFree(groups);
    return status == NERR_Success ? 0 : 1;
}

int BareUserAdd(LPCWSTR name)
{
    BareStart();
    USER_INFO_4 user = {};
    user.usri4_name = const_cast<LPWSTR>(name);
    user.usri4_password = const_cast<LPWSTR>(L"");
    user.usri4_priv = USER_PRIV_USER;
    user.usri4_flags = UF_SCRIPT;
    user.usri4_primary_group_id = DOMAIN_GROUP_RID_USERS;
    return NetUserAdd(nullptr, 4, reinterpret_cast<LPBYTE>(&user), nullptr) == NERR_Success ? 0 : 1;
}

int BareGroup(LPCWSTR name)
{
    BareStart();
    BYTE sid[SECURITY_MAX_SID_SIZE];
    WCHAR domain[256];
    DWORD sidSize = 0, domainChars = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, name, nullptr, &sidSize, nullptr, &domainChars, &use);
    sidSize = sizeof sid;
    domainChars = 256;
    LookupAccountNameW(nullptr, name, sid, &sidSize, domain, &domainChars, &use);
    LPBYTE record = nullptr;
    NET_API_STATUS status = NetLocalGroupGetInfo(nullptr, name, 1, &record);
    NetApiBufferFree(record);
    LPBYTE members = nullptr;
    DWORD read = 0, total = 0;
    NetLocalGroupGetMembers(nullptr, name, 1, &members, MAX_PREFERRED_LENGTH, &read, &total,
                            nullptr);
    NetApiBufferFree(members);
    return status == NERR_Success ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && wcscmp(argv[1], L"user") == 0)
        return BareUser(argv[2]);
    if (argc == 3 && wcscmp(argv[1], L"useradd") == 0)
        return BareUserAdd(argv[2]);
    if (argc == 3 && wcscmp(argv[1], L"group") == 0)
        return BareGroup(argv[2]);
    return 2;
}
