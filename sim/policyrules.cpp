// The ranges and rules of the account policy, shared by NetUserModalsSet and
// AmbSimCtl so that the world never holds a policy Windows would refuse.
#include "simcore.h"

#include <lm.h>

namespace ambsim {

namespace {
// Reference pages are silent on the lock-out's ranges; the local security
// policy editor takes 0-999 bad passwords and 1-99999 minutes, the strictest
// answer Windows gives, so the stand-in takes no more.
constexpr DWORD kMaxLockoutThreshold = 999;
constexpr DWORD kMaxLockoutSeconds = 99999u * 60u;

bool LockoutTimeValid(DWORD seconds)
{
    return seconds >= 1 && seconds <= kMaxLockoutSeconds;
}
} // namespace

// USER_MODALS_INFO_0: minimum length 0 through LM20_PWLEN; maximum age
// TIMEQ_FOREVER or at least ONE_DAY and not below the minimum age; history 0
// through DEF_MAX_PWHIST. USER_MODALS_INFO_3: a duration of TIMEQ_FOREVER locks
// until an administrator unlocks; the observation window may not be longer than
// a duration that ends (MS-SAMR SamrSetInformationDomain,
// DomainLockoutInformation). Returns the MODALS_*_PARMNUM of the first value
// that breaks a rule, or 0.
DWORD PolicyParmError(const Policy& p)
{
    if (p.minLength > LM20_PWLEN)
        return MODALS_MIN_PASSWD_LEN_PARMNUM;
    if (p.maxAge != kTimeqForever && p.maxAge < ONE_DAY)
        return MODALS_MAX_PASSWD_AGE_PARMNUM;
    if (p.maxAge != kTimeqForever && p.minAge > p.maxAge)
        return MODALS_MIN_PASSWD_AGE_PARMNUM;
    if (p.historyLength > DEF_MAX_PWHIST)
        return MODALS_PASSWD_HIST_LEN_PARMNUM;
    if (p.lockoutDuration != kTimeqForever && !LockoutTimeValid(p.lockoutDuration))
        return MODALS_LOCKOUT_DURATION_PARMNUM;
    if (!LockoutTimeValid(p.lockoutWindow) ||
        (p.lockoutDuration != kTimeqForever && p.lockoutWindow > p.lockoutDuration))
        return MODALS_LOCKOUT_OBSERVATION_WINDOW_PARMNUM;
    if (p.lockoutThreshold > kMaxLockoutThreshold)
        return MODALS_LOCKOUT_THRESHOLD_PARMNUM;
    return 0;
}

} // namespace ambsim
