#pragma once
#include <windows.h>

#include <cstddef>

#include "accountreport.h"

// The password and lock-out policy of a computer (NetUserModalsGet and
// NetUserModalsSet, levels 0 and 3), its rules, and its texts for people and
// for programs. Ambgui's policy dialog, Ambcmd /policy and the account
// report's policy file share it.

// In seconds as the platform keeps them; TIMEQ_FOREVER where it means "never".
struct AccountPolicy
{
    DWORD minLength = 0;
    DWORD maxAge = 0;
    DWORD minAge = 0;
    DWORD forceLogoff = 0; // not shown, written back as read
    DWORD history = 0;
    DWORD threshold = 0;
    DWORD duration = 0;
    DWORD window = 0;
};

// The seven values an administrator sets, in the order `net accounts` lists them.
enum PolicyValue {
    PolicyMinAge,
    PolicyMaxAge,
    PolicyMinLength,
    PolicyHistory,
    PolicyThreshold,
    PolicyDuration,
    PolicyWindow,
    PolicyValueCount
};

// A value in the units people use (days, minutes, counts); PolicyUnlimited for
// a maximum age that never ends and a lock-out that lasts until an
// administrator unlocks the account.
constexpr DWORD PolicyUnlimited = 0xFFFFFFFF;

struct PolicyRange
{
    DWORD min;
    DWORD max;
    bool unlimitedAllowed;
};
// The ranges of the local security policy and `net accounts`, within what
// NetUserModalsSet accepts (USER_MODALS_INFO_0: length up to LM20_PWLEN,
// history up to DEF_MAX_PWHIST, maximum age at least a day).
PolicyRange PolicyValueRange(PolicyValue value);
// The caption of a value, as in the dialog, the lists and the report.
const wchar_t* PolicyValueLabel(PolicyValue value);

DWORD GetPolicyValue(const AccountPolicy& policy, PolicyValue value);
void SetPolicyValue(AccountPolicy* policy, PolicyValue value, DWORD units);
// Whether value is stored at level 0 (password) or 3 (lock-out).
bool IsLockoutValue(PolicyValue value);

// Checks the rules NetUserModalsSet enforces before anything is written: each
// value in its range, the minimum age at most the maximum age, the observation
// window at most a lock-out duration that ends. Returns the first value that
// breaks a rule (PolicyValueCount: none); for a rule between two values,
// *other is the second (else PolicyValueCount).
PolicyValue FindPolicyProblem(const AccountPolicy& policy, PolicyValue* other);
// The message for that problem: "..." naming the value(s) and the rule.
void DescribePolicyProblem(const AccountPolicy& policy, PolicyValue value, PolicyValue other,
                           wchar_t* buffer, size_t chars);

// Both levels of the computer `server` (null: this computer).
DWORD ReadAccountPolicy(LPCWSTR server, AccountPolicy* policy);
// Writes level 0 when a password value changed and level 3 when a lock-out
// value changed, against what `before` holds. *parmErr gets the platform's
// parm_err of a refused level.
DWORD WriteAccountPolicy(LPCWSTR server, const AccountPolicy& before, const AccountPolicy& after,
                         DWORD* parmErr);

// A value as people read it: the number, or "無期限" / "なし".
void FormatPolicyValue(const AccountPolicy& policy, PolicyValue value, wchar_t* buffer,
                       size_t chars);

// The policy of several computers as one table, UTF-16, from the process heap
// (LocalFree): CSV or TSV with a header row and a computer column first, or a
// JSON array of objects (lower camel case keys; numbers, null for unlimited).
struct PolicyRow
{
    LPCWSTR computer;
    const AccountPolicy* policy; // null: the computer did not answer (no row)
};
LPWSTR FormatPolicyTable(const PolicyRow* rows, size_t count, ReportFormat format, bool crlf);

// The policy file beside an account report: "NAME.policy.EXT" for "NAME.EXT".
bool PolicyReportPath(LPCWSTR reportPath, LPWSTR buffer, size_t chars);
// Writes text as UTF-8 with a byte-order mark, whole or not at all.
DWORD WritePolicyReport(LPCWSTR path, LPCWSTR text);
