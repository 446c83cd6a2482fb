// AmbSimCtl: sets up and inspects the simulated world (./ambrelle sim ...).
// It works on the world folder named by AMBRELLE_SIM_DIR, through the same store
// as AmbSim.dll, and is not bound by the session's rights: it is the world's
// own administration.
#include <windows.h>
#include <lm.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "simcore.h"

using namespace ambsim;

namespace {

const char kHelp[] =
    "AmbSimCtl - controls the simulated Windows account database (AmbSim.dll).\n"
    "The world lives in the folder AMBRELLE_SIM_DIR (a Unix path is mapped to Z:).\n"
    "\n"
    "Usage: AmbSimCtl COMMAND [ARGUMENTS]\n"
    "\n"
    "  reset [--computer NAME] [--user NAME] [--password P] [--entra]\n"
    "      Fresh world: local computer NAME (AMBPC01) with Windows' built-in users\n"
    "      and BUILTIN groups, and the ordinary user NAME (kanri), a member of\n"
    "      Administrators and the session user (administrator, elevated).\n"
    "      --entra: set up as an Entra-joined Windows 11 computer: two Entra ID\n"
    "      SIDs (S-1-12-1-...) in Administrators and the user hanak linked to the\n"
    "      Microsoft account hanako.yamada@outlook.jp (Users, Administrators).\n"
    "  dump\n"
    "      The whole world as JSON on standard output: the local computer's users\n"
    "      (flags, SIDs, groups), groups (members), profiles; \"remotes\" with the\n"
    "      other computers; session, consent, opened targets, launches, faults.\n"
    "  lockout USER [--computer C]          Locks the account out (from now).\n"
    "  last-logon USER TIME [--computer C]  Sets the last logon (TIME: seconds since\n"
    "                                        1970, YYYY-MM-DDTHH:MM:SS UTC, now, never).\n"
    "  policy min-length N [--computer C]   Minimum password length (0-14, default 0).\n"
    "  policy max-age DAYS [--computer C]   Maximum password age (0: unlimited;\n"
    "                                        default 42).\n"
    "  policy min-age DAYS [--computer C]   Minimum password age (default 0).\n"
    "  policy history N [--computer C]      Passwords remembered (0-8, default 0).\n"
    "  policy lockout-threshold N [--duration MIN] [--window MIN] [--computer C]\n"
    "      Bad passwords before lockout (0: never; default 10); --duration: minutes a\n"
    "      lock-out lasts (0: until an administrator unlocks; default 10); --window:\n"
    "      minutes after a bad password when the count starts again (1 up to the\n"
    "      duration; default 10). Options left out keep their values. The values\n"
    "      follow NetUserModalsSet's rules.\n"
    "  session [--user NAME|DOMAIN\\NAME] [--password P] [--admin 0|1]\n"
    "          [--elevated 0|1] [--token-sid SID]...\n"
    "      The session of programs started from now. --password: what pass-through\n"
    "      offers other computers. --token-sid (repeatable, replaces the list): an\n"
    "      extra group SID of the token (an Entra ID role S-1-12-1-...).\n"
    "  computer add NAME [--ip ADDRESS]... [--offline] [OPTIONS]\n"
    "  computer set NAME OPTIONS            (NAME may be the local computer)\n"
    "      A remote computer with the built-in accounts, as Windows 11 sets it up.\n"
    "      --offline: known but does not answer. OPTIONS:\n"
    "      --latency-ms N             every call to it waits N ms (0-10000)\n"
    "      --token-filter-policy 0|1  LocalAccountTokenFilterPolicy (default 0:\n"
    "                                 local administrators but RID 500 are filtered)\n"
    "      --restrict-remote-sam 0|1  RestrictRemoteSAM (default 1: remote SAM calls,\n"
    "                                 reads included, need a full administrator)\n"
    "      --limit-blank-password-use 0|1  blank passwords at the console only (1)\n"
    "      --firewall closed|open     File and Printer Sharing blocked: calls fail\n"
    "                                 (53, 1722) after the connect time-out\n"
    "      --connect-timeout-ms N     that time-out (0-60000, default 3000)\n"
    "      --join DOMAIN              member of DOMAIN (Domain Admins in its\n"
    "                                 Administrators, Domain Users in its Users)\n"
    "  domain add NAME --dc COMPUTER\n"
    "      A domain served by the remote COMPUTER (which joins it), with its own SID,\n"
    "      Administrator and the groups Domain Admins, Domain Users. user, group,\n"
    "      member, lockout and policy take --domain NAME for its accounts.\n"
    "  credential add TARGET --user USER [--password P] | credential del TARGET\n"
    "      A credential of the session user, as cmdkey /add:TARGET stores it.\n"
    "  connection list | connection add \\\\NAME\\IPC$ --user USER [--password P]\n"
    "           | connection del \\\\NAME\\IPC$\n"
    "      The session user's connections (add makes one without a logon).\n"
    "  consent allow|deny                   Answer of the elevation prompt (RunAs).\n"
    "  open succeed|fail                    Result of ShellExecuteW \"Open\".\n"
    "  opened                               Targets given to \"Open\", one per line.\n"
    "  fail FUNCTION CODE [--nth N]         FUNCTION fails with CODE on its Nth call\n"
    "                                        from now (default 1), once.\n"
    "  clock set TIME | clock real          Freezes the world's clock, or follows\n"
    "                                        real time again.\n"
    "  user add NAME [--password P] [--full-name F] [--comment C] [--disabled]\n"
    "           [--microsoft-account ADDRESS] [--computer C | --domain D]\n"
    "      --microsoft-account: the user signs in with that Microsoft account;\n"
    "      MicrosoftAccount\\ADDRESS (S-1-11-96-...) joins Users.\n"
    "  user set NAME [--password P] [--full-name F] [--comment C] [--enable]\n"
    "           [--disable] [--expire-password] [--expires TIME|never]\n"
    "           [--logon-hours HEX42] [--microsoft-account ADDRESS] [--computer C]\n"
    "      --expires: the account expires at TIME (never: 0xFFFFFFFF); 0 is\n"
    "      1970-01-01, an account that has expired, as on Windows.\n"
    "      --logon-hours: the 21 bytes of the weekly bitmap as 42 hex digits.\n"
    "  user del NAME [--computer C]\n"
    "  users add-many COUNT [--prefix P] [--computer C]\n"
    "      COUNT users named P00001, P00002, ... (prefix \"user\").\n"
    "  groups add-many COUNT [--prefix P] [--computer C]\n"
    "      COUNT groups named P1, P2, ... (prefix \"group\").\n"
    "  group add NAME [--comment C] [--computer C]\n"
    "  group rename OLD NEW [--computer C]\n"
    "  member add GROUP ACCOUNT [--computer C]\n"
    "      ACCOUNT: a name or DOMAIN\\name, resolved as Windows resolves it there.\n"
    "  --help                               This text.\n"
    "\n"
    "Exit code 0 on success; 1 with a message on standard error otherwise.\n";

void Write(HANDLE h, const std::string& text)
{
    DWORD done = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
}

void Out(const std::string& text)
{
    Write(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

int Fail(const std::string& message)
{
    Write(GetStdHandle(STD_ERROR_HANDLE), "AmbSimCtl: " + message + "\n");
    return 1;
}

std::string U(const std::wstring& s)
{
    return ToUtf8(s);
}

std::string StatusText(DWORD status)
{
    return "error " + std::to_string(status);
}

// Arguments: positionals and --options (value-taking ones listed).
struct Args
{
    std::vector<std::wstring> positional;
    std::vector<std::pair<std::wstring, std::wstring>> options;
    std::wstring error;

    bool Has(const wchar_t* name) const
    {
        for (const auto& o : options)
            if (o.first == name)
                return true;
        return false;
    }
    std::wstring Get(const wchar_t* name, const std::wstring& fallback = L"") const
    {
        for (const auto& o : options)
            if (o.first == name)
                return o.second;
        return fallback;
    }
    std::vector<std::wstring> All(const wchar_t* name) const
    {
        std::vector<std::wstring> values;
        for (const auto& o : options)
            if (o.first == name)
                values.push_back(o.second);
        return values;
    }
};

Args ParseArgs(int argc, wchar_t** argv, int first, std::initializer_list<const wchar_t*> valued,
               std::initializer_list<const wchar_t*> flags)
{
    Args a;
    for (int i = first; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) {
            bool known = false;
            for (const wchar_t* v : valued) {
                if (arg == v) {
                    if (i + 1 >= argc) {
                        a.error = L"missing value after " + arg;
                        return a;
                    }
                    a.options.emplace_back(arg, argv[++i]);
                    known = true;
                }
            }
            for (const wchar_t* f : flags) {
                if (arg == f) {
                    a.options.emplace_back(arg, L"");
                    known = true;
                }
            }
            if (!known) {
                a.error = L"unknown option " + arg;
                return a;
            }
        } else {
            a.positional.push_back(arg);
        }
    }
    return a;
}

bool ParseNumber(const std::wstring& text, unsigned long long max, unsigned long long& out)
{
    if (text.empty() || text.size() > 20)
        return false;
    unsigned long long v = 0;
    for (wchar_t ch : text) {
        if (ch < L'0' || ch > L'9')
            return false;
        v = v * 10 + static_cast<unsigned>(ch - L'0');
        if (v > max)
            return false;
    }
    out = v;
    return true;
}

bool ParseFlag01(const std::wstring& text, bool& out)
{
    if (text == L"0" || text == L"1") {
        out = text == L"1";
        return true;
    }
    return false;
}

// TIME: seconds since 1970, an ISO date-time in UTC, "now" or "never" (0).
bool ParseTime(const std::wstring& text, int64_t now, int64_t& out)
{
    unsigned long long n = 0;
    if (ParseNumber(text, 0xFFFFFFFFull, n)) {
        out = static_cast<int64_t>(n);
        return true;
    }
    if (text == L"now") {
        out = now;
        return true;
    }
    if (text == L"never") {
        out = 0;
        return true;
    }
    SYSTEMTIME st = {};
    int y, mo, d, h = 0, mi = 0, s = 0;
    if (swscanf(text.c_str(), L"%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) < 3)
        return false;
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return false;
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    out = static_cast<int64_t>(t.QuadPart / 10000000ULL) - 11644473600LL;
    return out >= 0;
}

// The weekly logon-hours bitmap as 42 hex digits, byte 0 first.
bool ParseLogonHours(const std::wstring& hex, std::array<BYTE, 21>& hours)
{
    if (hex.size() != 42)
        return false;
    std::array<BYTE, 21> parsed{};
    for (size_t i = 0; i < hex.size(); ++i) {
        wchar_t ch = hex[i];
        int nibble = ch >= L'0' && ch <= L'9'   ? ch - L'0'
                     : ch >= L'a' && ch <= L'f' ? ch - L'a' + 10
                     : ch >= L'A' && ch <= L'F' ? ch - L'A' + 10
                                                : -1;
        if (nibble < 0)
            return false;
        parsed[i / 2] = static_cast<BYTE>(parsed[i / 2] * 16 + nibble);
    }
    hours = parsed;
    return true;
}

// The computer named by --computer (default: the local one), or the database of
// the domain named by --domain.
Computer* PickComputer(World& w, const Args& a, std::string& error)
{
    if (a.Has(L"--domain")) {
        Computer* d = w.FindDomain(a.Get(L"--domain"));
        if (d == nullptr)
            error = "no such domain: " + U(a.Get(L"--domain"));
        return d;
    }
    if (!a.Has(L"--computer"))
        return &w.Local();
    Computer* c = w.FindComputer(a.Get(L"--computer"));
    if (c == nullptr)
        error = "no such computer: " + U(a.Get(L"--computer"));
    return c;
}

// Runs a change on the world and reports its outcome.
int Change(const std::function<std::string(World&)>& change)
{
    std::string error;
    DWORD status = WriteWorld([&](World& w) -> DWORD {
        error = change(w);
        return error.empty() ? 0 : ERROR_INVALID_PARAMETER;
    });
    if (!error.empty())
        return Fail(error);
    if (status != 0)
        return Fail("the world could not be changed: " + StatusText(status));
    return 0;
}

// A Microsoft account is an e-mail address: something@domain, no spaces,
// not linked to another user of the computer.
std::string LinkToMicrosoftAccount(Computer& c, User& u, const std::wstring& address)
{
    size_t at = address.find(L'@');
    if (address.size() > 254 || at == 0 || at == std::wstring::npos || at + 1 >= address.size() ||
        address.find_first_of(L" \\/;,\"") != std::wstring::npos)
        return "invalid Microsoft account address: " + U(address);
    for (const User& other : c.users)
        if (&other != &u && SameText(other.microsoftAccount, address))
            return "the Microsoft account is linked to another user: " + U(address);
    LinkMicrosoftAccount(c, u, address, false);
    return std::string();
}

std::string AddUser(Computer& c, World& w, const std::wstring& name, const Args& a)
{
    if (CheckUserName(name) != 0)
        return "invalid user name: " + U(name);
    if (c.NameTaken(name))
        return "the name is already in use: " + U(name);
    std::wstring password = a.Get(L"--password");
    if (password.size() < c.policy.minLength)
        return "the password is shorter than the policy's minimum";
    User& u = c.dc.empty() ? AddUserRecord(c, name, w.Now()) : AddDomainUser(c, name, w.Now());
    u.password = password;
    u.fullName = a.Get(L"--full-name");
    u.comment = a.Get(L"--comment");
    if (a.Has(L"--disabled"))
        u.flags |= UF_ACCOUNTDISABLE;
    if (a.Has(L"--microsoft-account"))
        return LinkToMicrosoftAccount(c, u, a.Get(L"--microsoft-account"));
    return std::string();
}

int CmdReset(const Args& a)
{
    if (!a.positional.empty())
        return Fail("reset takes no positional argument");
    std::wstring computer = a.Get(L"--computer", L"AMBPC01");
    std::wstring user = a.Get(L"--user", L"kanri");
    if (computer.empty() || computer.size() > 15 ||
        computer.find_first_of(L"\\/:*?\"<>|. ") != std::wstring::npos)
        return Fail("invalid computer name: " + U(computer));
    if (CheckUserName(user) != 0 || SameText(user, L"Administrator") || SameText(user, L"Guest") ||
        SameText(user, L"DefaultAccount") || SameText(user, L"WDAGUtilityAccount") ||
        Upper(user) == L"NONE")
        return Fail("invalid user name: " + U(user));
    if (a.Has(L"--entra") && SameText(user, L"hanak"))
        return Fail("invalid user name: " + U(user) + " (the Entra world's own user)");
    World w = a.Has(L"--entra") ? MakeEntraWorld(computer, user) : MakeDefaultWorld(computer, user);
    w.Local().FindUser(user)->password = a.Get(L"--password");
    w.session.password = a.Get(L"--password");
    DWORD status = ReplaceWorld(w);
    if (status != 0)
        return Fail("the world could not be written: " + StatusText(status));
    return 0;
}

int CmdDump(const Args& a)
{
    if (!a.positional.empty())
        return Fail("dump takes no argument");
    std::string text;
    DWORD status = ReadWorld([&](const World& w) -> DWORD {
        text = DumpWorld(w);
        return 0;
    });
    if (status != 0)
        return Fail("the world could not be read: " + StatusText(status));
    Out(text);
    return 0;
}

int CmdOpened(const Args& a)
{
    if (!a.positional.empty())
        return Fail("opened takes no argument");
    std::string text;
    DWORD status = ReadWorld([&](const World& w) -> DWORD {
        for (const std::wstring& t : w.opened)
            text += U(t) + "\n";
        return 0;
    });
    if (status != 0)
        return Fail("the world could not be read: " + StatusText(status));
    Out(text);
    return 0;
}

int CmdLockout(const Args& a)
{
    if (a.positional.size() != 1)
        return Fail("usage: lockout USER [--computer C]");
    return Change([&](World& w) -> std::string {
        std::string error;
        Computer* c = PickComputer(w, a, error);
        if (!c)
            return error;
        User* u = c->FindUser(a.positional[0]);
        if (!u)
            return "no such user: " + U(a.positional[0]);
        u->locked = true;
        u->lockoutTime = w.Now();
        return std::string();
    });
}

int CmdLastLogon(const Args& a)
{
    if (a.positional.size() != 2)
        return Fail("usage: last-logon USER TIME [--computer C]");
    return Change([&](World& w) -> std::string {
        std::string error;
        Computer* c = PickComputer(w, a, error);
        if (!c)
            return error;
        User* u = c->FindUser(a.positional[0]);
        if (!u)
            return "no such user: " + U(a.positional[0]);
        int64_t t = 0;
        if (!ParseTime(a.positional[1], w.Now(), t))
            return "invalid time: " + U(a.positional[1]);
        u->lastLogon = t;
        return std::string();
    });
}

// The local policy's units: days and minutes, 0 for "no limit" where the
// policy editor has one; stored as NetUserModalsSet takes them (seconds).
DWORD DaysOrForever(unsigned long long days)
{
    return days == 0 ? kTimeqForever : static_cast<DWORD>(days * 86400);
}

DWORD MinutesOrForever(unsigned long long minutes)
{
    return minutes == 0 ? kTimeqForever : static_cast<DWORD>(minutes * 60);
}

int CmdPolicy(const Args& a)
{
    unsigned long long n = 0, duration = 0, window = 0;
    const std::wstring what = a.positional.empty() ? std::wstring() : a.positional[0];
    bool lockout = what == L"lockout-threshold";
    bool known = what == L"min-length" || what == L"max-age" || what == L"min-age" ||
                 what == L"history" || lockout;
    // Wide enough for every value a rule could refuse; the rules themselves
    // are NetUserModalsSet's (PolicyParmError).
    if (!known || a.positional.size() != 2 || !ParseNumber(a.positional[1], 99999, n) ||
        (!lockout && (a.Has(L"--duration") || a.Has(L"--window"))) ||
        (a.Has(L"--duration") && !ParseNumber(a.Get(L"--duration"), 99999, duration)) ||
        (a.Has(L"--window") && !ParseNumber(a.Get(L"--window"), 99999, window)))
        return Fail("usage: policy min-length N | policy max-age DAYS | policy min-age DAYS | "
                    "policy history N | policy lockout-threshold N [--duration MIN] "
                    "[--window MIN] [--computer C]");
    return Change([&](World& w) -> std::string {
        std::string error;
        Computer* c = PickComputer(w, a, error);
        if (!c)
            return error;
        Policy p = c->policy;
        if (what == L"min-length") {
            p.minLength = static_cast<DWORD>(n);
        } else if (what == L"max-age") {
            p.maxAge = DaysOrForever(n);
        } else if (what == L"min-age") {
            p.minAge = static_cast<DWORD>(n * 86400);
        } else if (what == L"history") {
            p.historyLength = static_cast<DWORD>(n);
        } else {
            p.lockoutThreshold = static_cast<DWORD>(n);
            if (a.Has(L"--duration"))
                p.lockoutDuration = MinutesOrForever(duration);
            if (a.Has(L"--window"))
                p.lockoutWindow = static_cast<DWORD>(window * 60);
        }
        if (PolicyParmError(p) != 0)
            return "Windows refuses this policy (NetUserModalsSet: ERROR_INVALID_PARAMETER, "
                   "parm_err " + std::to_string(PolicyParmError(p)) + ")";
        c->policy = p;
        return std::string();
    });
}

int CmdSession(const Args& a)
{
    bool admin = false, elevated = false;
    if (!a.positional.empty() || a.options.empty() ||
        (a.Has(L"--admin") && !ParseFlag01(a.Get(L"--admin"), admin)) ||
        (a.Has(L"--elevated") && !ParseFlag01(a.Get(L"--elevated"), elevated)))
        return Fail("usage: session [--user NAME|DOMAIN\\NAME] [--password P] [--admin 0|1] "
                    "[--elevated 0|1] [--token-sid SID]...");
    for (const std::wstring& sid : a.All(L"--token-sid")) {
        std::vector<BYTE> binary;
        if (!SidToBinary(sid, binary))
            return Fail("invalid SID: " + U(sid));
    }
    return Change([&](World& w) -> std::string {
        if (a.Has(L"--user")) {
            std::wstring user = a.Get(L"--user");
            size_t slash = user.find(L'\\');
            if (user.empty() || (slash != std::wstring::npos &&
                                 (slash == 0 || slash + 1 == user.size() ||
                                  user.find(L'\\', slash + 1) != std::wstring::npos)))
                return "the session user needs a name (NAME or DOMAIN\\NAME)";
            if (slash != std::wstring::npos && !w.FindDomain(user.substr(0, slash)))
                return "no such domain: " + U(user.substr(0, slash));
            w.session.user = user;
        }
        if (a.Has(L"--password"))
            w.session.password = a.Get(L"--password");
        if (a.Has(L"--admin"))
            w.session.admin = admin;
        if (a.Has(L"--elevated"))
            w.session.elevated = elevated;
        if (a.Has(L"--token-sid"))
            w.session.tokenSids = a.All(L"--token-sid");
        return std::string();
    });
}

// The options of `computer add|set` that describe how a computer answers the network.
std::string SetNetworkOptions(World& w, Computer& c, const Args& a)
{
    unsigned long long n = 0;
    bool flag = false;
    if (a.Has(L"--latency-ms")) {
        if (!ParseNumber(a.Get(L"--latency-ms"), 10000, n))
            return "--latency-ms takes 0-10000";
        c.latencyMs = static_cast<DWORD>(n);
    }
    if (a.Has(L"--token-filter-policy")) {
        if (!ParseFlag01(a.Get(L"--token-filter-policy"), flag))
            return "--token-filter-policy takes 0 or 1";
        c.tokenFilterPolicy = flag ? 1 : 0;
    }
    if (a.Has(L"--restrict-remote-sam")) {
        if (!ParseFlag01(a.Get(L"--restrict-remote-sam"), flag))
            return "--restrict-remote-sam takes 0 or 1";
        c.restrictRemoteSam = flag;
    }
    if (a.Has(L"--limit-blank-password-use")) {
        if (!ParseFlag01(a.Get(L"--limit-blank-password-use"), flag))
            return "--limit-blank-password-use takes 0 or 1";
        c.limitBlankPasswordUse = flag;
    }
    if (a.Has(L"--firewall")) {
        std::wstring v = a.Get(L"--firewall");
        if (v != L"closed" && v != L"open")
            return "--firewall takes closed or open";
        c.firewallClosed = v == L"closed";
    }
    if (a.Has(L"--connect-timeout-ms")) {
        if (!ParseNumber(a.Get(L"--connect-timeout-ms"), 60000, n))
            return "--connect-timeout-ms takes 0-60000";
        c.connectTimeoutMs = static_cast<DWORD>(n);
    }
    if (a.Has(L"--join")) {
        const Computer* d = w.FindDomain(a.Get(L"--join"));
        if (d == nullptr)
            return "no such domain: " + U(a.Get(L"--join"));
        JoinDomain(c, *d);
    }
    return std::string();
}

bool ValidComputerName(const std::wstring& name)
{
    return !name.empty() && name.size() <= 15 &&
           name.find_first_of(L"\\/:*?\"<>|. @") == std::wstring::npos;
}

int CmdComputer(const Args& a)
{
    bool adding = a.positional.size() == 2 && a.positional[0] == L"add";
    bool setting = a.positional.size() == 2 && a.positional[0] == L"set" && !a.Has(L"--ip") &&
                   !a.Has(L"--offline") && !a.options.empty();
    if (!adding && !setting)
        return Fail("usage: computer add NAME [--ip ADDRESS]... [--offline] [OPTIONS] | "
                    "computer set NAME OPTIONS (see --help)");
    std::wstring name = a.positional[1];
    if (setting)
        return Change([&](World& w) -> std::string {
            Computer* c = w.FindComputer(name);
            if (c == nullptr)
                return "no such computer: " + U(name);
            return SetNetworkOptions(w, *c, a);
        });
    if (!ValidComputerName(name))
        return Fail("invalid computer name: " + U(name));
    return Change([&](World& w) -> std::string {
        if (w.FindComputer(name) || w.FindDomain(name))
            return "the name is already in use: " + U(name);
        for (const std::wstring& ip : a.All(L"--ip"))
            if (ip.empty() || w.FindComputer(ip))
                return "the address is empty or already in use: " + U(ip);
        Computer c = MakeComputer(name);
        c.ips = a.All(L"--ip");
        c.offline = a.Has(L"--offline");
        c.Reindex();
        std::string error = SetNetworkOptions(w, c, a);
        if (!error.empty())
            return error;
        w.computers.push_back(c);
        w.computers.back().Reindex();
        return std::string();
    });
}

int CmdDomain(const Args& a)
{
    if (a.positional.size() != 2 || a.positional[0] != L"add" || !a.Has(L"--dc"))
        return Fail("usage: domain add NAME --dc COMPUTER");
    std::wstring name = a.positional[1];
    if (!ValidComputerName(name))
        return Fail("invalid domain name: " + U(name));
    return Change([&](World& w) -> std::string {
        if (w.FindComputer(name) || w.FindDomain(name))
            return "the name is already in use: " + U(name);
        Computer* dc = w.FindComputer(a.Get(L"--dc"));
        if (dc == nullptr || dc == &w.Local())
            return "the domain controller must be a remote computer: " + U(a.Get(L"--dc"));
        if (!dc->domain.empty())
            return "the computer is a member of a domain already: " + U(dc->name);
        w.domains.push_back(MakeDomain(name, dc->name));
        JoinDomain(*dc, w.domains.back());
        return std::string();
    });
}

// credential add TARGET --user U --password P | credential del TARGET: the
// session user's stored credentials, as `cmdkey /add:TARGET` keeps them.
int CmdCredential(const Args& a)
{
    bool add = a.positional.size() == 2 && a.positional[0] == L"add" && a.Has(L"--user");
    bool del = a.positional.size() == 2 && a.positional[0] == L"del" && a.options.empty();
    if (!add && !del)
        return Fail("usage: credential add TARGET --user USER [--password P] | credential del "
                    "TARGET");
    const std::wstring& target = a.positional[1];
    return Change([&](World& w) -> std::string {
        const std::wstring& owner = w.session.user;
        for (size_t i = 0; i < w.credentials.size(); ++i)
            if (SameText(w.credentials[i].owner, owner) &&
                SameText(w.credentials[i].target, target)) {
                w.credentials.erase(w.credentials.begin() + static_cast<ptrdiff_t>(i));
                if (del)
                    return std::string();
                break;
            }
        if (del)
            return "no credential for: " + U(target);
        if (target.empty() || a.Get(L"--user").empty())
            return "a credential needs a target and a user";
        w.credentials.push_back(Credential{owner, target, a.Get(L"--user"), a.Get(L"--password")});
        return std::string();
    });
}

// connection list | add \\NAME\IPC$ --user U --password P | del \\NAME\IPC$: the
// session user's connections, set up without a logon (tests of what programs do
// with a connection that exists).
int CmdConnection(const Args& a)
{
    bool list = a.positional.size() == 1 && a.positional[0] == L"list" && a.options.empty();
    bool add = a.positional.size() == 2 && a.positional[0] == L"add" && a.Has(L"--user");
    bool del = a.positional.size() == 2 && a.positional[0] == L"del" && a.options.empty();
    if (!list && !add && !del)
        return Fail("usage: connection list | connection add \\\\NAME\\IPC$ --user USER "
                    "[--password P] | connection del \\\\NAME\\IPC$");
    if (list) {
        std::string text;
        DWORD status = ReadWorld([&](const World& w) -> DWORD {
            for (const Connection& c : w.connections)
                if (SameText(c.owner, w.session.user))
                    text += U(c.remote) + " " + U(c.user) + "\n";
            return 0;
        });
        if (status != 0)
            return Fail("the world could not be read: " + StatusText(status));
        Out(text);
        return 0;
    }
    const std::wstring& remote = a.positional[1];
    return Change([&](World& w) -> std::string {
        const std::wstring& owner = w.session.user;
        for (size_t i = 0; i < w.connections.size(); ++i)
            if (SameText(w.connections[i].owner, owner) &&
                SameText(w.connections[i].remote, remote)) {
                if (add)
                    return "already connected: " + U(remote);
                w.connections.erase(w.connections.begin() + static_cast<ptrdiff_t>(i));
                return std::string();
            }
        if (del)
            return "not connected: " + U(remote);
        size_t end = remote.find(L'\\', 2);
        if (remote.compare(0, 2, L"\\\\") != 0 || end == std::wstring::npos || end == 2 ||
            !SameText(remote.substr(end + 1), L"IPC$"))
            return "a connection is to \\\\NAME\\IPC$";
        w.connections.push_back(Connection{owner, remote, remote.substr(2, end - 2),
                                           a.Get(L"--user"), a.Get(L"--password")});
        return std::string();
    });
}

int CmdConsent(const Args& a)
{
    if (a.positional.size() != 1 || (a.positional[0] != L"allow" && a.positional[0] != L"deny"))
        return Fail("usage: consent allow|deny");
    return Change([&](World& w) -> std::string {
        w.consentAllow = a.positional[0] == L"allow";
        return std::string();
    });
}

int CmdOpen(const Args& a)
{
    if (a.positional.size() != 1 || (a.positional[0] != L"succeed" && a.positional[0] != L"fail"))
        return Fail("usage: open succeed|fail");
    return Change([&](World& w) -> std::string {
        w.openSucceeds = a.positional[0] == L"succeed";
        return std::string();
    });
}

int CmdFail(const Args& a)
{
    unsigned long long code = 0, nth = 1;
    if (a.positional.size() != 2 || a.positional[0].empty() ||
        !ParseNumber(a.positional[1], 0xFFFFFFFFull, code) || code == 0 ||
        (a.Has(L"--nth") && (!ParseNumber(a.Get(L"--nth"), 1000000, nth) || nth == 0)))
        return Fail("usage: fail FUNCTION CODE [--nth N] (CODE nonzero, N from 1)");
    return Change([&](World& w) -> std::string {
        w.faults.push_back(
            Fault{a.positional[0], static_cast<DWORD>(code), static_cast<DWORD>(nth)});
        return std::string();
    });
}

int CmdClock(const Args& a)
{
    if (a.positional.size() == 1 && a.positional[0] == L"real")
        return Change([&](World& w) -> std::string {
            w.fixedClock = 0;
            return std::string();
        });
    if (a.positional.size() != 2 || a.positional[0] != L"set")
        return Fail("usage: clock set TIME | clock real");
    return Change([&](World& w) -> std::string {
        int64_t t = 0;
        if (!ParseTime(a.positional[1], w.Now(), t) || t <= 0)
            return "invalid time: " + U(a.positional[1]);
        w.fixedClock = t;
        return std::string();
    });
}

int CmdUser(const Args& a)
{
    if (a.positional.size() != 2 ||
        (a.positional[0] != L"add" && a.positional[0] != L"set" && a.positional[0] != L"del"))
        return Fail("usage: user add|set|del NAME [options] (see --help)");
    const std::wstring& verb = a.positional[0];
    const std::wstring& name = a.positional[1];
    return Change([&](World& w) -> std::string {
        std::string error;
        Computer* c = PickComputer(w, a, error);
        if (!c)
            return error;
        if (verb == L"add")
            return AddUser(*c, w, name, a);
        User* u = c->FindUser(name);
        if (!u)
            return "no such user: " + U(name);
        if (verb == L"del") {
            if (u->rid < kFirstRid)
                return "built-in accounts cannot be deleted";
            std::wstring sid = c->UserSid(*u);
            for (Group& g : c->groups)
                for (size_t i = 0; i < g.members.size();)
                    if (SameText(g.members[i], sid))
                        g.members.erase(g.members.begin() + static_cast<ptrdiff_t>(i));
                    else
                        ++i;
            c->users.erase(c->users.begin() + (u - c->users.data()));
            c->Reindex();
            return std::string();
        }
        if (a.Has(L"--password")) {
            u->password = a.Get(L"--password");
            u->passwordLastSet = w.Now();
            u->passwordExpired = false;
        }
        if (a.Has(L"--full-name"))
            u->fullName = a.Get(L"--full-name");
        if (a.Has(L"--comment"))
            u->comment = a.Get(L"--comment");
        if (a.Has(L"--enable"))
            u->flags &= ~UF_ACCOUNTDISABLE;
        if (a.Has(L"--disable"))
            u->flags |= UF_ACCOUNTDISABLE;
        if (a.Has(L"--expire-password"))
            u->passwordExpired = true;
        if (a.Has(L"--expires")) {
            int64_t t = kTimeqForever;
            if (a.Get(L"--expires") != L"never" &&
                (!ParseTime(a.Get(L"--expires"), w.Now(), t) || t > kTimeqForever))
                return "invalid time: " + U(a.Get(L"--expires"));
            u->acctExpires = static_cast<DWORD>(t);
        }
        if (a.Has(L"--logon-hours") && !ParseLogonHours(a.Get(L"--logon-hours"), u->logonHours))
            return "invalid logon hours (42 hex digits): " + U(a.Get(L"--logon-hours"));
        if (a.Has(L"--microsoft-account"))
            return LinkToMicrosoftAccount(*c, *u, a.Get(L"--microsoft-account"));
        return std::string();
    });
}

// "add-many COUNT": COUNT accounts, the i-th made by add(world, computer, i),
// which returns why it could not be made.
template <typename Add>
int AddMany(const Args& a, unsigned long long most, const char* usage, Add add)
{
    unsigned long long count = 0;
    if (a.positional.size() != 2 || a.positional[0] != L"add-many" ||
        !ParseNumber(a.positional[1], most, count))
        return Fail(usage);
    return Change([&](World& w) -> std::string {
        std::string error;
        Computer* c = PickComputer(w, a, error);
        for (unsigned long long i = 1; c != nullptr && error.empty() && i <= count; ++i)
            error = add(w, *c, i);
        if (c != nullptr)
            c->Reindex();
        return error;
    });
}

int CmdUsers(const Args& a)
{
    std::wstring prefix = a.Get(L"--prefix", L"user");
    if (prefix.size() > 14 || CheckUserName(prefix + L"1") != 0)
        return Fail("invalid prefix (at most 14 characters of a user name)");
    return AddMany(a, 100000,
                   "usage: users add-many COUNT [--prefix P] [--computer C] (COUNT up to 100000)",
                   [&](World& w, Computer& c, unsigned long long i) -> std::string {
                       wchar_t number[16];
                       wsprintfW(number, L"%05u", static_cast<unsigned>(i));
                       std::wstring name = prefix + number;
                       if (c.NameTaken(name))
                           return "the name is already in use: " + U(name);
                       AddUserRecord(c, name, w.Now());
                       return std::string();
                   });
}

int CmdGroups(const Args& a)
{
    std::wstring prefix = a.Get(L"--prefix", L"group");
    if (prefix.size() > 200 || CheckGroupName(prefix + L"1") != 0)
        return Fail("invalid prefix (at most 200 characters of a group name)");
    return AddMany(a, 10000,
                   "usage: groups add-many COUNT [--prefix P] [--computer C] (COUNT up to 10000)",
                   [&](World&, Computer& c, unsigned long long i) -> std::string {
                       Group g;
                       g.name = prefix + std::to_wstring(i);
                       if (c.NameTaken(g.name))
                           return "the name is already in use: " + U(g.name);
                       g.rid = c.nextRid++;
                       c.groups.push_back(g);
                       c.groupIndex[Upper(g.name)] = c.groups.size() - 1;
                       return std::string();
                   });
}

int CmdGroup(const Args& a)
{
    bool add = a.positional.size() == 2 && a.positional[0] == L"add";
    bool rename = a.positional.size() == 3 && a.positional[0] == L"rename";
    if (!add && !rename)
        return Fail("usage: group add NAME [--comment C] | group rename OLD NEW [--computer C]");
    return Change([&](World& w) -> std::string {
        std::string error;
        Computer* c = PickComputer(w, a, error);
        if (!c)
            return error;
        const std::wstring& name = a.positional[add ? 1 : 2];
        if (CheckGroupName(name) != 0)
            return "invalid group name: " + U(name);
        if (add) {
            if (c->NameTaken(name))
                return "the name is already in use: " + U(name);
            Group g;
            g.name = name;
            g.rid = c->nextRid++;
            g.comment = a.Get(L"--comment");
            c->groups.push_back(g);
        } else {
            Group* g = c->FindGroup(a.positional[1]);
            if (!g)
                return "no such group: " + U(a.positional[1]);
            if (c->NameTaken(name, g))
                return "the name is already in use: " + U(name);
            g->name = name;
        }
        c->Reindex();
        return std::string();
    });
}

int CmdMember(const Args& a)
{
    if (a.positional.size() != 3 || a.positional[0] != L"add")
        return Fail("usage: member add GROUP ACCOUNT [--computer C]");
    return Change([&](World& w) -> std::string {
        std::string error;
        Computer* c = PickComputer(w, a, error);
        if (!c)
            return error;
        Group* g = c->FindGroup(a.positional[1]);
        if (!g)
            return "no such group: " + U(a.positional[1]);
        Resolved r;
        if (!ResolveName(w, *c, a.positional[2], r))
            return "no such account: " + U(a.positional[2]);
        if (r.use == SidTypeAlias || r.use == SidTypeDomain)
            return "a local group or a domain cannot be a member: " + U(a.positional[2]);
        if (c->IsMember(*g, r.sid))
            return "already a member: " + U(a.positional[2]);
        g->members.push_back(r.sid);
        return std::string();
    });
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Fail("no command; see AmbSimCtl --help");
    std::wstring command = argv[1];
    if (command == L"--help" || command == L"-h" || command == L"/?" || command == L"help") {
        Out(kHelp);
        return 0;
    }
    struct Command
    {
        const wchar_t* name;
        int (*run)(const Args&);
        std::initializer_list<const wchar_t*> valued;
        std::initializer_list<const wchar_t*> flags;
    };
    static const Command commands[] = {
        {L"reset", CmdReset, {L"--computer", L"--user", L"--password"}, {L"--entra"}},
        {L"dump", CmdDump, {}, {}},
        {L"opened", CmdOpened, {}, {}},
        {L"lockout", CmdLockout, {L"--computer", L"--domain"}, {}},
        {L"last-logon", CmdLastLogon, {L"--computer", L"--domain"}, {}},
        {L"policy", CmdPolicy, {L"--computer", L"--domain", L"--duration", L"--window"}, {}},
        {L"session",
         CmdSession,
         {L"--user", L"--admin", L"--elevated", L"--password", L"--token-sid"},
         {}},
        {L"computer",
         CmdComputer,
         {L"--ip", L"--latency-ms", L"--token-filter-policy", L"--restrict-remote-sam",
          L"--limit-blank-password-use", L"--firewall", L"--connect-timeout-ms", L"--join"},
         {L"--offline"}},
        {L"domain", CmdDomain, {L"--dc"}, {}},
        {L"credential", CmdCredential, {L"--user", L"--password"}, {}},
        {L"connection", CmdConnection, {L"--user", L"--password"}, {}},
        {L"consent", CmdConsent, {}, {}},
        {L"open", CmdOpen, {}, {}},
        {L"fail", CmdFail, {L"--nth"}, {}},
        {L"clock", CmdClock, {}, {}},
        {L"user",
         CmdUser,
         {L"--password", L"--full-name", L"--comment", L"--computer", L"--domain", L"--expires",
          L"--logon-hours", L"--microsoft-account"},
         {L"--disabled", L"--enable", L"--disable", L"--expire-password"}},
        {L"users", CmdUsers, {L"--prefix", L"--computer", L"--domain"}, {}},
        {L"groups", CmdGroups, {L"--prefix", L"--computer"}, {}},
        {L"group", CmdGroup, {L"--comment", L"--computer", L"--domain"}, {}},
        {L"member", CmdMember, {L"--computer", L"--domain"}, {}},
    };
    for (const Command& c : commands) {
        if (command != c.name)
            continue;
        Args a = ParseArgs(argc, argv, 2, c.valued, c.flags);
        if (!a.error.empty())
            return Fail(U(a.error) + "; see AmbSimCtl --help");
        return c.run(a);
    }
    return Fail("unknown command: " + U(command) + "; see AmbSimCtl --help");
}
