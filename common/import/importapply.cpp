// The import's applier: the plan carried out on the target, groups first, then
// users, then memberships. Each row keeps its own outcome; a failure is
// recorded with the platform's reason and the next row goes on.
#include "importinternal.h"

#include <lm.h>

#include <cwchar>

#include "errortext.h"
#include "textformat.h"

namespace {
constexpr size_t FailureChars = 512;

// Marks the row failed (its first failure is kept) with the step and the
// platform's reason.
void Fail(ImportRow& row, DWORD status, LPCWSTR format, LPCWSTR a = L"", LPCWSTR b = L"")
{
    if (row.outcome == ImportFailed)
        return;
    row.outcome = ImportFailed;
    row.status = status;
    row.failure = static_cast<LPWSTR>(ImportAlloc(FailureChars * sizeof(WCHAR)));
    if (row.failure == nullptr)
        return;
    WCHAR step[200];
    FormatBounded(step, 200, format, a, b);
    LPWSTR reason = FormatErrorText(status);
    if (reason != nullptr && reason[0] != L'\0')
        FormatBounded(row.failure, FailureChars, L"%s: %s", step, reason);
    else
        FormatBounded(row.failure, FailureChars, L"%s: エラー 0x%08X", step, status);
    if (reason != nullptr)
        LocalFree(reason);
}

void ApplyGroupRow(LPCWSTR server, ImportRow& row)
{
    if (row.action == ImportCreate) {
        LOCALGROUP_INFO_1 group = {row.cells[ColumnName], row.cells[ColumnComment]};
        NET_API_STATUS status =
            NetLocalGroupAdd(server, 1, reinterpret_cast<LPBYTE>(&group), nullptr);
        if (status != NERR_Success)
            Fail(row, status, L"グループの作成");
    } else if ((row.changedColumns & (1u << ColumnComment)) != 0) {
        LOCALGROUP_INFO_1002 comment = {row.cells[ColumnComment]};
        NET_API_STATUS status = NetLocalGroupSetInfo(server, row.cells[ColumnName], 1002,
                                                     reinterpret_cast<LPBYTE>(&comment), nullptr);
        if (status != NERR_Success)
            Fail(row, status, L"グループの変更");
    }
}

DWORD FlagsOf(const ImportRow& row, DWORD flags)
{
    auto set = [&flags](int wanted, DWORD flag, bool whenYes) {
        if (wanted < 0)
            return;
        if ((wanted == 1) == whenYes)
            flags |= flag;
        else
            flags &= ~flag;
    };
    set(row.disabled, UF_ACCOUNTDISABLE, true);
    set(row.cantChange, UF_PASSWD_CANT_CHANGE, true);
    set(row.expiringPassword, UF_DONT_EXPIRE_PASSWD, false);
    return flags;
}

// A new user as the add dialog makes one, with the row's values over its
// defaults; the account never expires unless the row says when.
void CreateUser(LPCWSTR server, ImportRow& row, ImportPasswordForm form)
{
    bool generate = row.cells[ColumnPassword][0] == L'\0';
    if (generate) {
        DWORD status = form == ImportPasswordsEasy
                           ? GenerateEasyImportPassword(row.password, ImportPasswordChars + 1)
                           : GenerateImportPassword(row.password, ImportPasswordChars + 1);
        if (status != 0) {
            Fail(row, status, L"パスワードの生成");
            return;
        }
    }
    USER_INFO_4 user = {};
    user.usri4_name = row.cells[ColumnName];
    user.usri4_password = generate ? row.password : row.cells[ColumnPassword];
    user.usri4_priv = USER_PRIV_USER;
    user.usri4_comment = row.cells[ColumnComment];
    user.usri4_flags = FlagsOf(row, UF_SCRIPT | UF_NORMAL_ACCOUNT);
    user.usri4_full_name = row.cells[ColumnFullName];
    user.usri4_acct_expires = row.hasAccountExpiry ? row.accountExpiry : TIMEQ_FOREVER;
    user.usri4_max_storage = USER_MAXSTORAGE_UNLIMITED;
    // The platform requires the ordinary users' group as the primary group of
    // an account added at this level.
    user.usri4_primary_group_id = DOMAIN_GROUP_RID_USERS;
    // The dialog's default: change at the first logon, unless the user may not
    // change it. A generated password is always changed.
    bool mustChange = row.mustChange >= 0 ? row.mustChange == 1 : row.cantChange != 1;
    user.usri4_password_expired = generate || mustChange ? 1 : 0;
    NET_API_STATUS status = NetUserAdd(server, 4, reinterpret_cast<LPBYTE>(&user), nullptr);
    if (status == NERR_Success) {
        row.generatedPassword = generate;
        return;
    }
    SecureZeroMemory(row.password, sizeof(row.password));
    Fail(row, status, L"ユーザーの作成");
}

// Read, changed and written whole, as the settings dialog does; the password
// is left alone (a record read never carries it).
void ChangeUser(LPCWSTR server, ImportRow& row)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(server, row.cells[ColumnName], 4, &buffer);
    if (status == NERR_Success && buffer != nullptr) {
        auto* user = reinterpret_cast<USER_INFO_4*>(buffer);
        DWORD changed = row.changedColumns;
        if ((changed & (1u << ColumnFullName)) != 0)
            user->usri4_full_name = row.cells[ColumnFullName];
        if ((changed & (1u << ColumnComment)) != 0)
            user->usri4_comment = row.cells[ColumnComment];
        user->usri4_flags = FlagsOf(row, user->usri4_flags);
        if ((changed & (1u << ColumnMustChange)) != 0)
            user->usri4_password_expired = row.mustChange == 1 ? 1 : 0;
        if ((changed & (1u << ColumnAccountExpires)) != 0)
            user->usri4_acct_expires = row.accountExpiry;
        user->usri4_password = nullptr;
        status = NetUserSetInfo(server, row.cells[ColumnName], 4, buffer, nullptr);
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    if (status != NERR_Success)
        Fail(row, status, L"ユーザーの変更");
}

void ApplyUserRow(LPCWSTR server, ImportRow& row, ImportPasswordForm form)
{
    if (row.action == ImportCreate)
        CreateUser(server, row, form);
    else if (row.changedColumns != 0)
        ChangeUser(server, row);
}

// An add that finds the membership in place, or a removal that finds it gone,
// has nothing left to do.
DWORD Settled(const ImportMembership& m, DWORD status)
{
    if ((!m.remove && status == ERROR_MEMBER_IN_ALIAS) ||
        (m.remove && status == ERROR_MEMBER_NOT_IN_ALIAS))
        return 0;
    return status;
}

// A member written as a SID goes by that SID (level 0): a name lookup of SID
// text is not what LookupAccountName documents.
DWORD ApplyOneBySid(LPCWSTR server, const ImportMembership& m, PSID sid)
{
    LOCALGROUP_MEMBERS_INFO_0 entry = {sid};
    LPBYTE data = reinterpret_cast<LPBYTE>(&entry);
    DWORD status = Settled(m, m.remove ? NetLocalGroupDelMembers(server, m.group, 0, data, 1)
                                       : NetLocalGroupAddMembers(server, m.group, 0, data, 1));
    LocalFree(sid);
    return status;
}

DWORD ApplyOne(LPCWSTR server, const ImportMembership& m)
{
    PSID sid = nullptr;
    if (IsSidText(m.member, &sid))
        return ApplyOneBySid(server, m, sid);
    LOCALGROUP_MEMBERS_INFO_3 entry = {m.member};
    LPBYTE data = reinterpret_cast<LPBYTE>(&entry);
    return Settled(m, m.remove ? NetLocalGroupDelMembers(server, m.group, 3, data, 1)
                               : NetLocalGroupAddMembers(server, m.group, 3, data, 1));
}

// The memberships of one group, added (or removed) in one call; when that call
// is refused, one at a time so that each row learns its own outcome.
void ApplyBatch(ImportTable* table, LPCWSTR server, DWORD* batch, DWORD count,
                LOCALGROUP_MEMBERS_INFO_3* entries)
{
    const ImportMembership& first = table->memberships[batch[0]];
    bool bySid = false;
    for (DWORD i = 0; i < count; ++i) {
        entries[i].lgrmi3_domainandname = table->memberships[batch[i]].member;
        bySid = bySid || IsSidText(entries[i].lgrmi3_domainandname);
    }
    LPBYTE data = reinterpret_cast<LPBYTE>(entries);
    // A batch with members by SID goes one member at a time, each at its level.
    NET_API_STATUS status = bySid ? ERROR_INVALID_PARAMETER
                            : first.remove
                                ? NetLocalGroupDelMembers(server, first.group, 3, data, count)
                                : NetLocalGroupAddMembers(server, first.group, 3, data, count);
    for (DWORD i = 0; i < count; ++i) {
        ImportMembership& m = table->memberships[batch[i]];
        if (status == NERR_Success)
            m.status = 0;
        else
            m.status = count == 1 && !bySid ? Settled(m, status) : ApplyOne(server, m);
        if (m.status != 0)
            Fail(table->rows[m.owner], m.status,
                 m.remove ? L"グループ「%s」からの「%s」の削除" : L"グループ「%s」への「%s」の追加",
                 m.group, m.member);
    }
}

// The memberships in batches of one group and one direction, in plan order.
DWORD ApplyMemberships(ImportTable* table, LPCWSTR server, ImportProgress progress, void* context,
                       DWORD step, DWORD total)
{
    DWORD count = table->membershipCount;
    if (count == 0)
        return step;
    auto* done = static_cast<bool*>(ImportAlloc(count * sizeof(bool)));
    auto* batch = static_cast<DWORD*>(ImportAlloc(count * sizeof(DWORD)));
    auto* entries = static_cast<LOCALGROUP_MEMBERS_INFO_3*>(
        ImportAlloc(count * sizeof(LOCALGROUP_MEMBERS_INFO_3)));
    for (DWORD i = 0; i < count; ++i) {
        if (done == nullptr || batch == nullptr || entries == nullptr) {
            Fail(table->rows[table->memberships[i].owner], ERROR_NOT_ENOUGH_MEMORY,
                 L"グループ「%s」のメンバーの変更", table->memberships[i].group);
            continue;
        }
        if (done[i])
            continue;
        if (progress != nullptr && !progress(step, total, context))
            break;
        ++step;
        const ImportMembership& m = table->memberships[i];
        DWORD size = 0;
        for (DWORD j = i; j < count; ++j) {
            const ImportMembership& other = table->memberships[j];
            if (!done[j] && other.remove == m.remove && SameName(other.group, m.group)) {
                done[j] = true;
                batch[size++] = j;
            }
        }
        ApplyBatch(table, server, batch, size, entries);
    }
    ImportFree(entries);
    ImportFree(batch);
    ImportFree(done);
    return step;
}

// The group memberships the platform gives a new account by itself (Users):
// with exact memberships, those the file does not list go again.
void RemoveUnlistedGroups(ImportTable* table, LPCWSTR server, ImportRow& row)
{
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    WCHAR self[520];
    if (FormatBounded(self, 520, L"%s\\%s", table->domain, row.cells[ColumnName]) < 0)
        return;
    if (NetUserGetLocalGroups(server, row.cells[ColumnName], 0, 0, &buffer, MAX_PREFERRED_LENGTH,
                              &read, &total) == NERR_Success) {
        auto* groups = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(buffer);
        for (DWORD i = 0; i < read; ++i) {
            bool listed = false;
            for (DWORD j = 0; j < table->membershipCount && !listed; ++j) {
                const ImportMembership& m = table->memberships[j];
                listed = !m.remove && SameName(m.group, groups[i].lgrui0_name) &&
                         SameName(m.member, self);
            }
            if (!listed) {
                ImportMembership gone = {groups[i].lgrui0_name, self, 0, true, 0};
                DWORD status = ApplyOne(server, gone);
                if (status != 0)
                    Fail(row, status, L"グループ「%s」からの「%s」の削除", groups[i].lgrui0_name,
                         self);
            }
        }
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
}
} // namespace

DWORD ApplyImport(ImportTable* table, LPCWSTR server, ImportProgress progress, void* context)
{
    if (table == nullptr)
        return 0;
    DWORD groupsTouched = 0;
    for (DWORD i = 0; i < table->membershipCount; ++i) {
        bool seen = false;
        for (DWORD j = 0; j < i && !seen; ++j)
            seen = table->memberships[j].remove == table->memberships[i].remove &&
                   SameName(table->memberships[j].group, table->memberships[i].group);
        if (!seen)
            ++groupsTouched;
    }
    // Who is no longer listed goes last, once the file's rows are in place.
    DWORD total = table->rowCount + groupsTouched + CountRemovalsToApply(table);
    DWORD step = 0;
    bool stopped = false;
    // Groups first, then users, so that the memberships find both.
    for (int pass = 0; pass < 2 && !stopped; ++pass) {
        for (DWORD i = 0; i < table->rowCount && !stopped; ++i) {
            ImportRow& row = table->rows[i];
            if (row.group != (pass == 0))
                continue;
            if (progress != nullptr && !progress(step, total, context)) {
                stopped = true;
                break;
            }
            ++step;
            if (row.group)
                ApplyGroupRow(server, row);
            else
                ApplyUserRow(server, row, table->passwordForm);
            if (row.outcome != ImportFailed)
                row.outcome = ImportDone;
        }
    }
    if (!stopped) {
        step = ApplyMemberships(table, server, progress, context, step, total);
        for (DWORD i = 0; i < table->rowCount; ++i) {
            ImportRow& row = table->rows[i];
            if (table->exact && !row.group && row.action == ImportCreate &&
                row.outcome != ImportFailed && row.cells[ColumnGroups][0] != L'\0')
                RemoveUnlistedGroups(table, server, row);
        }
    }
    DWORD failed = 0;
    if (!stopped)
        failed += ApplyRemovals(table, server, progress, context, step, total, &stopped);
    for (DWORD i = 0; i < table->rowCount; ++i) {
        ImportRow& row = table->rows[i];
        if (row.outcome == ImportFailed)
            ++failed;
        else if (!stopped)
            row.outcome = ImportDone;
    }
    if (progress != nullptr && !stopped)
        progress(total, total, context);
    return failed;
}
