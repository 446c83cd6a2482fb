// ADVAPI32's LSA policy functions, as far as a program asks a computer for its
// account domain: LsaOpenPolicy, LsaQueryInformationPolicy with
// PolicyAccountDomainInformation, LsaFreeMemory and LsaClose.
#include <windows.h>
#define WIN32_NO_STATUS
#include <ntsecapi.h>
#undef WIN32_NO_STATUS
#include <ntstatus.h>

#include "api.h"

using namespace ambsim;

namespace {

constexpr DWORD kPolicyMagic = 0x4C534150; // "PASL"

// An open policy handle: the computer it was opened on and the access granted.
// The computer is found again by name on every call, so that a handle outlives
// changes of the world as a real one outlives changes of the database.
struct PolicyHandle
{
    DWORD magic;
    ACCESS_MASK granted;
    wchar_t computer[256]; // "" for the local computer
};

// The generic rights of the policy object (ntsecapi.h; "Policy Object Access
// Rights" on Microsoft's reference pages).
ACCESS_MASK MapGenericPolicyRights(ACCESS_MASK desired)
{
    ACCESS_MASK mapped =
        desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED))
        mapped |= POLICY_ALL_ACCESS;
    if (desired & GENERIC_READ)
        mapped |= POLICY_READ;
    if (desired & GENERIC_WRITE)
        mapped |= POLICY_WRITE;
    if (desired & GENERIC_EXECUTE)
        mapped |= POLICY_EXECUTE;
    return mapped;
}

// What any user may open the policy for; everything else needs an elevated
// administrator, as LookupAccountNameW works for everyone while the reference
// page of LsaOpenPolicy asks for "As Administrator" in general.
constexpr ACCESS_MASK kEveryoneRights = POLICY_VIEW_LOCAL_INFORMATION | POLICY_LOOKUP_NAMES;

// The Win32 statuses of the store and of the server-name rules as the LSA RPC
// interface reports them (NTSTATUS). An injected fault may name an NTSTATUS
// itself (0xC...).
NTSTATUS ToNtStatus(DWORD status)
{
    switch (status) {
    case 0:
        return STATUS_SUCCESS;
    case ERROR_ACCESS_DENIED:
        return STATUS_ACCESS_DENIED;
    case RPC_S_SERVER_UNAVAILABLE:
        return RPC_NT_SERVER_UNAVAILABLE;
    case RPC_S_INVALID_NET_ADDR:
        return RPC_NT_INVALID_NET_ADDR;
    case ERROR_NOT_ENOUGH_MEMORY:
        return STATUS_NO_MEMORY;
    case ERROR_INVALID_PARAMETER:
        return STATUS_INVALID_PARAMETER;
    case ERROR_INVALID_HANDLE:
        return STATUS_INVALID_HANDLE;
    // The logon behind a remote call (LsaNtStatusToWinError maps them back).
    case ERROR_LOGON_FAILURE:
        return STATUS_LOGON_FAILURE;
    case ERROR_ACCOUNT_RESTRICTION:
        return STATUS_ACCOUNT_RESTRICTION;
    case ERROR_ACCOUNT_DISABLED:
        return STATUS_ACCOUNT_DISABLED;
    case ERROR_ACCOUNT_LOCKED_OUT:
        return STATUS_ACCOUNT_LOCKED_OUT;
    case ERROR_ACCOUNT_EXPIRED:
        return STATUS_ACCOUNT_EXPIRED;
    case ERROR_PASSWORD_MUST_CHANGE:
        return STATUS_PASSWORD_MUST_CHANGE;
    case ERROR_PASSWORD_EXPIRED:
        return STATUS_PASSWORD_EXPIRED;
    case ERROR_INVALID_LOGON_HOURS:
        return STATUS_INVALID_LOGON_HOURS;
    case ERROR_NO_LOGON_SERVERS:
        return STATUS_NO_LOGON_SERVERS;
    default:
        return (status & 0xC0000000u) == 0xC0000000u ? static_cast<NTSTATUS>(status)
                                                     : STATUS_UNSUCCESSFUL;
    }
}

// The computer a policy handle names, with the rights a call needs checked.
DWORD OpenComputer(const World& w, LPCWSTR name, ACCESS_MASK rights, const Computer*& c)
{
    DWORD status = TargetComputer(w, name, ServerErrors::Lookup, c);
    if (status != 0)
        return status;
    return CheckAccess(w, *c, name, Interface::Lsa, (rights & ~kEveryoneRights) != 0);
}

PolicyHandle* ValidHandle(LSA_HANDLE handle)
{
    auto* policy = static_cast<PolicyHandle*>(handle);
    if (policy == nullptr || policy->magic != kPolicyMagic)
        return nullptr;
    return policy;
}

// POLICY_ACCOUNT_DOMAIN_INFO with its name and SID in the same block, freed
// with LsaFreeMemory.
DWORD PackAccountDomainInfo(const Computer& c, PVOID* buffer)
{
    std::vector<BYTE> sid;
    if (!SidToBinary(c.domainSid, sid))
        return ERROR_INVALID_SID;
    size_t nameBytes = c.name.size() * sizeof(wchar_t);
    size_t bytes = sizeof(POLICY_ACCOUNT_DOMAIN_INFO) + nameBytes + sizeof(wchar_t) + sid.size();
    BYTE* block = AllocReturnBuffer(bytes);
    if (block == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    auto* info = reinterpret_cast<POLICY_ACCOUNT_DOMAIN_INFO*>(block);
    auto* name = reinterpret_cast<wchar_t*>(block + sizeof(POLICY_ACCOUNT_DOMAIN_INFO));
    memcpy(name, c.name.c_str(), nameBytes + sizeof(wchar_t));
    BYTE* sidCopy = block + sizeof(POLICY_ACCOUNT_DOMAIN_INFO) + nameBytes + sizeof(wchar_t);
    memcpy(sidCopy, sid.data(), sid.size());
    info->DomainName.Buffer = name;
    info->DomainName.Length = static_cast<USHORT>(nameBytes);
    info->DomainName.MaximumLength = static_cast<USHORT>(nameBytes + sizeof(wchar_t));
    info->DomainSid = sidCopy;
    *buffer = info;
    return 0;
}

} // namespace

extern "C" NTSTATUS WINAPI AmbSim_LsaOpenPolicy(PLSA_UNICODE_STRING systemName,
                                                PLSA_OBJECT_ATTRIBUTES attributes,
                                                ACCESS_MASK desiredAccess, PLSA_HANDLE handle)
{
    if (handle == nullptr || attributes == nullptr)
        return STATUS_INVALID_PARAMETER;
    *handle = nullptr;
    std::wstring name;
    if (systemName != nullptr && systemName->Buffer != nullptr)
        name.assign(systemName->Buffer, systemName->Length / sizeof(wchar_t));
    if (name.size() >= 256)
        return RPC_NT_INVALID_NET_ADDR;
    ACCESS_MASK granted = MapGenericPolicyRights(desiredAccess);
    DWORD status = Guard([&]() -> DWORD {
        return ReadWorldFor(L"LsaOpenPolicy", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            return OpenComputer(w, name.c_str(), granted, c);
        });
    });
    if (status != 0)
        return ToNtStatus(status);
    auto* policy = reinterpret_cast<PolicyHandle*>(AllocReturnBuffer(sizeof(PolicyHandle)));
    if (policy == nullptr)
        return STATUS_NO_MEMORY;
    policy->magic = kPolicyMagic;
    policy->granted = granted;
    memcpy(policy->computer, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    *handle = policy;
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS WINAPI AmbSim_LsaQueryInformationPolicy(LSA_HANDLE handle,
                                                            POLICY_INFORMATION_CLASS infoClass,
                                                            PVOID* buffer)
{
    PolicyHandle* policy = ValidHandle(handle);
    if (policy == nullptr)
        return STATUS_INVALID_HANDLE;
    if (buffer == nullptr)
        return STATUS_INVALID_PARAMETER;
    *buffer = nullptr;
    // Only the account domain is simulated; the other classes are refused
    // rather than answered with invented values.
    if (infoClass != PolicyAccountDomainInformation)
        return STATUS_NOT_IMPLEMENTED;
    // Reference page of LsaQueryInformationPolicy: PolicyAccountDomainInformation
    // needs POLICY_VIEW_LOCAL_INFORMATION on the handle.
    if ((policy->granted & POLICY_VIEW_LOCAL_INFORMATION) == 0)
        return STATUS_ACCESS_DENIED;
    DWORD status = Guard([&]() -> DWORD {
        return ReadWorldFor(L"LsaQueryInformationPolicy", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD opened = OpenComputer(w, policy->computer, policy->granted, c);
            return opened != 0 ? opened : PackAccountDomainInfo(*c, buffer);
        });
    });
    return ToNtStatus(status);
}

extern "C" NTSTATUS WINAPI AmbSim_LsaFreeMemory(PVOID buffer)
{
    if (buffer != nullptr)
        HeapFree(GetProcessHeap(), 0, buffer);
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS WINAPI AmbSim_LsaClose(LSA_HANDLE handle)
{
    PolicyHandle* policy = ValidHandle(handle);
    if (policy == nullptr)
        return STATUS_INVALID_HANDLE;
    // Closing is a round trip to the computer too (LsarClose).
    Guard([&]() -> DWORD {
        return ReadWorld([&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            if (TargetComputer(w, policy->computer, ServerErrors::Lookup, c) == 0)
                NoteRoundTrip(*c);
            return 0;
        });
    });
    policy->magic = 0;
    HeapFree(GetProcessHeap(), 0, policy);
    return STATUS_SUCCESS;
}
