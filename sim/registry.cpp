// RegGetValueW for the three values of the local computer that decide whether
// other computers may manage it over the network; every other value is read
// from Wine's registry by the real advapi32 function.
//   LocalAccountTokenFilterPolicy (REG_DWORD, KB951016) under
//     HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System,
//   RestrictRemoteSAM (REG_SZ, an SDDL) and LimitBlankPasswordUse (REG_DWORD)
//     under HKLM\SYSTEM\CurrentControlSet\Control\Lsa.
// A value left at Windows' default is absent (ERROR_FILE_NOT_FOUND), as on a
// freshly installed Windows, where each of them only exists once set.
#include "api.h"

#include <cstring>

using namespace ambsim;

namespace {
const wchar_t SystemPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t LsaKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Lsa";
// RestrictRemoteSAM when the computer lets any authenticated caller reach its
// SAM remotely, as before Windows 10 1607 (read control for Authenticated Users).
const wchar_t UnrestrictedSamSddl[] = L"O:BAG:BAD:(A;;RC;;;AU)";

bool SameText(LPCWSTR a, const wchar_t* b)
{
    return a != nullptr && CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

enum class SimValue { None, TokenFilterPolicy, RestrictRemoteSam, LimitBlankPasswordUse };

SimValue SimulatedValue(HKEY key, LPCWSTR subKey, LPCWSTR value)
{
    if (key != HKEY_LOCAL_MACHINE)
        return SimValue::None;
    if (SameText(subKey, SystemPolicyKey) && SameText(value, L"LocalAccountTokenFilterPolicy"))
        return SimValue::TokenFilterPolicy;
    if (SameText(subKey, LsaKey) && SameText(value, L"RestrictRemoteSAM"))
        return SimValue::RestrictRemoteSam;
    if (SameText(subKey, LsaKey) && SameText(value, L"LimitBlankPasswordUse"))
        return SimValue::LimitBlankPasswordUse;
    return SimValue::None;
}

// The RRF_RT_* bit that admits a value of that type.
DWORD TypeFlag(DWORD type)
{
    return type == REG_DWORD ? RRF_RT_REG_DWORD : RRF_RT_REG_SZ;
}

// Hands a value out as RegGetValueW does: its type, its size always, its data
// when the buffer holds it (ERROR_MORE_DATA otherwise).
LSTATUS HandOut(DWORD type, const void* data, DWORD bytes, DWORD flags, LPDWORD outType,
                PVOID buffer, LPDWORD size)
{
    if ((flags & TypeFlag(type)) == 0)
        return ERROR_UNSUPPORTED_TYPE;
    if (outType != nullptr)
        *outType = type;
    if (buffer != nullptr && (size == nullptr || *size < bytes)) {
        if (size != nullptr)
            *size = bytes;
        return ERROR_MORE_DATA;
    }
    if (buffer != nullptr)
        memcpy(buffer, data, bytes);
    if (size != nullptr)
        *size = bytes;
    return ERROR_SUCCESS;
}
} // namespace

extern "C" LSTATUS WINAPI AmbSim_RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags,
                                              LPDWORD type, PVOID data, LPDWORD size)
{
    SimValue which = SimulatedValue(key, subKey, value);
    if (which == SimValue::None)
        return RegGetValueW(key, subKey, value, flags, type, data, size);
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    DWORD dword = 0;
    bool present = false;
    DWORD status = Guard([&]() -> DWORD {
        return ReadWorldFor(L"RegGetValueW", [&](const World& w) -> DWORD {
            const Computer& c = w.Local();
            switch (which) {
            case SimValue::TokenFilterPolicy:
                present = c.tokenFilterPolicy != 0;
                dword = c.tokenFilterPolicy;
                break;
            case SimValue::RestrictRemoteSam:
                present = !c.restrictRemoteSam;
                break;
            case SimValue::LimitBlankPasswordUse:
                present = !c.limitBlankPasswordUse;
                dword = 0;
                break;
            case SimValue::None:
                break;
            }
            return 0;
        });
    });
    if (status != 0)
        return static_cast<LSTATUS>(status);
    if (!present)
        return ERROR_FILE_NOT_FOUND;
    if (which == SimValue::RestrictRemoteSam)
        return HandOut(REG_SZ, UnrestrictedSamSddl, sizeof(UnrestrictedSamSddl), flags, type, data,
                       size);
    return HandOut(REG_DWORD, &dword, sizeof(dword), flags, type, data, size);
}
