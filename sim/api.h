// Helpers shared by the exported functions: return buffers, server names,
// access checks and the guard that keeps exceptions inside the DLL.
#pragma once

#include <windows.h>
#include <lm.h>

#include <new>
#include <string>
#include <vector>

#include "simcore.h"

namespace ambsim {

// ---- buffers returned to the caller (freed with NetApiBufferFree) ----
BYTE* AllocReturnBuffer(size_t bytes);

// Lays out an array of fixed-size records followed by the strings and SIDs they
// point to, all in one block. Run once without a base to measure, then to fill.
class Packer
{
public:
    Packer(BYTE* base, size_t offset) : base_(base), offset_(offset) {}
    LPWSTR Str(const std::wstring& s);
    LPWSTR OptStr(const std::wstring* s)
    {
        return s ? Str(*s) : nullptr;
    }
    BYTE* Bytes(const void* data, size_t n);
    PSID Sid(const std::wstring& text);
    size_t End() const
    {
        return offset_;
    }

private:
    BYTE* base_;
    size_t offset_;
};

using FillEntry = void (*)(Packer&, const void* context, size_t index, BYTE* entry);

// Size of entry `index` alone (record plus its strings).
size_t MeasureEntry(size_t entrySize, FillEntry fill, const void* context, size_t index);
// Packs entries [first, first+count) into one new buffer.
DWORD PackEntries(size_t entrySize, FillEntry fill, const void* context, size_t first, size_t count,
                  LPBYTE* out);
// How many entries from `first` fit in `prefmaxlen` bytes (at least one when any remain).
size_t EntriesThatFit(size_t entrySize, FillEntry fill, const void* context, size_t first,
                      size_t total, DWORD prefmaxlen);

// ---- server names ----
enum class ServerErrors { NetApi, Lookup };
// Finds the computer that a server-name argument addresses: null, "" or the local
// name for the local computer, "\\name", "name" or an address for another one.
DWORD TargetComputer(World& w, LPCWSTR server, ServerErrors errors, Computer*& out);
DWORD TargetComputer(const World& w, LPCWSTR server, ServerErrors errors, const Computer*& out);

// ---- logons and rights ----
// What checking a password found, and so what it changes on the account.
struct PasswordCheck
{
    bool bad = false;       // a bad password: counts toward lock-out
    bool lockEnded = false; // a lock-out that has run its duration ends
    bool loggedOn = false;  // a logon completed: the bad-password count clears
};
// ERROR_ACCOUNT_LOCKED_OUT, ERROR_LOGON_FAILURE or 0; changes nothing.
DWORD CheckPassword(const Computer& c, const User& u, const std::wstring& password, int64_t now,
                    PasswordCheck& check);
void ApplyPasswordCheck(const Computer& c, User& u, const PasswordCheck& check, int64_t now);
// The account's restrictions once the password is right, in Windows' order.
DWORD AccountRestrictions(const Computer& c, const User& u, const std::wstring& password,
                          int64_t now, bool blankLimited);

enum class IdentitySource { Connection, Credential, PassThrough };
struct Identity
{
    std::wstring user, password;
    IdentitySource source;
};
// The network token a target computer makes for a caller it has logged on.
struct Token
{
    std::wstring user;
    std::vector<std::wstring> sids; // the user and its domain groups
    bool admin = false;             // in the target's Administrators
    bool full = false;              // not filtered by remote UAC
};
// Who a call to `server` arrives as: connection, stored credential, pass-through.
Identity CallerIdentity(const World& w, const Session& s, LPCWSTR server);
// The target's check of a network logon; a change it makes to the account is
// written by FlushLogonRecord once the call is done.
DWORD NetworkLogon(const World& w, const Computer& target, const Identity& id, Token& token);
void ForgetLogonRecord();
void FlushLogonRecord();

enum class Interface { Sam, Lsa };
// Whether the caller may make this call on computer `c`, named `server` as the
// caller gave it. Locally: reads need nothing, changes an elevated administrator.
// Remotely: the network logon, then the target's rights (remote UAC, RestrictRemoteSAM).
DWORD CheckAccess(const World& w, const Computer& c, LPCWSTR server, Interface via, bool change);
// A change of the accounts of the computer `server` names, when the caller may
// change them there (CheckAccess over SAM): all or nothing, and only that
// computer's document is written.
DWORD ChangeAt(const wchar_t* function, LPCWSTR server,
               const std::function<DWORD(const World&, Computer*)>& change);
// The session of this process (inherited from the starting process or the world's).
Session CurrentSession(const World& w);
extern const wchar_t kSessionVariable[]; // AMBRELLE_SIM_SESSION: "name;admin;elevated"

std::wstring Str(LPCWSTR s); // null -> ""

// ---- network latency ----
// A call that reached a computer notes its round trip; the call waits it out
// once it is done, outside the store's lock, so that a slow computer holds up
// its caller and no other process.
void NoteRoundTrip(const Computer& c);
void NoteWait(DWORD ms); // a wait of its own (a connect time-out)
void ForgetRoundTrip();
void WaitRoundTrip();

template <class F> DWORD Guard(F f)
{
    ForgetRoundTrip();
    ForgetLogonRecord();
    DWORD status;
    try {
        status = f();
        FlushLogonRecord();
    } catch (const std::bad_alloc&) {
        status = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        status = NERR_InternalError;
    }
    WaitRoundTrip();
    return status;
}

// Current time as the API's 32-bit seconds since 1970.
inline DWORD Seconds(int64_t t)
{
    return t <= 0 ? 0 : (t > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<DWORD>(t));
}

} // namespace ambsim
