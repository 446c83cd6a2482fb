// NETAPI32's local-group functions: groups, their descriptions and members.
#include <algorithm>

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

DWORD GroupNameClash(const Computer& c, const std::wstring& name, const Group* except)
{
    const Group* g = c.FindGroup(name);
    if (g != nullptr && g != except)
        return ERROR_ALIAS_EXISTS;
    if (c.FindUser(name) != nullptr)
        return NERR_UserExists;
    return 0;
}

DWORD CheckComment(const wchar_t* comment, LPDWORD parmErr)
{
    if (comment != nullptr && wcslen(comment) > MAXCOMMENTSZ)
        return Invalid(parmErr, LOCALGROUP_COMMENT_PARMNUM);
    return 0;
}

// ---------------------------------------------------------------- groups

struct GroupList
{
    const Computer* computer;
    std::vector<const Group*> groups;
};

void FillGroup0(Packer& p, const void* ctx, size_t i, BYTE* e)
{
    const Group& g = *static_cast<const GroupList*>(ctx)->groups[i];
    reinterpret_cast<LOCALGROUP_INFO_0*>(e)->lgrpi0_name = p.Str(g.name);
}

void FillGroup1(Packer& p, const void* ctx, size_t i, BYTE* e)
{
    const Group& g = *static_cast<const GroupList*>(ctx)->groups[i];
    auto* r = reinterpret_cast<LOCALGROUP_INFO_1*>(e);
    r->lgrpi1_name = p.Str(g.name);
    r->lgrpi1_comment = p.Str(g.comment);
}

// NetLocalGroupEnum's levels 0 and 1.
bool GroupLevel(DWORD level, size_t& size, FillEntry& fill)
{
    switch (level) {
    case 0:
        size = sizeof(LOCALGROUP_INFO_0);
        fill = FillGroup0;
        return true;
    case 1:
        size = sizeof(LOCALGROUP_INFO_1);
        fill = FillGroup1;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- members

struct MemberView
{
    std::wstring sid;
    std::wstring name;          // account name alone
    std::wstring domainAndName; // DOMAIN\name
    SID_NAME_USE use;
};

struct MemberList
{
    std::vector<MemberView> members;
};

MemberView ViewMember(const World& w, const Computer& c, const std::wstring& sid)
{
    MemberView v;
    v.sid = sid;
    Resolved r;
    if (ResolveSid(w, c, sid, r)) {
        v.name = r.name;
        v.domainAndName = r.domain.empty() ? r.name : r.domain + L"\\" + r.name;
        v.use = r.use;
        return v;
    }
    // An account that no longer exists stays a member by its SID alone.
    std::wstring domain;
    DWORD rid = 0;
    bool ownDomain = SplitSid(sid, domain, rid) && SameText(domain, c.domainSid);
    v.name = sid;
    v.domainAndName = sid;
    v.use = ownDomain ? SidTypeDeletedAccount : SidTypeUnknown;
    return v;
}

void FillMember0(Packer& p, const void* ctx, size_t i, BYTE* e)
{
    const MemberView& m = static_cast<const MemberList*>(ctx)->members[i];
    reinterpret_cast<LOCALGROUP_MEMBERS_INFO_0*>(e)->lgrmi0_sid = p.Sid(m.sid);
}

void FillMember1(Packer& p, const void* ctx, size_t i, BYTE* e)
{
    const MemberView& m = static_cast<const MemberList*>(ctx)->members[i];
    auto* r = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_1*>(e);
    r->lgrmi1_sid = p.Sid(m.sid);
    r->lgrmi1_sidusage = m.use;
    r->lgrmi1_name = p.Str(m.name);
}

void FillMember2(Packer& p, const void* ctx, size_t i, BYTE* e)
{
    const MemberView& m = static_cast<const MemberList*>(ctx)->members[i];
    auto* r = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(e);
    r->lgrmi2_sid = p.Sid(m.sid);
    r->lgrmi2_sidusage = m.use;
    r->lgrmi2_domainandname = p.Str(m.domainAndName);
}

void FillMember3(Packer& p, const void* ctx, size_t i, BYTE* e)
{
    const MemberView& m = static_cast<const MemberList*>(ctx)->members[i];
    reinterpret_cast<LOCALGROUP_MEMBERS_INFO_3*>(e)->lgrmi3_domainandname = p.Str(m.domainAndName);
}

// Whether a SID belongs to a domain this computer's SAM answers for itself: its
// own account domain or BUILTIN. SAM checks such a SID against its own database
// and refuses an unknown one; any other domain's SID it takes as a foreign member.
bool InOwnDomains(const Computer& c, const std::wstring& sid)
{
    std::wstring domain;
    DWORD rid = 0;
    return SplitSid(sid, domain, rid) &&
           (SameText(domain, c.domainSid) || SameText(domain, kBuiltinSid));
}

// Turns the caller's member entries (level 0 SIDs or level 3 names) into SIDs.
// By SID, SAM refuses only an unknown SID of its own account domain or of BUILTIN
// and takes any other SID as it is, a foreign member it need not know (MS-SAMR 3.1.5.8.4
// SamrAddMemberToAlias, step 5). `mustResolve` false lets every SID through
// (removal asks the alias alone).
// `kept`, when given, holds the group's members before a replacement: a SID
// already among them is kept whatever it names now. MS-SAMR has no call that
// replaces an alias's members, only SamrAddMemberToAlias and
// SamrRemoveMemberFromAlias (3.1.5.8.2, 3.1.5.8.5), so NetLocalGroupSetMembers
// adds the members that are new and removes those left out; one that is there
// already is not added again, and a member whose account was deleted stays.
DWORD MemberSids(const World& w, const Computer& c, DWORD level, const BYTE* buf, DWORD count,
                 bool mustResolve, const Group* kept, std::vector<std::wstring>& sids)
{
    for (DWORD i = 0; i < count; ++i) {
        Resolved r;
        if (level == 0) {
            PSID sid = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_0*>(buf)[i].lgrmi0_sid;
            std::wstring text = SidToText(sid);
            if (text.empty())
                return ERROR_INVALID_PARAMETER;
            if (!ResolveSid(w, c, text, r)) {
                if (mustResolve && InOwnDomains(c, text) &&
                    (kept == nullptr || !c.IsMember(*kept, text)))
                    return ERROR_NO_SUCH_MEMBER;
                sids.push_back(text);
                continue;
            }
        } else {
            const wchar_t* name =
                reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf)[i].lgrmi3_domainandname;
            if (name == nullptr)
                return ERROR_INVALID_PARAMETER;
            if (!ResolveName(w, c, name, r))
                return ERROR_NO_SUCH_MEMBER;
        }
        // Aliases cannot hold aliases, and a domain is not an account.
        if (r.use == SidTypeAlias || r.use == SidTypeDomain || r.use == SidTypeInvalid)
            return ERROR_INVALID_MEMBER;
        sids.push_back(r.sid);
    }
    return 0;
}

bool MemberLevel(DWORD level)
{
    return level == 0 || level == 3;
}

void RemoveMember(Group& g, const std::wstring& sid)
{
    g.members.erase(std::remove_if(g.members.begin(), g.members.end(),
                                   [&](const std::wstring& m) { return SameText(m, sid); }),
                    g.members.end());
}

} // namespace

// ================================================================ exports

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf,
                                                         LPDWORD parm_err)
{
    return Guard([&]() -> DWORD {
        if (level != 0 && level != 1)
            return ERROR_INVALID_LEVEL;
        if (buf == nullptr)
            return Invalid(parm_err, PARM_ERROR_UNKNOWN);
        const wchar_t* name = reinterpret_cast<LOCALGROUP_INFO_0*>(buf)->lgrpi0_name;
        const wchar_t* comment =
            level == 1 ? reinterpret_cast<LOCALGROUP_INFO_1*>(buf)->lgrpi1_comment : nullptr;
        return ChangeAt(L"NetLocalGroupAdd", server, [&](const World&, Computer* c) -> DWORD {
            if (name == nullptr || name[0] == 0)
                return Invalid(parm_err, LOCALGROUP_NAME_PARMNUM);
            DWORD status = CheckGroupName(name);
            if (status != 0)
                return status;
            status = CheckComment(comment, parm_err);
            if (status != 0)
                return status;
            status = GroupNameClash(*c, name, nullptr);
            if (status != 0)
                return status;
            Group g;
            g.name = name;
            g.rid = c->nextRid++;
            g.comment = Str(comment);
            c->groups.push_back(g);
            c->Reindex();
            return 0;
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupDel(LPCWSTR server, LPCWSTR groupname)
{
    return Guard([&]() -> DWORD {
        if (groupname == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ChangeAt(L"NetLocalGroupDel", server, [&](const World&, Computer* c) -> DWORD {
            Group* g = c->FindGroup(groupname);
            if (g == nullptr)
                return NERR_GroupNotFound;
            if (g->builtin)
                return ERROR_SPECIAL_ACCOUNT;
            c->groups.erase(c->groups.begin() + (g - c->groups.data()));
            c->Reindex();
            return 0;
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupEnum(LPCWSTR server, DWORD level,
                                                          LPBYTE* bufptr, DWORD prefmaxlen,
                                                          LPDWORD entriesread, LPDWORD totalentries,
                                                          PDWORD_PTR resumehandle)
{
    return Guard([&]() -> DWORD {
        if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = 0;
        *totalentries = 0;
        size_t size = 0;
        FillEntry fill = nullptr;
        if (!GroupLevel(level, size, fill))
            return ERROR_INVALID_LEVEL;
        return ReadWorldFor(L"NetLocalGroupEnum", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            // BUILTIN aliases first, then the computer's own, each in identifier order.
            GroupList list{c, {}};
            for (const Group& g : c->groups)
                list.groups.push_back(&g);
            std::stable_sort(list.groups.begin(), list.groups.end(),
                             [](const Group* a, const Group* b) {
                                 if (a->builtin != b->builtin)
                                     return a->builtin;
                                 return a->rid < b->rid;
                             });
            size_t first = resumehandle ? static_cast<size_t>(*resumehandle) : 0;
            size_t total = list.groups.size();
            if (first > total)
                first = total;
            size_t count = EntriesThatFit(size, fill, &list, first, total, prefmaxlen);
            status = PackEntries(size, fill, &list, first, count, bufptr);
            if (status != 0)
                return status;
            *entriesread = static_cast<DWORD>(count);
            *totalentries = static_cast<DWORD>(total - first);
            bool more = first + count < total;
            if (resumehandle != nullptr)
                *resumehandle = more ? first + count : 0;
            return more ? DWORD(ERROR_MORE_DATA) : DWORD(NERR_Success);
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupGetInfo(LPCWSTR server, LPCWSTR groupname,
                                                             DWORD level, LPBYTE* bufptr)
{
    return Guard([&]() -> DWORD {
        if (bufptr == nullptr)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        // The reference page documents level 1 alone (name and comment); level 0
        // and the one-field level 1002 of NetLocalGroupSetInfo are refused.
        if (level != 1)
            return ERROR_INVALID_LEVEL;
        if (groupname == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"NetLocalGroupGetInfo", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            const Group* g = c->FindGroup(groupname);
            if (g == nullptr)
                return NERR_GroupNotFound;
            GroupList list{c, {g}};
            return PackEntries(sizeof(LOCALGROUP_INFO_1), FillGroup1, &list, 0, 1, bufptr);
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupSetInfo(LPCWSTR server, LPCWSTR groupname,
                                                             DWORD level, LPBYTE buf,
                                                             LPDWORD parm_err)
{
    return Guard([&]() -> DWORD {
        if (level != 0 && level != 1 && level != 1002)
            return ERROR_INVALID_LEVEL;
        if (groupname == nullptr || buf == nullptr)
            return Invalid(parm_err, PARM_ERROR_UNKNOWN);
        return ChangeAt(L"NetLocalGroupSetInfo", server, [&](const World&, Computer* c) -> DWORD {
            DWORD status = 0;
            Group* g = c->FindGroup(groupname);
            if (g == nullptr)
                return NERR_GroupNotFound;
            if (level == 0) {
                const wchar_t* name = reinterpret_cast<LOCALGROUP_INFO_0*>(buf)->lgrpi0_name;
                if (name == nullptr)
                    return Invalid(parm_err, LOCALGROUP_NAME_PARMNUM);
                status = CheckGroupName(name);
                if (status != 0)
                    return status;
                status = GroupNameClash(*c, name, g);
                if (status != 0)
                    return status;
                g->name = name;
                c->Reindex();
                return 0;
            }
            // Level 1 changes the comment only; its name member is ignored.
            const wchar_t* comment =
                level == 1 ? reinterpret_cast<LOCALGROUP_INFO_1*>(buf)->lgrpi1_comment
                           : reinterpret_cast<LOCALGROUP_INFO_1002*>(buf)->lgrpi1002_comment;
            status = CheckComment(comment, parm_err);
            if (status != 0)
                return status;
            g->comment = Str(comment);
            return 0;
        });
    });
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupGetMembers(
    LPCWSTR server, LPCWSTR groupname, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
    LPDWORD entriesread, LPDWORD totalentries, PDWORD_PTR resumehandle)
{
    return Guard([&]() -> DWORD {
        if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = 0;
        *totalentries = 0;
        static const FillEntry fills[] = {FillMember0, FillMember1, FillMember2, FillMember3};
        static const size_t sizes[] = {
            sizeof(LOCALGROUP_MEMBERS_INFO_0), sizeof(LOCALGROUP_MEMBERS_INFO_1),
            sizeof(LOCALGROUP_MEMBERS_INFO_2), sizeof(LOCALGROUP_MEMBERS_INFO_3)};
        if (level > 3)
            return ERROR_INVALID_LEVEL;
        if (groupname == nullptr)
            return ERROR_INVALID_PARAMETER;
        return ReadWorldFor(L"NetLocalGroupGetMembers", [&](const World& w) -> DWORD {
            const Computer* c = nullptr;
            DWORD status = Open(w, server, false, c);
            if (status != 0)
                return status;
            const Group* g = c->FindGroup(groupname);
            if (g == nullptr)
                return NERR_GroupNotFound;
            MemberList list;
            for (const std::wstring& sid : g->members)
                list.members.push_back(ViewMember(w, *c, sid));
            size_t total = list.members.size();
            size_t first = resumehandle ? static_cast<size_t>(*resumehandle) : 0;
            if (first > total)
                first = total;
            size_t count =
                EntriesThatFit(sizes[level], fills[level], &list, first, total, prefmaxlen);
            status = PackEntries(sizes[level], fills[level], &list, first, count, bufptr);
            if (status != 0)
                return status;
            *entriesread = static_cast<DWORD>(count);
            *totalentries = static_cast<DWORD>(total - first);
            bool more = first + count < total;
            if (resumehandle != nullptr)
                *resumehandle = more ? first + count : 0;
            return more ? DWORD(ERROR_MORE_DATA) : DWORD(NERR_Success);
        });
    });
}

namespace {

enum class MemberChange { Add, Set, Delete };

// One all-or-nothing change of a group's members.
DWORD ChangeMembers(const wchar_t* function, LPCWSTR server, LPCWSTR groupname, DWORD level,
                    const BYTE* buf, DWORD count, MemberChange how)
{
    return Guard([&]() -> DWORD {
        if (!MemberLevel(level))
            return ERROR_INVALID_LEVEL;
        if (groupname == nullptr || (buf == nullptr && count != 0))
            return ERROR_INVALID_PARAMETER;
        return ChangeAt(function, server, [&](const World& w, Computer* c) -> DWORD {
            Group* g = c->FindGroup(groupname);
            if (g == nullptr)
                return NERR_GroupNotFound;
            std::vector<std::wstring> sids;
            DWORD status = MemberSids(w, *c, level, buf, count, how != MemberChange::Delete,
                                      how == MemberChange::Set ? g : nullptr, sids);
            if (status != 0)
                return status;
            std::vector<std::wstring> members = g->members;
            for (const std::wstring& sid : sids) {
                bool present = std::any_of(members.begin(), members.end(),
                                           [&](const std::wstring& m) { return SameText(m, sid); });
                if (how == MemberChange::Add) {
                    if (present)
                        return ERROR_MEMBER_IN_ALIAS;
                    members.push_back(sid);
                } else if (how == MemberChange::Delete) {
                    // MS-SAMR 3.1.5.8.5 SamrRemoveMemberFromAlias asks the alias
                    // alone: whatever the SID names, one not there is not in it.
                    if (!present)
                        return ERROR_MEMBER_NOT_IN_ALIAS;
                    Group scratch;
                    scratch.members = members;
                    RemoveMember(scratch, sid);
                    members = scratch.members;
                }
            }
            if (how == MemberChange::Set) {
                // Members that stay keep their place; new ones follow in list order.
                std::vector<std::wstring> result;
                for (const std::wstring& m : g->members)
                    if (std::any_of(sids.begin(), sids.end(),
                                    [&](const std::wstring& s) { return SameText(m, s); }))
                        result.push_back(m);
                for (const std::wstring& s : sids)
                    if (!std::any_of(result.begin(), result.end(),
                                     [&](const std::wstring& m) { return SameText(m, s); }))
                        result.push_back(s);
                members = result;
            }
            g->members = members;
            return 0;
        });
    });
}

} // namespace

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupAddMembers(LPCWSTR server, LPCWSTR groupname,
                                                                DWORD level, LPBYTE buf,
                                                                DWORD totalentries)
{
    return ChangeMembers(L"NetLocalGroupAddMembers", server, groupname, level, buf, totalentries,
                         MemberChange::Add);
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupSetMembers(LPCWSTR server, LPCWSTR groupname,
                                                                DWORD level, LPBYTE buf,
                                                                DWORD totalentries)
{
    return ChangeMembers(L"NetLocalGroupSetMembers", server, groupname, level, buf, totalentries,
                         MemberChange::Set);
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupDelMembers(LPCWSTR server, LPCWSTR groupname,
                                                                DWORD level, LPBYTE buf,
                                                                DWORD totalentries)
{
    return ChangeMembers(L"NetLocalGroupDelMembers", server, groupname, level, buf, totalentries,
                         MemberChange::Delete);
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupAddMember(LPCWSTR server, LPCWSTR groupname,
                                                               PSID membersid)
{
    LOCALGROUP_MEMBERS_INFO_0 entry = {membersid};
    return ChangeMembers(L"NetLocalGroupAddMember", server, groupname, 0,
                         reinterpret_cast<BYTE*>(&entry), 1, MemberChange::Add);
}

extern "C" NET_API_STATUS WINAPI AmbSim_NetLocalGroupDelMember(LPCWSTR server, LPCWSTR groupname,
                                                               PSID membersid)
{
    LOCALGROUP_MEMBERS_INFO_0 entry = {membersid};
    return ChangeMembers(L"NetLocalGroupDelMember", server, groupname, 0,
                         reinterpret_cast<BYTE*>(&entry), 1, MemberChange::Delete);
}
