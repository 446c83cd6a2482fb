// The account list and the details pane of the main window, and the small
// account functions that the window and its dialogs share.
#include "accountlist.h"

#include <commctrl.h>
#include <lm.h>
#include <sddl.h>
#include <userenv.h>

#include <climits>
#include <cwchar>

#include "accountdomain.h"
#include "../report/accountreport.h"
#include "globals.h"
#include "parallelcalls.h"
#include "textformat.h"

namespace {
constexpr DWORD FirstOrdinaryRid = 1000;
constexpr DWORD UsersPerPage = 100;

bool EqualNoCase(LPCWSTR a, LPCWSTR b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

void* AllocBytes(size_t bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

// One LookupAccountNameW on the target computer in the usual two steps. On
// success returns the SID (free with FreeBuffer) and, when `domain` is given,
// the referenced domain name (at most NameChars WCHAR).
PSID LookupAccountSid(LPCWSTR name, SID_NAME_USE* use, LPWSTR domain)
{
    DWORD sidSize = 0;
    DWORD domainChars = 0;
    SID_NAME_USE found = SidTypeUnknown;
    LookupAccountNameW(TargetServer, name, nullptr, &sidSize, nullptr, &domainChars, &found);
    if (sidSize == 0)
        return nullptr;
    PSID sid = AllocBytes(sidSize);
    LPWSTR domainBuffer = AllocBuffer(domainChars + 1);
    bool ok = sid != nullptr && domainBuffer != nullptr &&
              LookupAccountNameW(TargetServer, name, sid, &sidSize, domainBuffer, &domainChars,
                                 &found) != FALSE &&
              IsValidSid(sid);
    if (ok) {
        if (use != nullptr)
            *use = found;
        if (domain != nullptr)
            FormatBounded(domain, NameChars, L"%s", domainBuffer);
    } else {
        FreeBuffer(sid);
        sid = nullptr;
    }
    FreeBuffer(domainBuffer);
    return sid;
}

// Resolves an account name to its SID. A name that is also the computer's name
// resolves to the computer's domain; it is then looked up again qualified as
// "computer\name" to find the account itself.
PSID ResolveAccountName(LPCWSTR name, SID_NAME_USE* use)
{
    if (name == nullptr || name[0] == L'\0')
        return nullptr;
    LPWSTR domain = AllocBuffer(NameChars);
    if (domain == nullptr)
        return nullptr;
    PSID sid = LookupAccountSid(name, use, domain);
    if (sid != nullptr && EqualNoCase(domain, name)) {
        FreeBuffer(sid);
        sid = nullptr;
        LPWSTR qualified = AllocBuffer(NameChars);
        if (qualified != nullptr &&
            FormatBounded(qualified, NameChars, L"%s\\%s", domain, name) >= 0)
            sid = LookupAccountSid(qualified, use, nullptr);
        FreeBuffer(qualified);
    }
    FreeBuffer(domain);
    return sid;
}

DWORD RidOfSid(PSID sid)
{
    if (sid == nullptr || !IsValidSid(sid))
        return 0;
    UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count == 0)
        return 0;
    return *GetSidSubAuthority(sid, count - 1);
}

// A new row's cells start empty: an empty text costs no message.
void SetCellText(HWND list, int row, int column, LPCWSTR text)
{
    if (text == nullptr || text[0] == L'\0')
        return;
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<LPWSTR>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

// Appends an account row; returns its index or -1.
int AppendAccountRow(HWND list, LPCWSTR name, int image, bool lockedOut)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = INT_MAX;
    item.pszText = const_cast<LPWSTR>(name);
    item.iImage = image;
    item.stateMask = LVIS_OVERLAYMASK;
    item.state = lockedOut ? INDEXTOOVERLAYMASK(1) : 0;
    return static_cast<int>(
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void SetDecimalCell(HWND list, int row, int column, DWORD value)
{
    WCHAR text[16];
    FormatBounded(text, 16, L"%lu", value);
    SetCellText(list, row, column, text);
}

// Whether the user record (level 4, read with the server argument) carries
// UF_LOCKOUT. An unreadable record counts as not locked out.
bool IsUserLockedOut(LPCWSTR serverArgument, LPCWSTR name)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(serverArgument, name, 4, &buffer);
    bool lockedOut = status == NERR_Success && buffer != nullptr &&
                     (reinterpret_cast<USER_INFO_4*>(buffer)->usri4_flags & UF_LOCKOUT) != 0;
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    return lockedOut;
}

// Appends the row of one enumerated user; returns 1 when it was added.
int AppendUserRow(HWND list, const NET_DISPLAY_USER& record, bool lockedOut)
{
    int image =
        (record.usri1_flags & UF_ACCOUNTDISABLE) != 0 ? AccountImageUserDisabled : AccountImageUser;
    int row = AppendAccountRow(list, record.usri1_name, image, lockedOut);
    if (row < 0)
        return 0;
    SetDecimalCell(list, row, 1, record.usri1_user_id);
    SetCellText(list, row, 2, record.usri1_full_name);
    SetCellText(list, row, 3, record.usri1_comment);
    return 1;
}

// The display record already carries the identifier: no round trip to the
// target per user for the built-in test.
bool IsListedUser(const NET_DISPLAY_USER& record)
{
    return AppSettings.IsShowBuiltinAccount != 0 || record.usri1_user_id >= FirstOrdinaryRid;
}

// The local computer answers at once: its users are read one after the other.
// A refused enumeration leaves its status in *failure.
int FillUsers(HWND list, DWORD* failure)
{
    int added = 0;
    LPWSTR serverArgument = AllocServerArgument();
    DWORD index = 0;
    NET_API_STATUS status;
    do {
        DWORD count = 0;
        PVOID buffer = nullptr;
        status = NetQueryDisplayInformation(TargetServer, 1, index, UsersPerPage,
                                            MAX_PREFERRED_LENGTH, &count, &buffer);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            if (buffer != nullptr)
                NetApiBufferFree(buffer);
            *failure = status;
            break;
        }
        auto* records = static_cast<NET_DISPLAY_USER*>(buffer);
        for (DWORD i = 0; records != nullptr && i < count; ++i) {
            const NET_DISPLAY_USER& record = records[i];
            index = record.usri1_next_index;
            if (IsListedUser(record))
                added +=
                    AppendUserRow(list, record, IsUserLockedOut(serverArgument, record.usri1_name));
        }
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
        // A page that says "more" but brings nothing would never end.
        if (count == 0)
            break;
    } while (status == ERROR_MORE_DATA);
    FreeBuffer(serverArgument);
    return added;
}

// ---- A remote computer: the per-account calls a few at a time ------------
// Worker threads make only the platform calls, each storing its answer at its
// index; the rows are then added here, on the window's thread, in the order of
// the enumeration. TargetServer and the settings do not change meanwhile.

// At most this many calls in one batch, so that their answers fit on the stack.
constexpr DWORD CallsPerBatch = 100;

// One page of the user enumeration as NetQueryDisplayInformation answered it.
struct UserPage
{
    NET_API_STATUS status = NERR_Success;
    DWORD count = 0;
    PVOID buffer = nullptr;
};

void ReadUserPage(DWORD index, UserPage& page)
{
    page.count = 0;
    page.buffer = nullptr;
    page.status = NetQueryDisplayInformation(TargetServer, 1, index, UsersPerPage,
                                             MAX_PREFERRED_LENGTH, &page.count, &page.buffer);
}

// The calls of one batch of a page: the lockout of each listed user and, as
// call 0 when `readNext` is set, the next page of the enumeration.
struct UserBatch
{
    LPCWSTR serverArgument;
    const NET_DISPLAY_USER* listed[CallsPerBatch];
    bool lockedOut[CallsPerBatch];
    DWORD listedCount;
    bool readNext;
    DWORD nextIndex;
    UserPage next;
};

void MakeUserBatchCall(void* context, size_t index)
{
    UserBatch& batch = *static_cast<UserBatch*>(context);
    if (batch.readNext) {
        if (index == 0) {
            ReadUserPage(batch.nextIndex, batch.next);
            return;
        }
        --index;
    }
    batch.lockedOut[index] = IsUserLockedOut(batch.serverArgument, batch.listed[index]->usri1_name);
}

// The rows of one page, with the next page read meanwhile when `batch.readNext`
// is set; returns the rows added.
int FillUserPageInParallel(HWND list, const NET_DISPLAY_USER* records, DWORD count,
                           UserBatch& batch)
{
    int added = 0;
    DWORD i = 0;
    do {
        batch.listedCount = 0;
        for (; i < count && batch.listedCount < CallsPerBatch; ++i)
            if (IsListedUser(records[i]))
                batch.listed[batch.listedCount++] = &records[i];
        RunIndexedCalls(batch.listedCount + (batch.readNext ? 1 : 0), RemoteCallsInFlight,
                        MakeUserBatchCall, &batch);
        batch.readNext = false; // read with the first batch
        for (DWORD row = 0; row < batch.listedCount; ++row)
            added += AppendUserRow(list, *batch.listed[row], batch.lockedOut[row]);
    } while (i < count);
    return added;
}

// The same rows as FillUsers, each page's users read while the next page is.
int FillUsersInParallel(HWND list, DWORD* failure)
{
    int added = 0;
    LPWSTR serverArgument = AllocServerArgument();
    UserBatch batch = {};
    batch.serverArgument = serverArgument;
    UserPage page;
    ReadUserPage(0, page);
    DWORD index = 0;
    while (page.status == NERR_Success || page.status == ERROR_MORE_DATA) {
        auto* records = static_cast<NET_DISPLAY_USER*>(page.buffer);
        DWORD count = records != nullptr ? page.count : 0;
        if (count > 0)
            index = records[count - 1].usri1_next_index;
        // A page that says "more" but brings nothing would never end.
        bool more = page.status == ERROR_MORE_DATA && page.count != 0;
        batch.readNext = more;
        batch.nextIndex = index;
        added += FillUserPageInParallel(list, records, count, batch);
        if (page.buffer != nullptr)
            NetApiBufferFree(page.buffer);
        page.buffer = nullptr;
        if (!more)
            break;
        page = batch.next;
    }
    if (page.status != NERR_Success && page.status != ERROR_MORE_DATA)
        *failure = page.status;
    if (page.buffer != nullptr)
        NetApiBufferFree(page.buffer);
    FreeBuffer(serverArgument);
    return added;
}

// The calls of one batch of groups: each group's relative identifier.
struct GroupBatch
{
    const LOCALGROUP_INFO_1* groups;
    DWORD rids[CallsPerBatch];
};

void MakeGroupBatchCall(void* context, size_t index)
{
    GroupBatch& batch = *static_cast<GroupBatch*>(context);
    batch.rids[index] = GetAccountRid(batch.groups[index].lgrpi1_name);
}

// Appends the row of one group; returns 1 when it was added.
int AppendGroupRow(HWND list, const LOCALGROUP_INFO_1& group, DWORD rid)
{
    if (AppSettings.IsShowBuiltinAccount == 0 && rid < FirstOrdinaryRid)
        return 0;
    int row = AppendAccountRow(list, group.lgrpi1_name, AccountImageGroup, false);
    if (row < 0)
        return 0;
    SetDecimalCell(list, row, 1, rid);
    SetCellText(list, row, 3, group.lgrpi1_comment);
    return 1;
}

// The rows of `count` enumerated groups, their lookups made a few at a time on
// a remote computer and one after the other on the local one.
int AppendGroupRows(HWND list, const LOCALGROUP_INFO_1* groups, DWORD count)
{
    int added = 0;
    int inFlight = IsRemoteTarget() ? RemoteCallsInFlight : 1;
    if (inFlight <= 1) {
        // One resolution (with the retry for a name that is also the
        // computer's) serves both the built-in test and the ID column.
        for (DWORD i = 0; i < count; ++i)
            added += AppendGroupRow(list, groups[i], GetAccountRid(groups[i].lgrpi1_name));
        return added;
    }
    GroupBatch batch;
    for (DWORD first = 0; first < count; first += CallsPerBatch) {
        DWORD size = count - first < CallsPerBatch ? count - first : CallsPerBatch;
        batch.groups = groups + first;
        RunIndexedCalls(size, inFlight, MakeGroupBatchCall, &batch);
        for (DWORD i = 0; i < size; ++i)
            added += AppendGroupRow(list, batch.groups[i], batch.rids[i]);
    }
    return added;
}

int FillGroups(HWND list, DWORD* failure)
{
    int added = 0;
    DWORD_PTR resume = 0;
    NET_API_STATUS status;
    do {
        LPBYTE buffer = nullptr;
        DWORD count = 0;
        DWORD total = 0;
        status = NetLocalGroupEnum(TargetServer, 1, &buffer, MAX_PREFERRED_LENGTH, &count, &total,
                                   &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            if (buffer != nullptr)
                NetApiBufferFree(buffer);
            *failure = status;
            break;
        }
        if (buffer != nullptr) {
            added += AppendGroupRows(list, reinterpret_cast<LOCALGROUP_INFO_1*>(buffer), count);
            NetApiBufferFree(buffer);
        }
        if (count == 0)
            break;
    } while (status == ERROR_MORE_DATA);
    return added;
}

// Inserts one label/value row of the details pane at `row`.
void AddDetailsRow(HWND details, int row, LPCWSTR label, LPCWSTR value)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<LPWSTR>(label);
    int index = static_cast<int>(
        SendMessageW(details, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0)
        return;
    item.iItem = index;
    item.iSubItem = 1;
    item.pszText = const_cast<LPWSTR>(value != nullptr ? value : L"");
    SendMessageW(details, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

// Rows 0 to 2 of both detail kinds: name, relative identifier and SID text.
void AddIdentityRows(HWND details, LPCWSTR nameLabel, LPCWSTR name, PSID sid, LPWSTR value)
{
    AddDetailsRow(details, 0, nameLabel, name);
    FormatBounded(value, NameChars, L"%lu", RidOfSid(sid));
    AddDetailsRow(details, 1, L"ID", value);
    LPWSTR sidText = nullptr;
    if (sid != nullptr && ConvertSidToStringSidW(sid, &sidText) && sidText != nullptr) {
        FormatBounded(value, NameChars, L"%s", sidText);
        LocalFree(sidText);
    } else {
        value[0] = L'\0';
    }
    AddDetailsRow(details, 2, L"SID", value);
}

LPCWSTR YesNo(bool yes)
{
    return yes ? L"はい" : L"いいえ";
}

void AddUserRecordRows(HWND details, const USER_INFO_4& user, LPWSTR value)
{
    AddDetailsRow(details, 3, L"アカウント名 (フル ネーム)", user.usri4_full_name);
    AddDetailsRow(details, 4, L"コメント", user.usri4_comment);
    AddDetailsRow(details, 5, L"アカウントの状態",
                  (user.usri4_flags & UF_ACCOUNTDISABLE) != 0 ? L"無効" : L"有効");
    AddDetailsRow(details, 6, L"ロックアウト", YesNo((user.usri4_flags & UF_LOCKOUT) != 0));
    AddDetailsRow(details, 7, L"パスワード変更要求",
                  YesNo((user.usri4_flags & UF_PASSWORD_EXPIRED) != 0));
    AddDetailsRow(details, 8, L"ユーザーによるパスワード変更禁止",
                  YesNo((user.usri4_flags & UF_PASSWD_CANT_CHANGE) != 0));
    AddDetailsRow(details, 9, L"定期的なパスワード変更",
                  YesNo((user.usri4_flags & UF_DONT_EXPIRE_PASSWD) == 0));

    FormatPasswordExpiry(user, value, NameChars);
    AddDetailsRow(details, 10, L"パスワード有効期限", value);
    FormatAccountExpiry(user, value, NameChars);
    AddDetailsRow(details, 11, L"アカウント有効期限", value);
    FormatLastLogon(user, value, NameChars);
    AddDetailsRow(details, 12, L"最終ログイン日時", value);
    FormatLastPasswordChange(user, value, NameChars);
    AddDetailsRow(details, 13, L"最終パスワード変更日時", value);
}
// One more row for a user who signs in with a Microsoft account.
void AddMicrosoftAccountRow(HWND details, LPCWSTR name, LPWSTR value)
{
    if (ReadMicrosoftAccount(TargetServer, name, value, NameChars) == 0 && value[0] != L'\0')
        AddDetailsRow(details, 14, L"Microsoft アカウント", value);
}
} // namespace

int FillAccountList(HWND list, int kinds, DWORD* status)
{
    // One repaint for the whole refill instead of one per row.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    int added = 0;
    DWORD failure = 0;
    if (kinds == AccountListUsers || kinds == AccountListBoth)
        added += IsRemoteTarget() && RemoteCallsInFlight > 1 ? FillUsersInParallel(list, &failure)
                                                             : FillUsers(list, &failure);
    // The groups are read whatever the users gave; the first refusal is told.
    DWORD groupFailure = 0;
    if (kinds == AccountListGroups || kinds == AccountListBoth)
        added += FillGroups(list, &groupFailure);
    if (failure == 0)
        failure = groupFailure;
    if (status != nullptr)
        *status = failure;
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    return added;
}

void ShowUserDetails(HWND details, LPCWSTR name)
{
    if (name == nullptr || name[0] == L'\0')
        return;
    LPWSTR value = AllocBuffer(NameChars);
    if (value == nullptr)
        return;
    PSID sid = ResolveAccountName(name, nullptr);
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(TargetServer, name, 4, &buffer);

    SendMessageW(details, WM_SETREDRAW, FALSE, 0);
    AddIdentityRows(details, L"ユーザー名", name, sid, value);
    // Without the user record only what the name lookup gave is shown.
    if (status == NERR_Success && buffer != nullptr) {
        AddUserRecordRows(details, *reinterpret_cast<USER_INFO_4*>(buffer), value);
        AddMicrosoftAccountRow(details, name, value);
    }
    SendMessageW(details, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(details, nullptr, TRUE);

    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    FreeBuffer(sid);
    FreeBuffer(value);
}

void ShowGroupDetails(HWND details, LPCWSTR name)
{
    if (name == nullptr || name[0] == L'\0')
        return;
    LPWSTR value = AllocBuffer(NameChars);
    if (value == nullptr)
        return;
    PSID sid = LookupAccountSid(name, nullptr, nullptr);
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetLocalGroupGetInfo(TargetServer, name, 1, &buffer);

    SendMessageW(details, WM_SETREDRAW, FALSE, 0);
    AddIdentityRows(details, L"グループ名", name, sid, value);
    if (status == NERR_Success && buffer != nullptr)
        AddDetailsRow(details, 3, L"コメント",
                      reinterpret_cast<LOCALGROUP_INFO_1*>(buffer)->lgrpi1_comment);
    SendMessageW(details, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(details, nullptr, TRUE);

    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    FreeBuffer(sid);
    FreeBuffer(value);
}

DWORD GetAccountRid(LPCWSTR name)
{
    PSID sid = ResolveAccountName(name, nullptr);
    DWORD rid = RidOfSid(sid);
    FreeBuffer(sid);
    return rid;
}

int IsBuiltinAccount(LPCWSTR name)
{
    return GetAccountRid(name) < FirstOrdinaryRid ? 1 : 0;
}

int GetAccountKind(LPCWSTR name)
{
    SID_NAME_USE use = SidTypeUnknown;
    PSID sid = ResolveAccountName(name, &use);
    if (sid == nullptr)
        return AccountKindOther;
    FreeBuffer(sid);
    if (use == SidTypeUser)
        return AccountKindUser;
    if (use == SidTypeGroup || use == SidTypeAlias)
        return AccountKindGroup;
    return AccountKindOther;
}

int IsCurrentUser(LPCWSTR name)
{
    if (name == nullptr)
        return 0;
    DWORD chars = 0;
    GetUserNameW(nullptr, &chars);
    if (chars == 0)
        return 0;
    LPWSTR userName = AllocBuffer(chars + 1);
    int result = 0;
    if (userName != nullptr && GetUserNameW(userName, &chars) && EqualNoCase(userName, name))
        result = 1;
    FreeBuffer(userName);
    return result;
}

int IsRemoteTarget()
{
    return TargetServer != nullptr && TargetServer[0] != L'\0' ? 1 : 0;
}

namespace {
// The local computer's name, asked for its size first.
int LocalComputerName(LPWSTR buffer, size_t chars)
{
    DWORD size = 0;
    GetComputerNameW(nullptr, &size); // learns the size
    if (size == 0 || size > chars)
        return 0;
    size = static_cast<DWORD>(chars);
    return GetComputerNameW(buffer, &size) ? 1 : 0;
}

} // namespace

int QualifyingComputerName(LPWSTR buffer, size_t chars, DWORD* status)
{
    DWORD result = ERROR_INVALID_PARAMETER;
    if (buffer != nullptr && chars != 0) {
        buffer[0] = L'\0';
        if (!IsRemoteTarget()) {
            result = LocalComputerName(buffer, chars) ? 0 : GetLastError();
            if (result == 0 && buffer[0] == L'\0')
                result = ERROR_INSUFFICIENT_BUFFER;
        } else {
            // The target's own name for its accounts, never the address it was
            // typed as: member calls accept only that name.
            LPWSTR server = AllocServerArgument();
            result = server != nullptr ? GetAccountDomainName(server, buffer, chars)
                                       : ERROR_NOT_ENOUGH_MEMORY;
            FreeBuffer(server);
        }
        if (result != 0)
            buffer[0] = L'\0';
    }
    if (status != nullptr)
        *status = result;
    return result == 0 ? 1 : 0;
}

int MemberName(LPCWSTR accountName, LPWSTR buffer, size_t chars, DWORD* status)
{
    DWORD result = ERROR_INVALID_PARAMETER;
    if (buffer != nullptr && chars != 0) {
        buffer[0] = L'\0';
        LPWSTR computer = AllocBuffer(NameChars);
        if (computer == nullptr)
            result = ERROR_NOT_ENOUGH_MEMORY;
        else if (QualifyingComputerName(computer, NameChars, &result))
            result = FormatBounded(buffer, chars, L"%s\\%s", computer, accountName) >= 0
                         ? 0
                         : ERROR_INSUFFICIENT_BUFFER;
        if (result != 0)
            buffer[0] = L'\0';
        FreeBuffer(computer);
    }
    if (status != nullptr)
        *status = result;
    return result == 0 ? 1 : 0;
}

int ListBoxContains(HWND listBox, LPCWSTR text)
{
    if (text == nullptr)
        return 0;
    auto sameLetter = [](WCHAR a, WCHAR b) {
        if (a >= L'a' && a <= L'z')
            a = static_cast<WCHAR>(a - L'a' + L'A');
        if (b >= L'a' && b <= L'z')
            b = static_cast<WCHAR>(b - L'a' + L'A');
        return a == b;
    };
    auto equal = [&](LPCWSTR entry) {
        size_t i = 0;
        for (; entry[i] != L'\0' && text[i] != L'\0'; ++i)
            if (!sameLetter(entry[i], text[i]))
                return false;
        return entry[i] == text[i];
    };

    // Only an entry of the same length can be equal; it is read into a buffer
    // of its own size, so names of every length are compared whole.
    size_t textLength = wcslen(text);
    int count = static_cast<int>(SendMessageW(listBox, LB_GETCOUNT, 0, 0));
    int found = 0;
    for (int i = 0; i < count && !found; ++i) {
        LRESULT length = SendMessageW(listBox, LB_GETTEXTLEN, i, 0);
        if (length == LB_ERR || static_cast<size_t>(length) != textLength)
            continue;
        LPWSTR entry = AllocBuffer(textLength + 1);
        if (entry == nullptr)
            break;
        if (SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry)) != LB_ERR &&
            equal(entry))
            found = 1;
        FreeBuffer(entry);
    }
    return found;
}

HRESULT CreateUserProfile(PSID sid, LPCWSTR accountName)
{
    LPWSTR sidText = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &sidText) || sidText == nullptr) {
        DWORD error = GetLastError();
        return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    LPWSTR profilePath = AllocBuffer(PathChars);
    HRESULT result = E_OUTOFMEMORY;
    if (profilePath != nullptr)
        result = CreateProfile(sidText, accountName, profilePath, static_cast<DWORD>(PathChars));
    FreeBuffer(profilePath);
    LocalFree(sidText);
    return result;
}

BOOL DeleteUserProfile(PSID sid)
{
    LPWSTR sidText = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &sidText) || sidText == nullptr)
        return FALSE;
    BOOL result = DeleteProfileW(sidText, nullptr, nullptr);
    LocalFree(sidText);
    return result;
}
