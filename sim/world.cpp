// The world model: computers, accounts, the name rules and account resolution.
#include <windows.h>
#include <lm.h>

#include <ctime>

#include "simcore.h"

namespace ambsim {

const wchar_t kBuiltinSid[] = L"S-1-5-32";
const wchar_t kBuiltinDomain[] = L"BUILTIN";
const wchar_t kNtAuthority[] = L"NT AUTHORITY";
const wchar_t kMicrosoftAccountDomain[] = L"MicrosoftAccount";

// ---------------------------------------------------------------- strings

std::wstring Upper(const std::wstring& s)
{
    std::wstring u = s;
    if (!u.empty())
        CharUpperBuffW(&u[0], static_cast<DWORD>(u.size()));
    return u;
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::string ToUtf8(const std::wstring& s)
{
    if (s.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
    return out;
}

// ---------------------------------------------------------------- SIDs

bool SidToBinary(const std::wstring& text, std::vector<BYTE>& out)
{
    // S-R-I-S-S...: revision 1, a 48-bit authority, up to 15 sub-authorities.
    if (text.size() < 4 || (text[0] != L'S' && text[0] != L's') || text[1] != L'-')
        return false;
    std::vector<unsigned long long> parts;
    size_t i = 2;
    while (i <= text.size()) {
        size_t j = i;
        unsigned long long v = 0;
        while (j < text.size() && text[j] >= L'0' && text[j] <= L'9') {
            v = v * 10 + static_cast<unsigned>(text[j] - L'0');
            if (v > 0xFFFFFFFFFFFFull)
                return false;
            ++j;
        }
        if (j == i)
            return false;
        parts.push_back(v);
        if (j == text.size())
            break;
        if (text[j] != L'-')
            return false;
        i = j + 1;
    }
    if (parts.size() < 2 || parts[0] != 1 || parts.size() - 2 > SID_MAX_SUB_AUTHORITIES)
        return false;
    size_t subCount = parts.size() - 2;
    out.assign(8 + 4 * subCount, 0);
    out[0] = 1;
    out[1] = static_cast<BYTE>(subCount);
    for (int b = 0; b < 6; ++b)
        out[2 + b] = static_cast<BYTE>(parts[1] >> (8 * (5 - b)));
    for (size_t s = 0; s < subCount; ++s) {
        if (parts[2 + s] > 0xFFFFFFFFull)
            return false;
        DWORD v = static_cast<DWORD>(parts[2 + s]);
        memcpy(&out[8 + 4 * s], &v, 4);
    }
    return true;
}

std::wstring SidToText(const void* sid)
{
    if (sid == nullptr || !IsValidSid(const_cast<PSID>(sid)))
        return std::wstring();
    const BYTE* b = static_cast<const BYTE*>(sid);
    unsigned long long authority = 0;
    for (int i = 0; i < 6; ++i)
        authority = (authority << 8) | b[2 + i];
    std::wstring text = L"S-1-" + std::to_wstring(authority);
    for (int s = 0; s < b[1]; ++s) {
        DWORD v;
        memcpy(&v, b + 8 + 4 * s, 4);
        text += L"-" + std::to_wstring(v);
    }
    return text;
}

bool SplitSid(const std::wstring& sid, std::wstring& domain, DWORD& rid)
{
    size_t dash = sid.rfind(L'-');
    if (dash == std::wstring::npos || dash < 4)
        return false;
    std::wstring tail = sid.substr(dash + 1);
    if (tail.empty() || tail.size() > 10)
        return false;
    unsigned long long v = 0;
    for (wchar_t ch : tail) {
        if (ch < L'0' || ch > L'9')
            return false;
        v = v * 10 + static_cast<unsigned>(ch - L'0');
    }
    if (v > 0xFFFFFFFFull)
        return false;
    domain = sid.substr(0, dash);
    rid = static_cast<DWORD>(v);
    return true;
}

// ---------------------------------------------------------------- computer

namespace {
bool NameBefore(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
}
} // namespace

void Computer::Reindex()
{
    userIndex.clear();
    groupIndex.clear();
    ridIndex.clear();
    usersByName.resize(users.size());
    for (size_t i = 0; i < users.size(); ++i) {
        userIndex[Upper(users[i].name)] = i;
        ridIndex[users[i].rid] = i;
        usersByName[i] = i;
    }
    std::sort(usersByName.begin(), usersByName.end(),
              [&](size_t a, size_t b) { return NameBefore(users[a].name, users[b].name); });
    for (size_t i = 0; i < groups.size(); ++i)
        groupIndex[Upper(groups[i].name)] = i;
}

// The indexes of a user just appended at `index`.
void Computer::IndexNewUser(size_t index)
{
    const User& u = users[index];
    userIndex[Upper(u.name)] = index;
    ridIndex[u.rid] = index;
    auto at = std::upper_bound(
        usersByName.begin(), usersByName.end(), index,
        [&](size_t a, size_t b) { return NameBefore(users[a].name, users[b].name); });
    usersByName.insert(at, index);
}

User* Computer::FindUser(const std::wstring& name)
{
    auto it = userIndex.find(Upper(name));
    return it == userIndex.end() ? nullptr : &users[it->second];
}

const User* Computer::FindUser(const std::wstring& name) const
{
    return const_cast<Computer*>(this)->FindUser(name);
}

Group* Computer::FindGroup(const std::wstring& name)
{
    auto it = groupIndex.find(Upper(name));
    return it == groupIndex.end() ? nullptr : &groups[it->second];
}

const Group* Computer::FindGroup(const std::wstring& name) const
{
    return const_cast<Computer*>(this)->FindGroup(name);
}

User* Computer::FindUserByRid(DWORD rid)
{
    auto it = ridIndex.find(rid);
    return it == ridIndex.end() ? nullptr : &users[it->second];
}

const User* Computer::FindUserByRid(DWORD rid) const
{
    return const_cast<Computer*>(this)->FindUserByRid(rid);
}

Group* Computer::FindGroupBySid(const std::wstring& sid)
{
    for (Group& g : groups)
        if (SameText(GroupSid(g), sid))
            return &g;
    return nullptr;
}

const Group* Computer::FindGroupBySid(const std::wstring& sid) const
{
    return const_cast<Computer*>(this)->FindGroupBySid(sid);
}

std::wstring Computer::UserSid(const User& u) const
{
    return domainSid + L"-" + std::to_wstring(u.rid);
}

std::wstring Computer::GroupSid(const Group& g) const
{
    return (g.builtin ? std::wstring(kBuiltinSid) : domainSid) + L"-" + std::to_wstring(g.rid);
}

// Users and local groups share one name space per computer.
bool Computer::NameTaken(const std::wstring& name, const void* except) const
{
    const User* u = FindUser(name);
    if (u != nullptr && u != except)
        return true;
    const Group* g = FindGroup(name);
    return g != nullptr && g != except;
}

bool Computer::IsMember(const Group& g, const std::wstring& sid) const
{
    for (const std::wstring& m : g.members)
        if (SameText(m, sid))
            return true;
    return false;
}

// ---------------------------------------------------------------- world

int64_t World::Now() const
{
    return fixedClock != 0 ? fixedClock : static_cast<int64_t>(_time64(nullptr));
}

Computer* World::FindComputer(const std::wstring& nameOrAddress)
{
    for (Computer& c : computers) {
        if (SameText(c.name, nameOrAddress))
            return &c;
        for (const std::wstring& ip : c.ips)
            if (SameText(ip, nameOrAddress))
                return &c;
    }
    return nullptr;
}

const Computer* World::FindComputer(const std::wstring& nameOrAddress) const
{
    return const_cast<World*>(this)->FindComputer(nameOrAddress);
}

Computer* World::FindComputerByDomainSid(const std::wstring& domainSid)
{
    for (Computer& c : computers)
        if (SameText(c.domainSid, domainSid))
            return &c;
    return nullptr;
}

const Computer* World::FindComputerByDomainSid(const std::wstring& domainSid) const
{
    return const_cast<World*>(this)->FindComputerByDomainSid(domainSid);
}

Computer* World::FindDomain(const std::wstring& name)
{
    for (Computer& d : domains)
        if (SameText(d.name, name))
            return &d;
    return nullptr;
}

const Computer* World::FindDomain(const std::wstring& name) const
{
    return const_cast<World*>(this)->FindDomain(name);
}

const Computer* World::JoinedDomain(const Computer& c) const
{
    return c.domain.empty() ? nullptr : FindDomain(c.domain);
}

// ---------------------------------------------------------------- building

namespace {

DWORD RandomSubAuthority()
{
    // Seeded from the performance counter, the tick count and the process id:
    // good enough to give every simulated computer a distinct domain.
    static unsigned long long state = 0;
    if (state == 0) {
        LARGE_INTEGER qpc;
        QueryPerformanceCounter(&qpc);
        state = static_cast<unsigned long long>(qpc.QuadPart) ^
                (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^ GetTickCount64() ^
                static_cast<unsigned long long>(_time64(nullptr));
    }
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<DWORD>(state % 4000000000u) + 100000000u;
}

struct BuiltinAlias
{
    DWORD rid;
    const wchar_t* name;
    const wchar_t* comment;
};

// The BUILTIN aliases of Windows 10/11 with the names and descriptions that a
// Japanese installation shows (names stay English there).
const BuiltinAlias kBuiltinAliases[] = {
    {544, L"Administrators", L"コンピューター/ドメインに完全なアクセス権があります"},
    {545, L"Users",
     L"ユーザーが、システム全体に及ぶ変更を行うことを禁止されています。ほとんどのアプリケーションを"
     L"実行することができます"},
    {546, L"Guests",
     L"Guest は、既定では Users グループのメンバーと同じアクセス権を持ちます。ただし、Guest "
     L"アカウントにはさらに制限が適用されます"},
    {547, L"Power Users",
     L"Power Users は下位互換性のために含まれており、限定された管理者権限を持ちます"},
    {551, L"Backup Operators",
     L"Backup Operators "
     L"は、ファイルのバックアップまたは復元のためにセキュリティ制限をオーバーライド"
     L"できます"},
    {552, L"Replicator", L"ドメイン内のファイルのレプリケーションをサポートします"},
    {555, L"Remote Desktop Users",
     L"このグループのメンバーにはリモートからログオンする権限が与えられます"},
    {556, L"Network Configuration Operators",
     L"このグループのメンバーは、ネットワーク機能の構成を管理するためのいくつかの管理者特権を持って"
     L"います"},
    {558, L"Performance Monitor Users",
     L"このグループのメンバーは、ローカルおよびリモートからパフォーマンス カウンター "
     L"データにアクセス"
     L"できます"},
    {559, L"Performance Log Users",
     L"このグループのメンバーは、パフォーマンス カウンターのログのスケジュール設定、トレース "
     L"プロバイ"
     L"ダーの有効化、およびイベント トレースの収集を行うことができます"},
    {562, L"Distributed COM Users",
     L"メンバーは、このコンピューター上の分散 COM オブジェクトを起動、アクティブ化、および使用でき"
     L"ます。"},
    {568, L"IIS_IUSRS",
     L"インターネット インフォメーション サービスで使用される組み込みグループです。"},
    {569, L"Cryptographic Operators", L"メンバーは暗号化操作の実行を許可されています。"},
    {573, L"Event Log Readers",
     L"このグループのメンバーは、ローカル コンピューターからイベント ログを読み取ることができます"},
    {578, L"Hyper-V Administrators",
     L"このグループのメンバーには、Hyper-V のすべての機能への完全かつ無制限のアクセス権が与えられ"
     L"ます。"},
    {579, L"Access Control Assistance Operators",
     L"このグループのメンバーは、このコンピューター上のリソースの認証属性とアクセス許可をリモートか"
     L"ら"
     L"照会できます。"},
    {580, L"Remote Management Users",
     L"このグループのメンバーは、管理プロトコル (Windows リモート管理サービス経由の WS-Management "
     L"など) を介して WMI リソースにアクセスできます。"},
    {581, L"System Managed Accounts Group",
     L"このグループのメンバーはシステムによって管理されます。"},
    {583, L"Device Owners", L"このグループのメンバーは、システム全体の設定を変更できます。"},
    // Windows 11 22H2 and 24H2 added these two.
    {584, L"User Mode Hardware Operators", L"このグループのメンバーは、ユーザー モードでハードウェア操作を実行できます。"},
    {585, L"OpenSSH Users", L"このグループのメンバーは、SSH を使用してこのコンピューターに接続できます。"},
};

User BuiltinUser(DWORD rid, const wchar_t* name, DWORD flags, const wchar_t* comment)
{
    User u;
    u.name = name;
    u.rid = rid;
    u.flags = flags;
    u.comment = comment;
    u.passwordLastSet = static_cast<int64_t>(_time64(nullptr)); // set at installation
    return u;
}

} // namespace

Computer MakeComputer(const std::wstring& name)
{
    Computer c;
    c.name = Upper(name);
    c.domainSid = L"S-1-5-21-" + std::to_wstring(RandomSubAuthority()) + L"-" +
                  std::to_wstring(RandomSubAuthority()) + L"-" +
                  std::to_wstring(RandomSubAuthority());
    const DWORD disabled = UF_SCRIPT | UF_ACCOUNTDISABLE | UF_NORMAL_ACCOUNT;
    c.users.push_back(BuiltinUser(kRidAdministrator, L"Administrator",
                                  disabled | UF_DONT_EXPIRE_PASSWD,
                                  L"コンピューター/ドメインの管理用 (ビルトイン アカウント)"));
    c.users.push_back(
        BuiltinUser(kRidGuest, L"Guest",
                    disabled | UF_PASSWD_NOTREQD | UF_PASSWD_CANT_CHANGE | UF_DONT_EXPIRE_PASSWD,
                    L"コンピューター/ドメインへのゲスト アクセス用 (ビルトイン アカウント)"));
    c.users.push_back(BuiltinUser(kRidDefaultAccount, L"DefaultAccount",
                                  disabled | UF_PASSWD_NOTREQD | UF_DONT_EXPIRE_PASSWD,
                                  L"システムで管理されるユーザー アカウントです。"));
    c.users.push_back(BuiltinUser(kRidWdagUtility, L"WDAGUtilityAccount", disabled,
                                  L"Windows Defender Application Guard シナリオでシステムによって"
                                  L"管理および使用されるユーザー アカウントです。"));
    for (const BuiltinAlias& a : kBuiltinAliases) {
        Group g;
        g.name = a.name;
        g.rid = a.rid;
        g.builtin = true;
        g.comment = a.comment;
        c.groups.push_back(g);
    }
    c.Reindex();
    c.FindGroup(L"Administrators")->members.push_back(c.domainSid + L"-500");
    c.FindGroup(L"Guests")->members.push_back(c.domainSid + L"-501");
    c.FindGroup(L"System Managed Accounts Group")->members.push_back(c.domainSid + L"-503");
    Group* users = c.FindGroup(L"Users");
    users->members.push_back(L"S-1-5-4");  // NT AUTHORITY\INTERACTIVE
    users->members.push_back(L"S-1-5-11"); // NT AUTHORITY\Authenticated Users
    c.FindGroup(L"IIS_IUSRS")->members.push_back(L"S-1-5-17"); // NT AUTHORITY\IUSR
    return c;
}

User& AddUserRecord(Computer& c, const std::wstring& name, int64_t now)
{
    User u;
    u.name = name;
    u.rid = c.nextRid++;
    u.passwordLastSet = now;
    c.users.push_back(u);
    c.IndexNewUser(c.users.size() - 1);
    // As on Windows, a new local account joins the Users alias.
    for (Group& g : c.groups)
        if (g.builtin && g.rid == kRidUsers)
            g.members.push_back(c.UserSid(c.users.back()));
    return c.users.back();
}

Computer MakeDomain(const std::wstring& name, const std::wstring& dc)
{
    Computer d;
    d.name = Upper(name);
    d.dc = Upper(dc);
    d.domainSid = L"S-1-5-21-" + std::to_wstring(RandomSubAuthority()) + L"-" +
                  std::to_wstring(RandomSubAuthority()) + L"-" +
                  std::to_wstring(RandomSubAuthority());
    d.nextRid = 1100;
    d.users.push_back(BuiltinUser(kRidAdministrator, L"Administrator",
                                  UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD,
                                  L"コンピューター/ドメインの管理用 (ビルトイン アカウント)"));
    Group admins, users;
    admins.name = L"Domain Admins";
    admins.rid = kRidDomainAdmins;
    admins.comment = L"ドメインの指定された管理者";
    admins.members.push_back(d.domainSid + L"-500");
    users.name = L"Domain Users";
    users.rid = kRidDomainUsers;
    users.comment = L"すべてのドメイン ユーザー";
    users.members.push_back(d.domainSid + L"-500");
    d.groups.push_back(admins);
    d.groups.push_back(users);
    d.Reindex();
    return d;
}

User& AddDomainUser(Computer& domain, const std::wstring& name, int64_t now)
{
    User u;
    u.name = name;
    u.rid = domain.nextRid++;
    u.passwordLastSet = now;
    domain.users.push_back(u);
    domain.Reindex();
    User& added = domain.users.back();
    domain.FindGroup(L"Domain Users")->members.push_back(domain.UserSid(added));
    return added;
}

void JoinDomain(Computer& c, const Computer& domain)
{
    c.domain = domain.name;
    auto add = [&](const wchar_t* alias, const std::wstring& sid) {
        Group* g = c.FindGroup(alias);
        if (g != nullptr && !c.IsMember(*g, sid))
            g->members.push_back(sid);
    };
    add(L"Administrators", domain.domainSid + L"-" + std::to_wstring(kRidDomainAdmins));
    add(L"Users", domain.domainSid + L"-" + std::to_wstring(kRidDomainUsers));
}

namespace {

// Windows gives a Microsoft account a SID under S-1-11-96 whose last
// sub-authorities come from the account; here they are a hash of its address,
// so that the same address always has the same SID.
std::wstring MicrosoftAccountSid(const std::wstring& address)
{
    std::wstring sid = L"S-1-11-96-3623454863-58364-18864-2661722203-1597581903";
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t ch : Upper(address)) {
        hash ^= static_cast<unsigned>(ch);
        hash *= 1099511628211ull;
    }
    for (int part = 0; part < 4; ++part) {
        sid += L"-" + std::to_wstring(static_cast<DWORD>(hash >> (part * 8)) ^ (0x9E3779B9u * part));
    }
    return sid;
}

Group* BuiltinGroupByRid(Computer& c, DWORD rid)
{
    for (Group& g : c.groups)
        if (g.builtin && g.rid == rid)
            return &g;
    return nullptr;
}

} // namespace

void LinkMicrosoftAccount(Computer& c, User& u, const std::wstring& address, bool admin)
{
    u.microsoftAccount = address;
    u.microsoftAccountSid = MicrosoftAccountSid(address);
    for (DWORD rid : {kRidUsers, kRidAdministrators}) {
        Group* g = BuiltinGroupByRid(c, rid);
        if (g != nullptr && (rid == kRidUsers || admin) && !c.IsMember(*g, u.microsoftAccountSid))
            g->members.push_back(u.microsoftAccountSid);
    }
}

World MakeEntraWorld(const std::wstring& computerName, const std::wstring& userName)
{
    World w = MakeDefaultWorld(computerName, userName);
    Computer& c = w.Local();
    // Entra join adds the Global Administrator and the Entra Joined Device Local
    // Administrator roles to Administrators by their SIDs, which nothing on the
    // computer can name.
    Group* admins = BuiltinGroupByRid(c, kRidAdministrators);
    admins->members.push_back(L"S-1-12-1-2935245824-1294732452-2519542191-3411468211");
    admins->members.push_back(L"S-1-12-1-1826185478-1225786218-3051424131-1870923446");
    // The first user of a Microsoft account: Windows names the local account
    // after the address's first five characters.
    User& u = AddUserRecord(c, L"hanak", w.Now());
    u.fullName = L"山田 花子";
    u.flags = UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD;
    LinkMicrosoftAccount(c, u, L"hanako.yamada@outlook.jp", true);
    return w;
}

World MakeDefaultWorld(const std::wstring& computerName, const std::wstring& userName)
{
    World w;
    w.computers.push_back(MakeComputer(computerName.empty() ? L"AMBPC01" : computerName));
    Computer& c = w.Local();
    std::wstring name = userName.empty() ? L"kanri" : userName;
    User& u = AddUserRecord(c, name, w.Now());
    u.flags = UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD;
    c.FindGroup(L"Administrators")->members.push_back(c.UserSid(u));
    w.session.user = name;
    w.session.admin = true;
    w.session.elevated = true;
    return w;
}

// ---------------------------------------------------------------- names

namespace {

bool OnlyDotsAndSpaces(const std::wstring& name)
{
    for (wchar_t ch : name)
        if (ch != L'.' && ch != L' ')
            return false;
    return true;
}

bool HasForbidden(const std::wstring& name, const wchar_t* forbidden)
{
    for (wchar_t ch : name)
        if (ch < 32 || wcschr(forbidden, ch) != nullptr)
            return true;
    return false;
}

// The rule of the reference pages (NetUserAdd, USER_INFO_x remarks): none of
// " / \ [ ] : ; | = , + * ? < > nor control characters ("@" is allowed), not
// only dots and spaces, not ending in a period. SAM answers
// STATUS_INVALID_ACCOUNT_NAME, which the network-management layer reports as
// NERR_BadUsername.
DWORD CheckAccountName(const std::wstring& name, size_t maxLength)
{
    if (name.empty() || name.size() > maxLength || OnlyDotsAndSpaces(name) || name.back() == L'.' ||
        HasForbidden(name, L"\"/\\[]:;|=,+*?<>"))
        return NERR_BadUsername;
    return 0;
}

} // namespace

// User names up to 20 characters.
DWORD CheckUserName(const std::wstring& name)
{
    return CheckAccountName(name, 20);
}

// Local group names up to 256 characters.
DWORD CheckGroupName(const std::wstring& name)
{
    return CheckAccountName(name, GNLEN);
}

// ---------------------------------------------------------------- resolution

namespace {

struct WellKnown
{
    const wchar_t* sid;
    const wchar_t* domain;
    const wchar_t* name;
    SID_NAME_USE use;
};

const WellKnown kWellKnown[] = {
    {L"S-1-1-0", L"", L"Everyone", SidTypeWellKnownGroup},
    {L"S-1-2-0", L"", L"LOCAL", SidTypeWellKnownGroup},
    {L"S-1-2-1", L"", L"CONSOLE LOGON", SidTypeWellKnownGroup},
    {L"S-1-3-0", L"", L"CREATOR OWNER", SidTypeWellKnownGroup},
    {L"S-1-3-1", L"", L"CREATOR GROUP", SidTypeWellKnownGroup},
    {L"S-1-5", L"", L"NT AUTHORITY", SidTypeDomain},
    {L"S-1-5-1", kNtAuthority, L"DIALUP", SidTypeWellKnownGroup},
    {L"S-1-5-2", kNtAuthority, L"NETWORK", SidTypeWellKnownGroup},
    {L"S-1-5-3", kNtAuthority, L"BATCH", SidTypeWellKnownGroup},
    {L"S-1-5-4", kNtAuthority, L"INTERACTIVE", SidTypeWellKnownGroup},
    {L"S-1-5-6", kNtAuthority, L"SERVICE", SidTypeWellKnownGroup},
    {L"S-1-5-7", kNtAuthority, L"ANONYMOUS LOGON", SidTypeWellKnownGroup},
    {L"S-1-5-10", kNtAuthority, L"SELF", SidTypeWellKnownGroup},
    {L"S-1-5-11", kNtAuthority, L"Authenticated Users", SidTypeWellKnownGroup},
    {L"S-1-5-12", kNtAuthority, L"RESTRICTED", SidTypeWellKnownGroup},
    {L"S-1-5-13", kNtAuthority, L"TERMINAL SERVER USER", SidTypeWellKnownGroup},
    {L"S-1-5-14", kNtAuthority, L"REMOTE INTERACTIVE LOGON", SidTypeWellKnownGroup},
    {L"S-1-5-15", kNtAuthority, L"This Organization", SidTypeWellKnownGroup},
    {L"S-1-5-17", kNtAuthority, L"IUSR", SidTypeWellKnownGroup},
    {L"S-1-5-18", kNtAuthority, L"SYSTEM", SidTypeWellKnownGroup},
    {L"S-1-5-19", kNtAuthority, L"LOCAL SERVICE", SidTypeWellKnownGroup},
    {L"S-1-5-20", kNtAuthority, L"NETWORK SERVICE", SidTypeWellKnownGroup},
    {L"S-1-5-113", kNtAuthority, L"Local account", SidTypeWellKnownGroup},
    {L"S-1-5-114", kNtAuthority, L"Local account and member of Administrators group",
     SidTypeWellKnownGroup},
};

void Fill(Resolved& out, const std::wstring& sid, const std::wstring& domain,
          const std::wstring& name, SID_NAME_USE use)
{
    out.sid = sid;
    out.domain = domain;
    out.name = name;
    out.use = use;
}

// The Microsoft accounts linked to users of `on`: "MicrosoftAccount\address"
// and its S-1-11-96 SID, known to the computer that holds the link.
bool ResolveMicrosoftAccount(const Computer& on, const std::wstring* name, const std::wstring* sid,
                             Resolved& out)
{
    for (const User& u : on.users) {
        if (u.microsoftAccount.empty())
            continue;
        if ((name != nullptr && SameText(*name, u.microsoftAccount)) ||
            (sid != nullptr && SameText(*sid, u.microsoftAccountSid))) {
            Fill(out, u.microsoftAccountSid, kMicrosoftAccountDomain, u.microsoftAccount,
                 SidTypeUser);
            return true;
        }
    }
    return false;
}

bool ResolveWellKnownName(const std::wstring& domain, bool qualified, const std::wstring& name,
                          Resolved& out)
{
    for (const WellKnown& k : kWellKnown) {
        if (!SameText(name, k.name))
            continue;
        if (qualified && !SameText(domain, k.domain))
            continue;
        Fill(out, k.sid, k.domain, k.name, k.use);
        return true;
    }
    return false;
}

bool ResolveBuiltinName(const Computer& on, const std::wstring& name, Resolved& out)
{
    if (name.empty() || SameText(name, kBuiltinDomain)) {
        Fill(out, kBuiltinSid, kBuiltinDomain, L"", SidTypeDomain);
        return true;
    }
    const Group* g = on.FindGroup(name);
    if (g == nullptr || !g->builtin)
        return false;
    Fill(out, on.GroupSid(*g), kBuiltinDomain, g->name, SidTypeAlias);
    return true;
}

// A domain's groups are global groups; a computer's own are aliases.
SID_NAME_USE GroupUse(const Computer& d)
{
    return d.dc.empty() ? SidTypeAlias : SidTypeGroup;
}

// The accounts of one account domain (a computer's own, not its BUILTIN aliases,
// or a domain's). A computer's account domain also holds the group "None"
// (RID 513), every local user's primary group: a SAM group, not an alias, so
// NetLocalGroupEnum does not list it while LSA resolves it as SidTypeGroup.
bool ResolveDomainAccount(const Computer& d, const std::wstring& name, Resolved& out)
{
    if (const User* u = d.FindUser(name)) {
        Fill(out, d.UserSid(*u), d.name, u->name, SidTypeUser);
        return true;
    }
    const Group* g = d.FindGroup(name);
    if (g != nullptr && !g->builtin) {
        Fill(out, d.GroupSid(*g), d.name, g->name, GroupUse(d));
        return true;
    }
    if (d.dc.empty() && SameText(name, L"None")) {
        Fill(out, d.domainSid + L"-" + std::to_wstring(kRidNone), d.name, L"None", SidTypeGroup);
        return true;
    }
    return false;
}

bool ResolveDomainRid(const Computer& d, const std::wstring& sid, DWORD rid, Resolved& out)
{
    if (const User* u = d.FindUserByRid(rid)) {
        Fill(out, d.UserSid(*u), d.name, u->name, SidTypeUser);
        return true;
    }
    if (const Group* g = d.FindGroupBySid(sid)) {
        Fill(out, d.GroupSid(*g), d.name, g->name, GroupUse(d));
        return true;
    }
    if (d.dc.empty() && rid == kRidNone) {
        Fill(out, sid, d.name, L"None", SidTypeGroup);
        return true;
    }
    return false;
}

// The account domains a computer knows by name or SID: its own and the one it has
// joined (a member computer trusts its domain). Another computer's local
// accounts are not among them: "a workgroup computer trusts no other domain".
std::vector<const Computer*> KnownDomains(const World& w, const Computer& on)
{
    std::vector<const Computer*> known{&on};
    if (const Computer* d = w.JoinedDomain(on))
        known.push_back(d);
    return known;
}

} // namespace

bool ResolveName(const World& w, const Computer& on, const std::wstring& full, Resolved& out)
{
    size_t slash = full.find(L'\\');
    if (slash != std::wstring::npos) {
        std::wstring domain = full.substr(0, slash);
        std::wstring name = full.substr(slash + 1);
        if (ResolveWellKnownName(domain, true, name, out))
            return true;
        if (SameText(domain, kBuiltinDomain))
            return ResolveBuiltinName(on, name, out);
        if (SameText(domain, kMicrosoftAccountDomain))
            return ResolveMicrosoftAccount(on, &name, nullptr, out);
        // A NetBIOS domain name the computer knows (not an address).
        for (const Computer* d : KnownDomains(w, on)) {
            if (!SameText(d->name, domain))
                continue;
            if (name.empty()) {
                Fill(out, d->domainSid, d->name, L"", SidTypeDomain);
                return true;
            }
            return ResolveDomainAccount(*d, name, out);
        }
        return false;
    }
    // An isolated name, in the order LSA searches: well-known names, the BUILTIN
    // domain, the account domain's own name, its accounts, then the joined
    // domain's name and accounts. A user that bears the computer's name is
    // therefore found only in the qualified form.
    // An empty name is the BUILTIN domain, as Wine's LookupAccountNameW answers it
    // (dlls/advapi32/security.c); nothing documents it as the computer's own domain.
    if (full.empty()) {
        Fill(out, kBuiltinSid, kBuiltinDomain, L"", SidTypeDomain);
        return true;
    }
    if (ResolveWellKnownName(L"", false, full, out))
        return true;
    if (SameText(full, kBuiltinDomain) || ResolveBuiltinName(on, full, out)) {
        if (SameText(full, kBuiltinDomain))
            Fill(out, kBuiltinSid, kBuiltinDomain, L"", SidTypeDomain);
        return true;
    }
    // A domain member does not map its own name alone (reported from Windows as
    // ERROR_NONE_MAPPED; the reference pages are silent, so the stricter answer):
    // its account domain is found by LsaQueryInformationPolicy or as "NAME\".
    bool member = w.JoinedDomain(on) != nullptr;
    for (const Computer* d : KnownDomains(w, on)) {
        if (SameText(full, d->name) && !(member && d == &on)) {
            Fill(out, d->domainSid, d->name, L"", SidTypeDomain);
            return true;
        }
        if (ResolveDomainAccount(*d, full, out))
            return true;
    }
    return false;
}

bool ResolveSid(const World& w, const Computer& on, const std::wstring& sid, Resolved& out)
{
    if (ResolveMicrosoftAccount(on, nullptr, &sid, out))
        return true;
    for (const WellKnown& k : kWellKnown) {
        if (SameText(sid, k.sid)) {
            Fill(out, k.sid, k.use == SidTypeDomain ? k.name : k.domain,
                 k.use == SidTypeDomain ? L"" : k.name, k.use);
            return true;
        }
    }
    if (SameText(sid, kBuiltinSid)) {
        Fill(out, kBuiltinSid, kBuiltinDomain, L"", SidTypeDomain);
        return true;
    }
    std::vector<const Computer*> known = KnownDomains(w, on);
    for (const Computer* d : known) {
        if (SameText(sid, d->domainSid)) {
            Fill(out, d->domainSid, d->name, L"", SidTypeDomain);
            return true;
        }
    }
    std::wstring domain;
    DWORD rid = 0;
    if (!SplitSid(sid, domain, rid))
        return false;
    if (SameText(domain, kBuiltinSid)) {
        const Group* g = on.FindGroupBySid(sid);
        if (g == nullptr)
            return false;
        Fill(out, on.GroupSid(*g), kBuiltinDomain, g->name, SidTypeAlias);
        return true;
    }
    for (const Computer* d : known)
        if (SameText(domain, d->domainSid))
            return ResolveDomainRid(*d, sid, rid, out);
    return false;
}

// MS-SAMR 3.1.5.14.4 (PasswordMustChange generation): UF_DONT_EXPIRE_PASSWD wins
// over both the mark and the maximum age.
bool PasswordExpired(const Computer& c, const User& u, int64_t now)
{
    if (u.flags & UF_DONT_EXPIRE_PASSWD)
        return false;
    if (u.passwordExpired)
        return true;
    if (c.policy.maxAge == kTimeqForever)
        return false;
    return now - u.passwordLastSet > static_cast<int64_t>(c.policy.maxAge);
}

bool MustChangePassword(const User& u)
{
    return u.passwordExpired && !(u.flags & UF_DONT_EXPIRE_PASSWD);
}

// MS-SAMR 3.1.5.13.7.1 (SamValidateAuthentication): locked while the current time
// is not past lockoutTime plus the lock-out duration. A duration of TIMEQ_FOREVER
// (the local policy's 0) keeps the account locked until an administrator unlocks it.
bool LockedOut(const Computer& c, const User& u, int64_t now)
{
    if (!u.locked)
        return false;
    if (c.policy.lockoutDuration == kTimeqForever || u.lockoutTime == 0)
        return true;
    return now <= u.lockoutTime + static_cast<int64_t>(c.policy.lockoutDuration);
}

DWORD ReportedFlags(const Computer& c, const User& u, int64_t now)
{
    DWORD flags = u.flags & ~(UF_LOCKOUT | UF_PASSWORD_EXPIRED);
    if (LockedOut(c, u, now))
        flags |= UF_LOCKOUT;
    if (PasswordExpired(c, u, now))
        flags |= UF_PASSWORD_EXPIRED;
    return flags;
}

bool InBuiltinGroup(const Computer& c, const User& u, DWORD aliasRid)
{
    std::wstring sid = c.UserSid(u);
    for (const Group& g : c.groups)
        if (g.builtin && g.rid == aliasRid)
            return c.IsMember(g, sid);
    return false;
}

} // namespace ambsim
