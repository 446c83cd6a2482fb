// The "/group" commands: every call works on the thread's target computer.
#include "groupcmds.h"

#include "textformat.h"

#include <cstdio>
#include <cwchar>
#include <sddl.h>

static void FreeNetBuffer(LPBYTE buffer)
{
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
}

// The group's SID as text, or null when the look-up fails (the group's record
// is read next, and that read reports a missing group). Released with LocalFree.
static LPWSTR LookUpSidText(const wchar_t* name)
{
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use;
    LookupAccountNameW(ServerArgument(), name, nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0)
        return nullptr;
    auto* sid = static_cast<PSID>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sidSize));
    wchar_t* domain = AllocText(domainSize);
    LPWSTR text = nullptr;
    if (sid != nullptr && domain != nullptr &&
        LookupAccountNameW(ServerArgument(), name, sid, &sidSize, domain, &domainSize, &use)) {
        if (!ConvertSidToStringSidW(sid, &text))
            text = nullptr;
    }
    FreeBlock(domain);
    FreeBlock(sid);
    return text;
}

// Bare account names of the members, in the order the platform gives them.
// A failed listing is reported but leaves the details a success.
static void PrintGroupMembers(const wchar_t* name)
{
    PrintText(L"所属メンバー :\n");
    DWORD_PTR resume = 0;
    NET_API_STATUS status;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetLocalGroupGetMembers(ServerArgument(), name, 1, &buffer, MAX_PREFERRED_LENGTH,
                                         &read, &total, &resume);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            auto* members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_1*>(buffer);
            for (DWORD i = 0; members != nullptr && i < read; ++i)
                PrintFormatted(L"　%s\n", TextOrEmpty(members[i].lgrmi1_name));
        } else {
            PrintNetError(L"ローカル グループに所属するメンバーを取得できませんでした。", status);
        }
        FreeNetBuffer(buffer);
    } while (status == ERROR_MORE_DATA);
    PrintText(L"\n");
}

CommandResult PrintGroupDetails(const wchar_t* name)
{
    LPWSTR sidText = LookUpSidText(name);
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetLocalGroupGetInfo(ServerArgument(), name, 1, &buffer);
    if (status != NERR_Success) {
        PrintNetError(L"ローカル グループの情報を取得できませんでした。", status);
        FreeNetBuffer(buffer);
        LocalFree(sidText);
        return ResultFailure;
    }
    auto* group = reinterpret_cast<LOCALGROUP_INFO_1*>(buffer);
    PrintFormatted(L"ローカル グループ \"%s\" の詳細データです。\n\n", name);
    PrintFormatted(L"SID :\n　%s\n\n", TextOrEmpty(sidText));
    PrintFormatted(L"グループ名 :\n　%s\n\n", TextOrEmpty(group->lgrpi1_name));
    PrintFormatted(L"コメント :\n　%s\n\n", TextOrEmpty(group->lgrpi1_comment));
    FreeNetBuffer(buffer);
    PrintGroupMembers(name);
    LocalFree(sidText);
    return ResultSuccess;
}

CommandResult AddGroup(const wchar_t* name, const wchar_t* comment)
{
    LOCALGROUP_INFO_1 group = {};
    group.lgrpi1_name = const_cast<LPWSTR>(name);
    group.lgrpi1_comment = const_cast<LPWSTR>(comment);
    NET_API_STATUS status =
        NetLocalGroupAdd(ServerArgument(), 1, reinterpret_cast<LPBYTE>(&group), nullptr);
    if (status != NERR_Success) {
        PrintNetError(L"ローカル グループを作成できませんでした。", status);
        return ResultFailure;
    }
    return ResultSuccess;
}

// Replaces one string field of the group: reads it at readLevel, then writes
// value as a one-field record at writeLevel. LOCALGROUP_INFO_0 and
// LOCALGROUP_INFO_1002 each consist of that one string pointer. The group is
// read at level 1, the only level NetLocalGroupGetInfo serves: levels 0 and
// 1002 exist for NetLocalGroupSetInfo alone.
static CommandResult ReplaceGroupField(const wchar_t* name, DWORD readLevel, DWORD writeLevel,
                                       const wchar_t* value, const wchar_t* readCaption,
                                       const wchar_t* writeCaption)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetLocalGroupGetInfo(ServerArgument(), name, readLevel, &buffer);
    if (status != NERR_Success) {
        PrintNetError(readCaption, status);
        FreeNetBuffer(buffer);
        return ResultFailure;
    }
    LPWSTR field = const_cast<LPWSTR>(value);
    status = NetLocalGroupSetInfo(ServerArgument(), name, writeLevel,
                                  reinterpret_cast<LPBYTE>(&field), nullptr);
    FreeNetBuffer(buffer);
    if (status != NERR_Success) {
        PrintNetError(writeCaption, status);
        return ResultFailure;
    }
    return ResultSuccess;
}

CommandResult RenameGroup(const wchar_t* name, const wchar_t* newName)
{
    return ReplaceGroupField(name, 1, 0, newName, L"ローカル グループ名を取得できませんでした。",
                             L"ローカル グループ名を変更できませんでした。");
}

CommandResult SetGroupComment(const wchar_t* name, const wchar_t* comment)
{
    return ReplaceGroupField(name, 1, 1002, comment,
                             L"ローカル グループのコメントを取得できませんでした。",
                             L"ローカル グループのコメントを設定できませんでした。");
}

static void PrintDeleteGroupWarning(const wchar_t* name)
{
    PrintText(L"！注意！\n");
    PrintFormatted(L"ローカル グループ %s を削除しようとしています。\n\n", name);
    PrintSidWarning();
    PrintText(L"なお、ローカル グループを削除してもユーザーは削除されませんが、削除しようと\n");
    PrintText(L"しているグループ名を使って NTFS アクセス制限を行っている場合、ファイルやフォルダ");
    PrintText(L"のアクセスに影響を及ぼす可能性があります。\n\n");
    PrintText(L"ローカル グループを削除してもよろしいですか？ (Y/N)");
}

CommandResult DeleteGroup(const wchar_t* name)
{
    if (!SilentMode) {
        PrintDeleteGroupWarning(name);
        if (AskYesNo() != IDYES)
            return ResultDeclined;
    }
    NET_API_STATUS status = NetLocalGroupDel(ServerArgument(), name);
    if (status != NERR_Success) {
        PrintNetError(L"ローカル グループを削除できませんでした。", status);
        return ResultFailure;
    }
    return ResultSuccess;
}

// An item with a backslash names its computer or domain itself; any other
// item is an account of this computer.
static bool IsQualifiedName(const wchar_t* item)
{
    return wcschr(item, L'\\') != nullptr;
}

size_t FindOverlongMember(const wchar_t* membership)
{
    DWORD status = 0;
    const wchar_t* computer = MemberDomainName(&status);
    size_t prefixLength = computer != nullptr ? wcslen(computer) + 1 : 1;
    wchar_t* list = DuplicateText(membership);
    size_t position = 0;
    size_t overlong = 0;
    wchar_t* context = nullptr;
    for (wchar_t* item = list != nullptr ? NextListItem(list, &context) : nullptr;
         item != nullptr && overlong == 0; item = NextListItem(nullptr, &context)) {
        ++position;
        size_t length = wcslen(item) + (IsQualifiedName(item) ? 0 : prefixLength);
        if (length >= MemberEntryLength)
            overlong = position;
    }
    FreeBlock(list);
    return overlong;
}

size_t BuildMemberList(const wchar_t* membership, LOCALGROUP_MEMBERS_INFO_3* entries)
{
    size_t count = CountListItems(membership);
    if (count == 0)
        return 0;
    for (size_t i = 0; i < count; ++i)
        entries[i].lgrmi3_domainandname = AllocText(MemberEntryLength);
    DWORD status = 0;
    const wchar_t* computer = MemberDomainName(&status);
    wchar_t* list = DuplicateText(membership);
    size_t filled = 0;
    wchar_t* context = nullptr;
    for (wchar_t* item = list != nullptr ? NextListItem(list, &context) : nullptr;
         item != nullptr && filled < count; item = NextListItem(nullptr, &context), ++filled) {
        wchar_t* entry = entries[filled].lgrmi3_domainandname;
        if (entry == nullptr)
            continue;
        if (IsQualifiedName(item))
            FormatBounded(entry, MemberEntryLength, L"%s", item);
        else
            FormatBounded(entry, MemberEntryLength, L"%s\\%s", TextOrEmpty(computer), item);
    }
    FreeBlock(list);
    return count;
}

void FreeMemberList(LOCALGROUP_MEMBERS_INFO_3* entries, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        FreeBlock(entries[i].lgrmi3_domainandname);
}

// The three member commands have one shape and differ in the platform call and
// their texts.
struct MemberCommand
{
    NET_API_STATUS(WINAPI* call)
    (LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE entries, DWORD count);
    const wchar_t* progressLine;
    const wchar_t* countLine;
    const wchar_t* failureCaption;
};

static const MemberCommand AddMembersCommand = {
    NetLocalGroupAddMembers, L"ローカル グループ \"%s\" へメンバーを追加しています...\n",
    L"%llu 人のユーザーが追加されました。\n",
    L"ローカル グループへメンバーを追加できませんでした。"};

static const MemberCommand SetMembersCommand = {
    NetLocalGroupSetMembers, L"ローカル グループ \"%s\" のメンバーシップを設定しています...\n",
    L"%llu 人のユーザーが割り当てられました。\n",
    L"ローカル グループのメンバーシップを設定できませんでした。"};

static const MemberCommand DelMembersCommand = {
    NetLocalGroupDelMembers, L"ローカル グループ \"%s\" からメンバーを削除しています...\n",
    L"%llu 人のユーザーが削除されました。\n",
    L"ローカル グループからメンバーを削除できませんでした。"};

static CommandResult RunMemberCommand(const MemberCommand& command, const wchar_t* name,
                                      const wchar_t* membership)
{
    // An empty list never touches the group (it would empty it on a replace).
    size_t count = CountListItems(membership);
    if (count == 0)
        return ResultFailure;
    // A remote computer's accounts are qualified with its own name for them.
    DWORD status = 0;
    if (MemberDomainName(&status) == nullptr) {
        PrintNetError(command.failureCaption, status);
        return ResultFailure;
    }
    // Refuse the whole command before any change rather than cut a name.
    size_t overlong = FindOverlongMember(membership);
    if (overlong != 0) {
        PrintFormatted(
            L"エラー : %llu 番目のメンバー名が長すぎます。(コンピューター名を含めて %llu 文字まで)\n\n",
            static_cast<unsigned long long>(overlong),
            static_cast<unsigned long long>(MemberEntryLength - 1));
        return ResultFailure;
    }
    auto* entries = static_cast<LOCALGROUP_MEMBERS_INFO_3*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(LOCALGROUP_MEMBERS_INFO_3)));
    if (entries == nullptr)
        return ResultFailure;
    BuildMemberList(membership, entries);

    PrintFormatted(command.progressLine, name);
    fflush(stdout);
    status = command.call(ServerArgument(), name, 3, reinterpret_cast<LPBYTE>(entries),
                          static_cast<DWORD>(count));
    CommandResult result = ResultSuccess;
    if (status == NERR_Success) {
        PrintFormatted(command.countLine, static_cast<unsigned long long>(count));
    } else {
        PrintNetError(command.failureCaption, status);
        result = ResultFailure;
    }
    FreeMemberList(entries, count);
    FreeBlock(entries);
    return result;
}

CommandResult AddGroupMembers(const wchar_t* name, const wchar_t* membership)
{
    return RunMemberCommand(AddMembersCommand, name, membership);
}

CommandResult SetGroupMembers(const wchar_t* name, const wchar_t* membership)
{
    return RunMemberCommand(SetMembersCommand, name, membership);
}

CommandResult DelGroupMembers(const wchar_t* name, const wchar_t* membership)
{
    return RunMemberCommand(DelMembersCommand, name, membership);
}
