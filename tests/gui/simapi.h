// The simulated platform called directly from a test, for the few things the
// world's control program does not offer (account flags, expiry) and as the
// oracle for the order in which the platform lists users. AmbSim.dll reads the
// world folder from AMBRELLE_SIM_DIR, which the fixture has already set.
#pragma once

#include <windows.h>

#include <lm.h>

#include <string>
#include <vector>

#include "guidriver.h"

namespace ambtest {

class SimApi
{
public:
    SimApi()
    {
        module_ = LoadLibraryW((guidriver::SimBinDir() + L"\\AmbSim.dll").c_str());
        if (!module_)
            return;
        queryDisplay_ = reinterpret_cast<QueryDisplay>(Proc("NetQueryDisplayInformation"));
        getInfo_ = reinterpret_cast<GetInfo>(Proc("NetUserGetInfo"));
        setInfo_ = reinterpret_cast<SetInfo>(Proc("NetUserSetInfo"));
        free_ = reinterpret_cast<BufferFree>(Proc("NetApiBufferFree"));
    }
    ~SimApi()
    {
        if (module_)
            FreeLibrary(module_);
    }
    bool Ok() const
    {
        return queryDisplay_ && getInfo_ && setInfo_ && free_;
    }

    // The users in the order the platform lists them, with their relative ids.
    std::vector<std::pair<std::wstring, DWORD>> DisplayUsers() const
    {
        std::vector<std::pair<std::wstring, DWORD>> users;
        DWORD index = 0;
        NET_API_STATUS status;
        do {
            DWORD count = 0;
            void* buffer = nullptr;
            status = queryDisplay_(nullptr, 1, index, 100, MAX_PREFERRED_LENGTH, &count, &buffer);
            if (status != NERR_Success && status != ERROR_MORE_DATA)
                break;
            NET_DISPLAY_USER* records = static_cast<NET_DISPLAY_USER*>(buffer);
            for (DWORD i = 0; i < count; ++i) {
                users.emplace_back(records[i].usri1_name, records[i].usri1_user_id);
                index = records[i].usri1_next_index;
            }
            free_(buffer);
            if (count == 0)
                break;
        } while (status == ERROR_MORE_DATA);
        return users;
    }

    bool SetFlags(const wchar_t* user, DWORD addFlags)
    {
        void* buffer = nullptr;
        if (getInfo_(nullptr, user, 1, &buffer) != NERR_Success)
            return false;
        USER_INFO_1008 flags = {static_cast<USER_INFO_1*>(buffer)->usri1_flags | addFlags};
        free_(buffer);
        return setInfo_(nullptr, user, 1008, &flags, nullptr) == NERR_Success;
    }

    bool SetAccountExpires(const wchar_t* user, DWORD when)
    {
        USER_INFO_1017 expiry = {when};
        return setInfo_(nullptr, user, 1017, &expiry, nullptr) == NERR_Success;
    }

private:
    using QueryDisplay = NET_API_STATUS(WINAPI*)(LPCWSTR, DWORD, DWORD, DWORD, DWORD, LPDWORD,
                                                 PVOID*);
    using GetInfo = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPVOID*);
    using SetInfo = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPVOID, LPDWORD);
    using BufferFree = NET_API_STATUS(WINAPI*)(LPVOID);

    void* Proc(const char* name) const
    {
        return reinterpret_cast<void*>(GetProcAddress(module_, name));
    }

    HMODULE module_ = nullptr;
    QueryDisplay queryDisplay_ = nullptr;
    GetInfo getInfo_ = nullptr;
    SetInfo setInfo_ = nullptr;
    BufferFree free_ = nullptr;
};

} // namespace ambtest
