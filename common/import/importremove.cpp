// Removing who is no longer listed: the users that are members of one group
// on the target and do not appear in the file, deleted after the file's rows
// are applied. Accounts that must never go this way are kept with the reason.
#include "importinternal.h"

#include <lm.h>
#include <sddl.h>
#include <userenv.h>

#include <cwchar>

#include "errortext.h"
#include "textformat.h"

namespace {
constexpr size_t FailureChars = 512;
// Below this relative ID the platform's own accounts live (Administrator 500,
// Guest 501, DefaultAccount 503, WDAGUtilityAccount 504); ordinary accounts
// start at 1000.
constexpr DWORD FirstOrdinaryRid = 1000;

bool NamedInFile(const ImportTable* table, LPCWSTR name, bool group)
{
    for (DWORD i = 0; i < table->rowCount; ++i)
        if (table->rows[i].group == group && SameName(table->rows[i].cells[ColumnName], name))
            return true;
    return false;
}

bool NamedInFileAnyKind(const ImportTable* table, LPCWSTR name)
{
    return NamedInFile(table, name, false) || NamedInFile(table, name, true);
}

// The members of the target's Administrators group as "DOMAIN\name", found by
// its well-known SID: the group's name is the target's own (localised) one.
DWORD ReadAdministrators(LPCWSTR server, NameIndex& index, LPBYTE* buffer)
{
    *buffer = nullptr;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize))
        return GetLastError();
    WCHAR name[257];
    WCHAR domain[257];
    DWORD nameChars = 257;
    DWORD domainChars = 257;
    SID_NAME_USE use;
    if (!LookupAccountSidW(server, sid, name, &nameChars, domain, &domainChars, &use))
        return GetLastError();
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = NetLocalGroupGetMembers(server, name, 2, buffer, MAX_PREFERRED_LENGTH,
                                                    &read, &total, nullptr);
    if (status != NERR_Success)
        return status;
    if (!InitNameIndex(index, read))
        return ERROR_NOT_ENOUGH_MEMORY;
    auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(*buffer);
    for (DWORD i = 0; i < read; ++i)
        if (members[i].lgrmi2_domainandname != nullptr)
            AddName(index, members[i].lgrmi2_domainandname, 0);
    return 0;
}

// The name of the user this program runs as; empty when it cannot be told.
void RunningUser(LPWSTR name, DWORD chars)
{
    name[0] = L'\0';
    if (!GetUserNameW(name, &chars))
        name[0] = L'\0';
}

// The account part of "DOMAIN\name" (or the name itself).
LPCWSTR AccountPart(LPCWSTR name)
{
    LPCWSTR slash = wcsrchr(name, L'\\');
    return slash != nullptr ? slash + 1 : name;
}

DWORD RelativeId(PSID sid)
{
    if (sid == nullptr || !IsValidSid(sid))
        return 0;
    UCHAR count = *GetSidSubAuthorityCount(sid);
    return count > 0 ? *GetSidSubAuthority(sid, count - 1u) : 0;
}

// Why this member stays, or null when it is deleted.
LPCWSTR KeptReason(ImportTable* table, const LOCALGROUP_MEMBERS_INFO_2& member, LPCWSTR name,
                   LPCWSTR runningUser, const NameIndex& administrators, bool ours)
{
    if (!ours)
        return L"このコンピューターのアカウントではないため、削除しません。";
    DWORD rid = RelativeId(member.lgrmi2_sid);
    if (rid < FirstOrdinaryRid) {
        WCHAR text[96];
        FormatBounded(text, 96, L"組み込みのアカウント (RID %lu) は削除しません。", rid);
        return ArenaCopy(table, text);
    }
    if (runningUser[0] != L'\0' && SameName(name, runningUser))
        return L"このプログラムを実行しているユーザーは削除しません。";
    if (table->keepAccount != nullptr && SameName(name, AccountPart(table->keepAccount)))
        return L"/as: で指定したアカウントは削除しません。";
    if (FindName(administrators, member.lgrmi2_domainandname))
        return L"Administrators のメンバーは削除しません。";
    return nullptr;
}

DWORD AddRemoval(ImportTable* table, const LOCALGROUP_MEMBERS_INFO_2& member, LPCWSTR name,
                 LPCWSTR kept)
{
    ImportRemoval& removal = table->removals[table->removalCount++];
    removal.name = ArenaCopy(table, name);
    removal.kept = kept;
    LPWSTR sidText = nullptr;
    if (member.lgrmi2_sid != nullptr && ConvertSidToStringSidW(member.lgrmi2_sid, &sidText)) {
        removal.sidText = ArenaCopy(table, sidText);
        LocalFree(sidText);
    }
    return removal.name != nullptr ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

DWORD PlanMembers(ImportTable* table, LPCWSTR server, const LOCALGROUP_MEMBERS_INFO_2* members,
                  DWORD count)
{
    NameIndex administrators = {};
    LPBYTE adminBuffer = nullptr;
    DWORD status = ReadAdministrators(server, administrators, &adminBuffer);
    WCHAR runningUser[257];
    RunningUser(runningUser, 257);
    table->removals = static_cast<ImportRemoval*>(ImportAlloc((count + 1) * sizeof(ImportRemoval)));
    if (status == 0 && table->removals == nullptr)
        status = ERROR_NOT_ENOUGH_MEMORY;
    for (DWORD i = 0; status == 0 && i < count; ++i) {
        const LOCALGROUP_MEMBERS_INFO_2& member = members[i];
        // Only user accounts are deleted: groups and well-known identities stay members.
        if (member.lgrmi2_sidusage != SidTypeUser || member.lgrmi2_domainandname == nullptr)
            continue;
        LPCWSTR full = member.lgrmi2_domainandname;
        LPCWSTR name = AccountPart(full);
        if (NamedInFileAnyKind(table, name))
            continue;
        size_t domainChars = static_cast<size_t>(name - full) - (name != full ? 1 : 0);
        bool ours = domainChars == wcslen(table->domain) &&
                    CompareStringOrdinal(full, static_cast<int>(domainChars), table->domain, -1,
                                         TRUE) == CSTR_EQUAL;
        LPCWSTR kept = KeptReason(table, member, name, runningUser, administrators, ours);
        status = AddRemoval(table, member, ours ? name : full, kept);
    }
    FreeNameIndex(administrators);
    if (adminBuffer != nullptr)
        NetApiBufferFree(adminBuffer);
    return status;
}

// Marks a removal failed with the step and the platform's reason.
void FailRemoval(ImportRemoval& removal, DWORD status, LPCWSTR step)
{
    removal.outcome = ImportFailed;
    removal.status = status;
    removal.failure = static_cast<LPWSTR>(ImportAlloc(FailureChars * sizeof(WCHAR)));
    if (removal.failure == nullptr)
        return;
    LPWSTR reason = FormatErrorText(status);
    if (reason != nullptr && reason[0] != L'\0')
        FormatBounded(removal.failure, FailureChars, L"%s: %s", step, reason);
    else
        FormatBounded(removal.failure, FailureChars, L"%s: エラー 0x%08X", step, status);
    if (reason != nullptr)
        LocalFree(reason);
}

// The account first: a failure leaves both in place. The profile is found by
// the SID kept from the plan, which DeleteProfile takes after the account is
// gone as before. A user who never logged on has no profile: nothing to do.
void RemoveUser(const ImportTable* table, LPCWSTR server, ImportRemoval& removal)
{
    NET_API_STATUS status = NetUserDel(server, removal.name);
    if (status != NERR_Success && status != NERR_UserNotFound) {
        FailRemoval(removal, status, L"ユーザーの削除");
        return;
    }
    removal.outcome = ImportDone;
    if (!table->deleteProfiles || server != nullptr || removal.sidText == nullptr)
        return;
    if (DeleteProfileW(removal.sidText, nullptr, nullptr)) {
        removal.profileDeleted = true;
        return;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        FailRemoval(removal, error != 0 ? error : ERROR_ACCESS_DENIED,
                    L"ユーザーは削除しましたが、プロファイルの削除");
}
} // namespace

void FreeImportRemovals(ImportTable* table)
{
    for (DWORD i = 0; table->removals != nullptr && i < table->removalCount; ++i)
        ImportFree(table->removals[i].failure);
    ImportFree(table->removals);
    table->removals = nullptr;
    table->removalCount = 0;
}

DWORD PlanMissingRemovals(ImportTable* table, LPCWSTR server)
{
    FreeImportRemovals(table);
    LPCWSTR group = table->removeGroup;
    if (group == nullptr || group[0] == L'\0')
        return 0;
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = NetLocalGroupGetMembers(server, group, 2, &buffer,
                                                    MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    if (status == NERR_GroupNotFound || status == ERROR_NO_SUCH_ALIAS) {
        // A group the file creates has no members yet: nobody to remove.
        if (!NamedInFile(table, group, true))
            AddProblem(table, 0,
                       L"削除の対象のグループ「%.64s」はファイルにもこのコンピューターにもありません。",
                       group);
        status = 0;
    } else if (status == NERR_Success) {
        status = PlanMembers(table, server, reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(buffer),
                             read);
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return status;
}

DWORD CountRemovalsToApply(const ImportTable* table)
{
    DWORD count = 0;
    for (DWORD i = 0; i < table->removalCount; ++i)
        if (table->removals[i].kept == nullptr)
            ++count;
    return count;
}

DWORD ApplyRemovals(ImportTable* table, LPCWSTR server, ImportProgress progress, void* context,
                    DWORD step, DWORD total, bool* stopped)
{
    DWORD failed = 0;
    for (DWORD i = 0; i < table->removalCount; ++i) {
        ImportRemoval& removal = table->removals[i];
        if (removal.kept != nullptr)
            continue;
        if (progress != nullptr && !progress(step, total, context)) {
            *stopped = true;
            break;
        }
        ++step;
        RemoveUser(table, server, removal);
        if (removal.outcome == ImportFailed)
            ++failed;
    }
    return failed;
}

void DescribeImportRemoval(const ImportTable* table, DWORD index, LPWSTR buffer, size_t chars)
{
    const ImportRemoval& removal = table->removals[index];
    bool local = table->deleteProfiles && table->removalsLocal;
    if (removal.kept != nullptr)
        FormatBounded(buffer, chars, L"削除しない: %s", removal.kept);
    else if (removal.outcome == ImportFailed)
        FormatBounded(buffer, chars, L"失敗: %s", removal.failure != nullptr ? removal.failure : L"");
    else if (removal.outcome == ImportDone)
        FormatBounded(buffer, chars, removal.profileDeleted ? L"削除しました (プロファイルも削除)"
                                                            : L"削除しました");
    else
        FormatBounded(buffer, chars, L"削除 (グループ「%s」のメンバーで、ファイルにありません%s)",
                      table->removeGroup, local ? L"。プロファイルも削除" : L"");
}
