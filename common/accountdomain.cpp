#include "accountdomain.h"

#include <ntsecapi.h>

#include <cwchar>

namespace {

// The domain name of the record, which need not be terminated.
DWORD CopyDomainName(const POLICY_ACCOUNT_DOMAIN_INFO* info, LPWSTR buffer, size_t chars)
{
    if (info == nullptr || info->DomainName.Buffer == nullptr || info->DomainName.Length == 0)
        return ERROR_NO_SUCH_DOMAIN;
    size_t length = info->DomainName.Length / sizeof(WCHAR);
    if (length >= chars)
        return ERROR_INSUFFICIENT_BUFFER;
    wmemcpy(buffer, info->DomainName.Buffer, length);
    buffer[length] = L'\0';
    return 0;
}

// Opens the policy of `server` and reads its account-domain record; the caller
// frees *info with LsaFreeMemory. Returns 0 or the Win32 status.
DWORD QueryAccountDomain(LPCWSTR server, POLICY_ACCOUNT_DOMAIN_INFO** info)
{
    *info = nullptr;
    size_t serverLength = server != nullptr ? wcslen(server) : 0;
    // A counted string holds at most 32,767 characters.
    if (serverLength > 0x7FFE)
        return ERROR_INVALID_NAME;
    LSA_UNICODE_STRING system = {};
    system.Buffer = const_cast<PWSTR>(server);
    system.Length = static_cast<USHORT>(serverLength * sizeof(WCHAR));
    system.MaximumLength = system.Length;
    // The reference page: the members are not used and must be zero.
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    NTSTATUS status = LsaOpenPolicy(serverLength > 0 ? &system : nullptr, &attributes,
                                    POLICY_VIEW_LOCAL_INFORMATION, &policy);
    if (status != 0)
        return LsaNtStatusToWinError(status);
    status = LsaQueryInformationPolicy(policy, PolicyAccountDomainInformation,
                                       reinterpret_cast<PVOID*>(info));
    LsaClose(policy);
    if (status != 0) {
        *info = nullptr;
        return LsaNtStatusToWinError(status);
    }
    return 0;
}

} // namespace

DWORD GetAccountDomainName(LPCWSTR server, LPWSTR buffer, size_t chars)
{
    if (buffer == nullptr || chars == 0)
        return ERROR_INVALID_PARAMETER;
    buffer[0] = L'\0';
    POLICY_ACCOUNT_DOMAIN_INFO* info = nullptr;
    DWORD result = QueryAccountDomain(server, &info);
    if (result == 0)
        result = CopyDomainName(info, buffer, chars);
    if (result != 0)
        buffer[0] = L'\0';
    if (info != nullptr)
        LsaFreeMemory(info);
    return result;
}

DWORD GetAccountDomainSid(LPCWSTR server, PSID* sid, LPWSTR name, size_t chars)
{
    if (sid == nullptr || name == nullptr || chars == 0)
        return ERROR_INVALID_PARAMETER;
    *sid = nullptr;
    name[0] = L'\0';
    POLICY_ACCOUNT_DOMAIN_INFO* info = nullptr;
    DWORD result = QueryAccountDomain(server, &info);
    if (result == 0)
        result = CopyDomainName(info, name, chars);
    if (result == 0 && (info->DomainSid == nullptr || !IsValidSid(info->DomainSid)))
        result = ERROR_NO_SUCH_DOMAIN;
    if (result == 0) {
        DWORD size = GetLengthSid(info->DomainSid);
        *sid = LocalAlloc(LPTR, size);
        if (*sid == nullptr || !CopySid(size, *sid, info->DomainSid))
            result = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (result != 0) {
        if (*sid != nullptr)
            LocalFree(*sid);
        *sid = nullptr;
        name[0] = L'\0';
    }
    if (info != nullptr)
        LsaFreeMemory(info);
    return result;
}
