// The import's planner: every row checked against the target computer and
// turned into create, change (which fields) or nothing, with the memberships
// to add (and, when exact, to remove). It only reads.
#include "importinternal.h"

#include <lm.h>
#include <sddl.h>

#include <cwchar>

#include "accountdomain.h"
#include "errortext.h"

namespace {
constexpr DWORD NotPlanned = 0xFFFFFFFF;

// What the target holds: its users and local groups by name, read once, and
// the members of the groups the plan touches, read when first needed.
struct GroupMembers
{
    LPCWSTR group;
    NameIndex members; // "DOMAIN\name" -> 0
    LPBYTE buffer;     // LOCALGROUP_MEMBERS_INFO_2 from NetLocalGroupGetMembers
    DWORD count;
};

struct Target
{
    LPCWSTR server;
    NameIndex users;
    NameIndex groups;      // name -> index in comments
    LPWSTR* groupComments; // arena copies
    NameIndex rows;        // the file's names -> row
    NameIndex pairs;       // "GROUP\nDOMAIN\name" of every membership the file states
    NameIndex readGroups;  // group -> index in members
    GroupMembers* members;
    DWORD memberCount;
    DWORD memberCapacity;
};

void FreeTarget(Target& t)
{
    FreeNameIndex(t.users);
    FreeNameIndex(t.groups);
    FreeNameIndex(t.rows);
    FreeNameIndex(t.pairs);
    FreeNameIndex(t.readGroups);
    for (DWORD i = 0; i < t.memberCount; ++i) {
        FreeNameIndex(t.members[i].members);
        if (t.members[i].buffer != nullptr)
            NetApiBufferFree(t.members[i].buffer);
    }
    ImportFree(t.members);
    ImportFree(t.groupComments);
}

DWORD ReadTargetUsers(ImportTable* table, Target& t)
{
    DWORD resume = 0;
    NET_API_STATUS status;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetUserEnum(t.server, 0, FILTER_NORMAL_ACCOUNT, &buffer, MAX_PREFERRED_LENGTH,
                             &read, &total, &resume);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            auto* users = reinterpret_cast<USER_INFO_0*>(buffer);
            for (DWORD i = 0; i < read; ++i) {
                LPWSTR name = ArenaCopy(table, users[i].usri0_name);
                if (name == nullptr) {
                    status = ERROR_NOT_ENOUGH_MEMORY;
                    break;
                }
                AddName(t.users, name, 0);
            }
        }
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
    } while (status == ERROR_MORE_DATA);
    return status;
}

DWORD ReadTargetGroups(ImportTable* table, Target& t)
{
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    DWORD_PTR resume = 0;
    // Asked for everything at once: an answer in parts would leave groups out.
    NET_API_STATUS status =
        NetLocalGroupEnum(t.server, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if (status == NERR_Success && read > 0) {
        t.groupComments = static_cast<LPWSTR*>(ImportAlloc(read * sizeof(LPWSTR)));
        auto* groups = reinterpret_cast<LOCALGROUP_INFO_1*>(buffer);
        for (DWORD i = 0; status == NERR_Success && i < read; ++i) {
            LPWSTR name = ArenaCopy(table, groups[i].lgrpi1_name);
            LPWSTR comment = ArenaCopy(
                table, groups[i].lgrpi1_comment != nullptr ? groups[i].lgrpi1_comment : L"");
            if (name == nullptr || comment == nullptr || t.groupComments == nullptr)
                status = ERROR_NOT_ENOUGH_MEMORY;
            else {
                t.groupComments[i] = comment;
                AddName(t.groups, name, i);
            }
        }
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return status;
}

} // namespace

bool IsSidText(LPCWSTR text, PSID* sid)
{
    if (text == nullptr || (text[0] != L'S' && text[0] != L's') || text[1] != L'-')
        return false;
    PSID binary = nullptr;
    if (!ConvertStringSidToSidW(text, &binary) || binary == nullptr)
        return false;
    if (sid != nullptr)
        *sid = binary;
    else
        LocalFree(binary);
    return true;
}

namespace {

// A current member's text as the report writes it: its SID where the target
// cannot name it, so that such members are kept and found again.
template <typename Visit>
void VisitMemberTexts(const LOCALGROUP_MEMBERS_INFO_2& member, Visit visit)
{
    LPCWSTR name = member.lgrmi2_domainandname;
    bool named =
        name != nullptr && name[0] != L'\0' && member.lgrmi2_sidusage != SidTypeDeletedAccount &&
        member.lgrmi2_sidusage != SidTypeUnknown && member.lgrmi2_sidusage != SidTypeInvalid;
    if (named)
        visit(name);
    LPWSTR sidText = nullptr;
    if (member.lgrmi2_sid != nullptr && ConvertSidToStringSidW(member.lgrmi2_sid, &sidText) &&
        sidText != nullptr) {
        visit(static_cast<LPCWSTR>(sidText));
        LocalFree(sidText);
    }
}

// The current members of a group of the target, read once.
DWORD CurrentMembers(Target& t, LPCWSTR group, GroupMembers** found)
{
    DWORD at = 0;
    if (FindName(t.readGroups, group, &at)) {
        *found = &t.members[at];
        return 0;
    }
    if (t.memberCount == t.memberCapacity) {
        DWORD capacity = t.memberCapacity * 2 + 8;
        auto* larger = static_cast<GroupMembers*>(ImportAlloc(capacity * sizeof(GroupMembers)));
        if (larger == nullptr)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (t.members != nullptr)
            CopyMemory(larger, t.members, t.memberCount * sizeof(GroupMembers));
        ImportFree(t.members);
        t.members = larger;
        t.memberCapacity = capacity;
    }
    GroupMembers& entry = t.members[t.memberCount];
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = NetLocalGroupGetMembers(t.server, group, 2, &entry.buffer,
                                                    MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    if (status != NERR_Success) {
        if (entry.buffer != nullptr)
            NetApiBufferFree(entry.buffer);
        entry.buffer = nullptr;
        return status;
    }
    if (!InitNameIndex(entry.members, 2 * read))
        return ERROR_NOT_ENOUGH_MEMORY;
    auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(entry.buffer);
    for (DWORD i = 0; i < read; ++i)
        VisitMemberTexts(members[i], [&](LPCWSTR text) { AddName(entry.members, text, 0); });
    entry.group = group;
    entry.count = read;
    AddName(t.readGroups, group, t.memberCount);
    *found = &t.members[t.memberCount++];
    return 0;
}

// ---- Rows -------------------------------------------------------------------

bool Differs(LPCWSTR cell, LPCWSTR current)
{
    return cell[0] != L'\0' && wcscmp(cell, current != nullptr ? current : L"") != 0;
}

bool FlagDiffers(int wanted, bool current)
{
    return wanted >= 0 && (wanted != 0) != current;
}

bool SameExpiry(DWORD a, DWORD b)
{
    if (a == 0)
        a = TIMEQ_FOREVER;
    if (b == 0)
        b = TIMEQ_FOREVER;
    // The report shows minutes: a time within the same minute is the same.
    return a == b || (a != TIMEQ_FOREVER && b != TIMEQ_FOREVER && a / 60 == b / 60);
}

void PlanUserChange(ImportRow& row, const USER_INFO_4& user)
{
    DWORD flags = user.usri4_flags;
    DWORD changed = 0;
    if (Differs(row.cells[ColumnFullName], user.usri4_full_name))
        changed |= 1u << ColumnFullName;
    if (Differs(row.cells[ColumnComment], user.usri4_comment))
        changed |= 1u << ColumnComment;
    if (FlagDiffers(row.disabled, (flags & UF_ACCOUNTDISABLE) != 0))
        changed |= 1u << ColumnState;
    if (FlagDiffers(row.mustChange, (flags & UF_PASSWORD_EXPIRED) != 0))
        changed |= 1u << ColumnMustChange;
    if (FlagDiffers(row.cantChange, (flags & UF_PASSWD_CANT_CHANGE) != 0))
        changed |= 1u << ColumnCantChange;
    if (FlagDiffers(row.expiringPassword, (flags & UF_DONT_EXPIRE_PASSWD) == 0))
        changed |= 1u << ColumnPasswordExpires;
    if (row.hasAccountExpiry && !SameExpiry(row.accountExpiry, user.usri4_acct_expires))
        changed |= 1u << ColumnAccountExpires;
    row.changedColumns = changed;
    row.action = changed != 0 ? ImportChange : ImportNothing;
}

// A user who must change the password at the next logon but may not change it
// could never log on again.
void CheckPasswordRules(ImportTable* table, ImportRow& row, const USER_INFO_4* user)
{
    bool mustChange;
    bool cantChange;
    if (user == nullptr) {
        bool generated = row.cells[ColumnPassword][0] == L'\0';
        cantChange = row.cantChange == 1;
        mustChange = generated || row.mustChange == 1;
        if (generated && cantChange) {
            AddProblem(
                table, row.line,
                L"列「%s」: パスワードが空の新しいユーザーは次回ログイン時に変更が必要なため、変更禁止にはできません。",
                ImportColumnName(ColumnCantChange));
            return;
        }
    } else {
        mustChange = row.mustChange >= 0 ? row.mustChange == 1
                                         : (user->usri4_flags & UF_PASSWORD_EXPIRED) != 0;
        cantChange = row.cantChange >= 0 ? row.cantChange == 1
                                         : (user->usri4_flags & UF_PASSWD_CANT_CHANGE) != 0;
    }
    if (mustChange && cantChange)
        AddProblem(table, row.line, L"列「%s」と列「%s」を両方「はい」にはできません。",
                   ImportColumnName(ColumnMustChange), ImportColumnName(ColumnCantChange));
}

DWORD PlanUserRow(ImportTable* table, Target& t, ImportRow& row)
{
    LPCWSTR name = row.cells[ColumnName];
    if (FindName(t.groups, name)) {
        AddProblem(table, row.line,
                   L"列「名前」: このコンピューターには同じ名前のグループがあります。");
        return 0;
    }
    if (!FindName(t.users, name)) {
        row.action = ImportCreate;
        CheckPasswordRules(table, row, nullptr);
        return 0;
    }
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(t.server, name, 4, &buffer);
    if (status == NERR_Success && buffer != nullptr) {
        const auto& user = *reinterpret_cast<USER_INFO_4*>(buffer);
        PlanUserChange(row, user);
        CheckPasswordRules(table, row, &user);
    } else if (status == NERR_UserNotFound) {
        row.action = ImportCreate; // deleted since the list was read
        CheckPasswordRules(table, row, nullptr);
        status = 0;
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return status;
}

void PlanGroupRow(ImportTable* table, Target& t, ImportRow& row)
{
    LPCWSTR name = row.cells[ColumnName];
    DWORD at = 0;
    if (FindName(t.users, name)) {
        AddProblem(table, row.line,
                   L"列「名前」: このコンピューターには同じ名前のユーザーがあります。");
    } else if (!FindName(t.groups, name, &at)) {
        row.action = ImportCreate;
    } else if (Differs(row.cells[ColumnComment], t.groupComments[at])) {
        row.action = ImportChange;
        row.changedColumns = 1u << ColumnComment;
    } else {
        row.action = ImportNothing;
    }
}

// ---- Memberships ----------------------------------------------------------------

// Calls `visit` with a copy of each item of a list cell ("a; b; c"), trimmed
// of spaces. No account name comes near the copy's size: an item cut to it
// names no account and is reported as not found.
template <typename Visit> void ForEachItem(LPCWSTR cell, Visit visit)
{
    WCHAR item[520];
    LPCWSTR p = cell;
    while (*p != L'\0') {
        while (*p == L' ')
            ++p;
        LPCWSTR end = p;
        while (*end != L'\0' && *end != L';')
            ++end;
        size_t length = static_cast<size_t>(end - p);
        while (length > 0 && p[length - 1] == L' ')
            --length;
        if (length >= 520)
            length = 519;
        CopyMemory(item, p, length * sizeof(WCHAR));
        item[length] = L'\0';
        if (length > 0)
            visit(item);
        p = *end == L';' ? end + 1 : end;
    }
}

// "GROUP\nMEMBER": the key of a membership in the pair index.
LPWSTR PairKey(ImportTable* table, LPCWSTR group, LPCWSTR member)
{
    WCHAR key[600];
    size_t g = wcslen(group);
    size_t m = wcslen(member);
    if (g + m + 2 > 600)
        return nullptr;
    CopyMemory(key, group, g * sizeof(WCHAR));
    key[g] = L'\n';
    CopyMemory(key + g + 1, member, (m + 1) * sizeof(WCHAR));
    return ArenaCopy(table, key);
}

DWORD AddMembership(ImportTable* table, LPCWSTR group, LPCWSTR member, DWORD owner, bool remove)
{
    if (table->membershipCount == table->membershipCapacity) {
        DWORD capacity = table->membershipCapacity * 2 + 64;
        auto* larger =
            static_cast<ImportMembership*>(ImportAlloc(capacity * sizeof(ImportMembership)));
        if (larger == nullptr)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (table->memberships != nullptr)
            CopyMemory(larger, table->memberships,
                       table->membershipCount * sizeof(ImportMembership));
        ImportFree(table->memberships);
        table->memberships = larger;
        table->membershipCapacity = capacity;
    }
    ImportMembership& m = table->memberships[table->membershipCount++];
    m.group = ArenaCopy(table, group);
    m.member = ArenaCopy(table, member);
    m.owner = owner;
    m.remove = remove;
    return m.group != nullptr && m.member != nullptr ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

// A membership the file states; the first row to state it owns it.
DWORD StatePair(ImportTable* table, Target& t, LPCWSTR group, LPCWSTR member, DWORD owner)
{
    LPWSTR key = PairKey(table, group, member);
    if (key == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (!AddName(t.pairs, key, 0))
        return 0;
    return AddMembership(table, group, member, owner, false);
}

// "DOMAIN\name" of one of the target's own accounts.
LPWSTR Qualified(ImportTable* table, LPCWSTR name)
{
    WCHAR text[520];
    size_t d = wcslen(table->domain);
    size_t n = wcslen(name);
    if (d + n + 2 > 520)
        return nullptr;
    CopyMemory(text, table->domain, d * sizeof(WCHAR));
    text[d] = L'\\';
    CopyMemory(text + d + 1, name, (n + 1) * sizeof(WCHAR));
    return ArenaCopy(table, text);
}

bool IsGroupName(const ImportTable* table, Target& t, LPCWSTR name)
{
    DWORD row = 0;
    if (FindName(t.rows, name, &row))
        return table->rows[row].group;
    return FindName(t.groups, name);
}

bool IsUserName(const ImportTable* table, Target& t, LPCWSTR name)
{
    DWORD row = 0;
    if (FindName(t.rows, name, &row))
        return !table->rows[row].group;
    return FindName(t.users, name);
}

// Asks the target for an account it does not hold itself (a domain account or
// a well-known one). Returns the lookup's status; `domain` gets the domain it
// was found in.
DWORD LookUp(LPCWSTR server, LPCWSTR name, LPWSTR domain, SID_NAME_USE* use)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    DWORD domainChars = 256;
    if (LookupAccountNameW(server, name, sid, &sidSize, domain, &domainChars, use))
        return 0;
    DWORD status = GetLastError();
    return status != 0 ? status : ERROR_NONE_MAPPED;
}

void MemberProblem(ImportTable* table, const ImportRow& row, LPCWSTR member, LPCWSTR what)
{
    AddProblem(table, row.line, L"列「%s」: 「%.64s」%s", ImportColumnName(ColumnMembers), member,
               what);
}

// The member as the target names it ("DOMAIN\name"), or null with a problem.
// An account named like one of the file's rows but qualified with another
// computer's name comes from the computer the report was made on: it is the
// row's account here, unless the target knows that name as it is.
LPWSTR ResolveMember(ImportTable* table, Target& t, const ImportRow& row, LPWSTR item)
{
    if (IsSidText(item))
        return ArenaCopy(table, item);
    LPWSTR slash = wcschr(item, L'\\');
    LPCWSTR local = nullptr;
    WCHAR domain[256];
    SID_NAME_USE use = SidTypeUnknown;
    if (slash != nullptr) {
        *slash = L'\0';
        bool ours = SameName(item, table->domain);
        *slash = L'\\';
        LPCWSTR name = slash + 1;
        if (ours) {
            local = name;
        } else {
            DWORD status = LookUp(t.server, item, domain, &use);
            if (status == 0) {
                if (use == SidTypeAlias) {
                    MemberProblem(
                        table, row, item,
                        L"はローカル グループです。ローカル グループのメンバーにはできません。");
                    return nullptr;
                }
                return ArenaCopy(table, item);
            }
            if (status == ERROR_NONE_MAPPED && FindName(t.rows, name))
                local = name;
            else {
                LPWSTR reason = status == ERROR_NONE_MAPPED ? nullptr : FormatErrorText(status);
                if (reason == nullptr)
                    MemberProblem(table, row, item,
                                  L"はファイルにもこのコンピューターにもありません。");
                else {
                    AddProblem(table, row.line, L"列「%s」: 「%.64s」を確認できません: %s",
                               ImportColumnName(ColumnMembers), item, reason);
                    LocalFree(reason);
                }
                return nullptr;
            }
        }
    } else if (FindName(t.rows, item) || FindName(t.users, item) || FindName(t.groups, item)) {
        local = item;
    } else {
        DWORD status = LookUp(t.server, item, domain, &use);
        if (status != 0 || use == SidTypeAlias || use == SidTypeDomain) {
            MemberProblem(table, row, item, L"はファイルにもこのコンピューターにもありません。");
            return nullptr;
        }
        WCHAR text[520];
        if (domain[0] == L'\0' || wcslen(domain) + wcslen(item) + 2 > 520)
            return ArenaCopy(table, item);
        CopyMemory(text, domain, (wcslen(domain) + 1) * sizeof(WCHAR));
        wcscat(text, L"\\");
        wcscat(text, item);
        return ArenaCopy(table, text);
    }
    if (IsGroupName(table, t, local)) {
        MemberProblem(table, row, local,
                      L"はローカル グループです。ローカル グループのメンバーにはできません。");
        return nullptr;
    }
    if (!IsUserName(table, t, local)) {
        MemberProblem(table, row, local, L"はファイルにもこのコンピューターにもありません。");
        return nullptr;
    }
    return Qualified(table, local);
}

DWORD StateGroupMembers(ImportTable* table, Target& t, DWORD index)
{
    ImportRow& row = table->rows[index];
    DWORD status = 0;
    ForEachItem(row.cells[ColumnMembers], [&](LPWSTR item) {
        LPWSTR member = ResolveMember(table, t, row, item);
        if (member != nullptr && status == 0)
            status = StatePair(table, t, row.cells[ColumnName], member, index);
    });
    return status;
}

DWORD StateUserGroups(ImportTable* table, Target& t, DWORD index)
{
    ImportRow& row = table->rows[index];
    LPWSTR self = Qualified(table, row.cells[ColumnName]);
    if (self == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD status = 0;
    ForEachItem(row.cells[ColumnGroups], [&](LPWSTR item) {
        DWORD groupRow = 0;
        DWORD at = 0;
        LPCWSTR group = nullptr;
        if (FindName(t.rows, item, &groupRow) && table->rows[groupRow].group)
            group = table->rows[groupRow].cells[ColumnName];
        else if (FindName(t.groups, item, &at))
            group = item;
        if (group == nullptr) {
            AddProblem(
                table, row.line,
                L"列「%s」: グループ「%.64s」はファイルにもこのコンピューターにもありません。",
                ImportColumnName(ColumnGroups), item);
            return;
        }
        if (status == 0)
            status = StatePair(table, t, group, self, index);
    });
    return status;
}

// Drops the stated memberships that the target has already.
DWORD DropPresent(ImportTable* table, Target& t)
{
    DWORD kept = 0;
    for (DWORD i = 0; i < table->membershipCount; ++i) {
        ImportMembership& m = table->memberships[i];
        bool present = false;
        if (FindName(t.groups, m.group)) {
            GroupMembers* members = nullptr;
            DWORD status = CurrentMembers(t, m.group, &members);
            if (status != 0)
                return status;
            present = FindName(members->members, m.member);
        }
        if (!present)
            table->memberships[kept++] = m;
    }
    table->membershipCount = kept;
    return 0;
}

// A current member that the group's row does not list, by name or by SID, goes;
// one without a name goes by its SID.
DWORD PlanMemberRemoval(ImportTable* table, Target& t, DWORD index,
                        const LOCALGROUP_MEMBERS_INFO_2& member)
{
    LPCWSTR group = table->rows[index].cells[ColumnName];
    bool listed = false;
    LPWSTR last = nullptr;
    DWORD status = 0;
    VisitMemberTexts(member, [&](LPCWSTR text) {
        LPWSTR key = PairKey(table, group, text);
        if (key == nullptr)
            status = ERROR_NOT_ENOUGH_MEMORY;
        else
            listed = listed || FindName(t.pairs, key);
        if (last == nullptr)
            last = ArenaCopy(table, text); // the name, else the SID
    });
    if (status != 0 || listed || last == nullptr)
        return status;
    LPWSTR key = PairKey(table, group, last);
    if (key == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    AddName(t.pairs, key, 0);
    return AddMembership(table, group, last, index, true);
}

// Exact memberships: a group row that lists members loses the others; a user
// row that lists groups leaves the others. Memberships the file states in
// either place stay.
DWORD PlanRemovals(ImportTable* table, Target& t)
{
    for (DWORD index = 0; index < table->rowCount; ++index) {
        ImportRow& row = table->rows[index];
        if (row.action == ImportCreate)
            continue; // a new account has only what the plan gives it
        if (row.group && row.cells[ColumnMembers][0] != L'\0') {
            GroupMembers* members = nullptr;
            DWORD status = CurrentMembers(t, row.cells[ColumnName], &members);
            if (status != 0)
                return status;
            auto* current = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(members->buffer);
            DWORD read = members->count;
            for (DWORD i = 0; status == 0 && i < read; ++i)
                status = PlanMemberRemoval(table, t, index, current[i]);
            if (status != 0)
                return status;
        }
        if (!row.group && row.cells[ColumnGroups][0] != L'\0') {
            LPWSTR self = Qualified(table, row.cells[ColumnName]);
            LPBYTE buffer = nullptr;
            DWORD read = 0;
            DWORD total = 0;
            NET_API_STATUS status =
                self == nullptr
                    ? ERROR_NOT_ENOUGH_MEMORY
                    : NetUserGetLocalGroups(t.server, row.cells[ColumnName], 0, 0, &buffer,
                                            MAX_PREFERRED_LENGTH, &read, &total);
            auto* groups = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(buffer);
            for (DWORD i = 0; status == NERR_Success && i < read; ++i) {
                LPWSTR key = PairKey(table, groups[i].lgrui0_name, self);
                if (key == nullptr)
                    status = ERROR_NOT_ENOUGH_MEMORY;
                else if (AddName(t.pairs, key, 0))
                    status = AddMembership(table, groups[i].lgrui0_name, self, index, true);
            }
            if (buffer != nullptr)
                NetApiBufferFree(buffer);
            if (status != NERR_Success)
                return status;
        }
    }
    return 0;
}

void CountMemberships(ImportTable* table)
{
    for (DWORD i = 0; i < table->membershipCount; ++i) {
        const ImportMembership& m = table->memberships[i];
        ImportRow& row = table->rows[m.owner];
        if (m.remove)
            ++row.membershipsRemoved;
        else
            ++row.membershipsAdded;
        if (row.action == ImportNothing)
            row.action = ImportChange;
    }
}

DWORD PlanRows(ImportTable* table, Target& t)
{
    for (DWORD i = 0; i < table->rowCount; ++i) {
        ImportRow& row = table->rows[i];
        AddName(t.rows, row.cells[ColumnName], i);
        if (row.group) {
            PlanGroupRow(table, t, row);
        } else {
            DWORD status = PlanUserRow(table, t, row);
            if (status != 0)
                return status;
        }
    }
    for (DWORD i = 0; i < table->rowCount; ++i) {
        DWORD status =
            table->rows[i].group ? StateGroupMembers(table, t, i) : StateUserGroups(table, t, i);
        if (status != 0)
            return status;
    }
    DWORD status = DropPresent(table, t);
    if (status == 0 && table->exact)
        status = PlanRemovals(table, t);
    if (status == 0)
        CountMemberships(table);
    return status;
}
} // namespace

DWORD PlanImport(ImportTable* table, LPCWSTR server, bool exact)
{
    if (table == nullptr || table->rows == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (!table->rowsComplete)
        return ERROR_INVALID_DATA; // the records after a broken one were never read
    table->exact = exact;
    // A table may be planned again (the exact option changed): from scratch.
    table->membershipCount = 0;
    table->problemCount = table->fileProblems;
    table->problemsNotListed = table->fileProblemsNotListed;
    table->removalsLocal = server == nullptr;
    for (DWORD i = 0; i < table->rowCount; ++i) {
        ImportRow& row = table->rows[i];
        row.action = ImportNothing;
        row.changedColumns = 0;
        row.membershipsAdded = 0;
        row.membershipsRemoved = 0;
    }
    DWORD status = GetAccountDomainName(server, table->domain, 256);
    if (status != 0)
        return status;
    Target t = {};
    t.server = server;
    if (!InitNameIndex(t.users, 256) || !InitNameIndex(t.groups, 64) ||
        !InitNameIndex(t.rows, table->rowCount) || !InitNameIndex(t.pairs, 256) ||
        !InitNameIndex(t.readGroups, 16))
        status = ERROR_NOT_ENOUGH_MEMORY;
    if (status == 0)
        status = ReadTargetUsers(table, t);
    if (status == 0)
        status = ReadTargetGroups(table, t);
    if (status == 0)
        status = PlanRows(table, t);
    FreeTarget(t);
    if (status == 0)
        status = PlanMissingRemovals(table, server);
    if (status != 0) {
        // The target could not be read: only the file's own problems stand.
        table->problemCount = table->fileProblems;
        table->problemsNotListed = table->fileProblemsNotListed;
        return status;
    }
    SortProblems(table);
    return table->problemCount + table->problemsNotListed == 0 ? 0 : ERROR_INVALID_DATA;
}
