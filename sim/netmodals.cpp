// NETAPI32's user-modals functions at levels 0 (password policy) and 3
// (lock-out policy): the account policy of a computer's SAM domain.
#include "api.h"

using namespace ambsim;

namespace {

template <class W, class C> DWORD Open(W& w, LPCWSTR server, bool change, C*& c)
{
    DWORD status = TargetComputer(w, server, ServerErrors::NetApi, c);
    if (status != 0)
        return status;
    return CheckAccess(w, *c, server, Interface::Sam, change);
}

DWORD Invalid(LPDWORD parmErr, DWORD parm)
{
    if (parmErr != nullptr)
        *parmErr = parm;
    return ERROR_INVALID_PARAMETER;
}

template <class Info> DWORD ReturnInfo(const Info& info, LPBYTE* bufptr)
{
    BYTE* block = AllocReturnBuffer(sizeof(Info));
    if (block == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(block, &info, sizeof(Info));
    *bufptr = block;
    return NERR_Success;
}

void FillLevel0(const Policy& p, USER_MODALS_INFO_0& info)
{
    info.usrmod0_min_passwd_len = p.minLength;
    info.usrmod0_max_passwd_age = p.maxAge;
    info.usrmod0_min_passwd_age = p.minAge;
    info.usrmod0_force_logoff = p.forceLogoff;
    info.usrmod0_password_hist_len = p.historyLength;
}

void FillLevel3(const Policy& p, USER_MODALS_INFO_3& info)
{
    info.usrmod3_lockout_duration = p.lockoutDuration;
    info.usrmod3_lockout_observation_window = p.lockoutWindow;
    info.usrmod3_lockout_threshold = p.lockoutThreshold;
}

// A level's values over the computer's policy: the other level's stay.
Policy WithLevel(const Policy& current, DWORD level, const BYTE* buf)
{
    Policy p = current;
    if (level == 0) {
        const auto* info = reinterpret_cast<const USER_MODALS_INFO_0*>(buf);
        p.minLength = info->usrmod0_min_passwd_len;
        p.maxAge = info->usrmod0_max_passwd_age;
        p.minAge = info->usrmod0_min_passwd_age;
        p.forceLogoff = info->usrmod0_force_logoff;
        p.historyLength = info->usrmod0_password_hist_len;
    } else {
        const auto* info = reinterpret_cast<const USER_MODALS_INFO_3*>(buf);
        p.lockoutDuration = info->usrmod3_lockout_duration;
        p.lockoutWindow = info->usrmod3_lockout_observation_window;
        p.lockoutThreshold = info->usrmod3_lockout_threshold;
    }
    return p;
}

} // namespace

// The reference page documents levels 0 to 3; the logon-server and domain
// levels 1 and 2 are not simulated and give ERROR_INVALID_LEVEL.
extern "C" NET_API_STATUS WINAPI AmbSim_NetUserModalsGet(LPCWSTR server, DWORD level,
                                                         LPBYTE* bufptr)
{
    return Guard([&]() -> DWORD {
        if (bufptr == nullptr)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        if (level != 0 && level != 3)
            return ERROR_INVALID_LEVEL;
        return ReadWorldFor(L"NetUserModalsGet", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            if (level == 0) {
                USER_MODALS_INFO_0 info = {};
                FillLevel0(c->policy, info);
                return ReturnInfo(info, bufptr);
            }
            USER_MODALS_INFO_3 info = {};
            FillLevel3(c->policy, info);
            return ReturnInfo(info, bufptr);
        });
    });
}

// Writes a whole level or nothing: the first value that breaks a rule is
// ERROR_INVALID_PARAMETER with its MODALS_*_PARMNUM in parm_err. The one-field
// levels 1001-1007 are not simulated.
extern "C" NET_API_STATUS WINAPI AmbSim_NetUserModalsSet(LPCWSTR server, DWORD level, LPBYTE buf,
                                                         LPDWORD parm_err)
{
    return Guard([&]() -> DWORD {
        if (level != 0 && level != 3)
            return ERROR_INVALID_LEVEL;
        if (buf == nullptr)
            return Invalid(parm_err, PARM_ERROR_UNKNOWN);
        return WriteWorldFor(L"NetUserModalsSet", [&](World& w) -> DWORD {
            Computer* c = nullptr;
            DWORD status = Open(w, server, true, c);
            if (status != 0)
                return status;
            Policy p = WithLevel(c->policy, level, buf);
            DWORD parm = PolicyParmError(p);
            if (parm != 0)
                return Invalid(parm_err, parm);
            c->policy = p;
            return 0;
        });
    });
}
